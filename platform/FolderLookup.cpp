#include "platform/Folders.h"

#include <shlobj.h>

#include "core/FolderRules.h"
#include "core/PackageManifest.h"
#include "platform/Owners.h"

namespace tazel::win32 {

// The core's copies of the system's numbers.
static_assert(kCommonAppDataFolderId == CSIDL_COMMON_APPDATA);
static_assert(kShellPathBufferLength == MAX_PATH);

std::wstring SpecialFolderPath(std::int32_t folderId)
{
    UniquePidl item;
    if (SHGetSpecialFolderLocation(nullptr, folderId, item.put()) != S_OK || !item)
        return {};

    // Read as wide text: the ANSI form would turn every character outside the code page into
    // "?" and so make an existing folder look missing.
    wchar_t buffer[kShellPathBufferLength] = {};
    if (!SHGetPathFromIDListW(item.get(), buffer))
        return {};
    return CutAtFirstNul({buffer, kShellPathBufferLength});
}

} // namespace tazel::win32
