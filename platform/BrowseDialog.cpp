#include "platform/Folders.h"

#include <shlobj.h>

#include "core/FolderRules.h"
#include "platform/Owners.h"

namespace tazel::win32 {

std::wstring BrowseForFolder(HWND owner)
{
    BROWSEINFOW request = {};
    request.hwndOwner = owner;
    request.lpszTitle = L"C:\\";
    request.ulFlags = BIF_RETURNONLYFSDIRS;

    const UniquePidl chosen(SHBrowseForFolderW(&request));
    if (!chosen)
        return {};

    // Wide text, so a folder named outside the ANSI code page comes back as it is. An item
    // without a file-system path leaves the buffer all NUL, which reads as no folder.
    wchar_t buffer[kShellPathBufferLength] = {};
    SHGetPathFromIDListW(chosen.get(), buffer);
    return CutAtFirstNul({buffer, kShellPathBufferLength});
}

} // namespace tazel::win32
