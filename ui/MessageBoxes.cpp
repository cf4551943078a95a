#include "ui/MessageBoxes.h"

#include "core/PackageManifest.h"

namespace tazel::win32 {

// The core's box results are the system's own.
static_assert(static_cast<int>(BoxResult::Ok) == IDOK && static_cast<int>(BoxResult::Cancel) == IDCANCEL);

BoxResult ShowMessageBox(HWND owner, const std::wstring& prompt, const std::wstring& title, Buttons buttons)
{
    const UINT style = (buttons == Buttons::OkCancel ? MB_OKCANCEL : MB_OK) | MB_DEFBUTTON1;
    const wchar_t* caption = title.empty() ? kApplicationTitle : title.c_str();
    const int result = MessageBoxW(owner, prompt.c_str(), caption, style);
    // A box that could not be shown at all is taken as the cautious answer.
    if (result == IDOK)
        return BoxResult::Ok;
    return BoxResult::Cancel;
}

void DefaultBeep()
{
    MessageBeep(MB_OK);
}

} // namespace tazel::win32
