#include "platform/Resources.h"

#include "platform/Win32Error.h"

namespace tazel::win32 {

Expected<std::span<const std::byte>, Failure> ResourceBytes(HMODULE module, const wchar_t* type, const wchar_t* name,
                                                            WORD language)
{
    const HRSRC resource = FindResourceExW(module, type, name, language);
    if (!resource)
        return Unexpected(LastErrorFailure());
    const DWORD size = SizeofResource(module, resource);
    const HGLOBAL loaded = LoadResource(module, resource);
    if (!loaded)
        return Unexpected(LastErrorFailure());
    const void* data = LockResource(loaded);
    if (!data && size != 0)
        return Unexpected(LastErrorFailure());
    return std::span<const std::byte>(static_cast<const std::byte*>(data), size);
}

} // namespace tazel::win32
