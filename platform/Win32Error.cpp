#include "platform/Win32Error.h"

#include "core/Text.h"
#include "platform/Owners.h"

namespace tazel::win32 {

std::wstring SystemMessage(DWORD code)
{
    UniqueLocalText buffer;
    // With ALLOCATE_BUFFER the function takes the address of the pointer it fills in place of a buffer.
    const DWORD length =
        FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
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

Failure DispatchExceptionFailure(EXCEPINFO& exception)
{
    // An object may leave the filling in until asked, to save the work when nobody looks.
    if (exception.pfnDeferredFillIn)
        exception.pfnDeferredFillIn(&exception);
    const UniqueBstr source(std::exchange(exception.bstrSource, nullptr));
    const UniqueBstr description(std::exchange(exception.bstrDescription, nullptr));
    const UniqueBstr helpFile(std::exchange(exception.bstrHelpFile, nullptr));

    std::wstring text = description ? std::wstring(description.get(), SysStringLen(description.get())) : L"";
    text = TrimTrailingBreaks(std::move(text));

    // The object gives either a code of its own or an HRESULT (the other is zero). Only an
    // HRESULT has a system text to fall back on.
    if (exception.wCode != 0)
        return Failure{exception.wCode, std::move(text)};
    const DWORD code = static_cast<DWORD>(exception.scode != 0 ? exception.scode : DISP_E_EXCEPTION);
    if (text.empty())
        text = SystemMessage(code);
    return Failure{code, std::move(text)};
}

} // namespace tazel::win32
