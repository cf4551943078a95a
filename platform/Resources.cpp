#include "platform/Resources.h"

#include "platform/Win32Error.h"

namespace tazel::win32 {

std::expected<std::span<const std::byte>, Failure> ResourceBytes(HMODULE module, const wchar_t* type,
                                                                 const wchar_t* name, WORD language)
{
    const HRSRC resource = FindResourceExW(module, type, name, language);
    if (!resource)
        return std::unexpected(LastErrorFailure());
    const DWORD size = SizeofResource(module, resource);
    const HGLOBAL loaded = LoadResource(module, resource);
    if (!loaded)
        return std::unexpected(LastErrorFailure());
    const void* data = LockResource(loaded);
    if (!data && size != 0)
        return std::unexpected(LastErrorFailure());
    return std::span<const std::byte>(static_cast<const std::byte*>(data), size);
}

} // namespace tazel::win32
