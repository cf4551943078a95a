#include "platform/Win32Error.h"

#include "core/Text.h"
#include "platform/Owners.h"

namespace tazel::win32 {

std::wstring SystemMessage(DWORD code)
{
    UniqueLocalText buffer;
    // With ALLOCATE_BUFFER the function takes the address of the pointer it fills in place of a buffer.
    const DWORD length = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                            FORMAT_MESSAGE_IGNORE_INSERTS,
                                        nullptr, code, 0, reinterpret_cast<wchar_t*>(buffer.put()), 0, nullptr);
    if (length == 0 || !buffer)
        return {};
    return TrimTrailingBreaks(std::wstring(buffer.get(), length));
}

Failure Win32Failure(DWORD code)
{
    return Failure{code, SystemMessage(code)};
}

Failure LastErrorFailure()
{
    const DWORD code = GetLastError();
    // A call that failed without saying why still failed; never let that read as success.
    return Win32Failure(code != ERROR_SUCCESS ? code : ERROR_GEN_FAILURE);
}

Failure HResultFailure(HRESULT hr)
{
    return Failure{static_cast<std::uint32_t>(hr), SystemMessage(static_cast<DWORD>(hr))};
}

} // namespace tazel::win32
