#include "Dialogs.h"

#include "FolderSelection.h"
#include "Json.h"
#include "WindowQuery.h"

namespace tazel::e2e {

// A dialog of the installer not reported yet: a message box, or the browse dialog.
HWND Dialogs::New(bool browse)
{
    for (HWND window : TopLevelWindows(process_.id())) {
        if (!IsWindowVisible(window) || !IsDialog(window) || handled_.contains(window))
            continue;
        const HWND tree = FindDescendant(window, L"SysTreeView32");
        if ((tree != nullptr) != browse)
            continue;
        // The shell fills the tree after the dialog appears; wait until there is something in it.
        if (tree && SendMessageW(tree, TVM_GETNEXTITEM, TVGN_ROOT, 0) == 0)
            continue;
        return window;
    }
    return nullptr;
}

HWND Dialogs::AnyNew()
{
    if (HWND box = New(false))
        return box;
    return New(true);
}

bool Dialogs::WaitBox()
{
    HWND box = nullptr;
    if (!watch_.Check(watch_.WaitUntil([&] { return (box = New(false)) != nullptr; }), "message box"))
        return false;
    dialog_ = box;
    handled_.insert(box);
    ReportBox("box", box);
    return true;
}

void Dialogs::ReportBox(const char* event, HWND box)
{
    const HWND owner = GetWindow(box, GW_OWNER);
    const HWND main = FindMainWindow(process_.id());
    RECT frame = {};
    GetWindowRect(box, &frame);
    JsonLine(event)
        .Text("kind", "box")
        .Text("title", TitleOf(box))
        .Raw("rect", RectJson(frame))
        .Text("text", MessageText(box))
        .Raw("buttons", ButtonsJson(box))
        .Flag("icon", ShowsIcon(box))
        .Raw("owner", WindowRef(owner))
        .Flag("owner_is_main", owner != nullptr && owner == main)
        .Emit();
}

bool Dialogs::WaitBrowse()
{
    HWND dialog = nullptr;
    if (!watch_.Check(watch_.WaitUntil([&] { return (dialog = New(true)) != nullptr; }), "browse dialog"))
        return false;
    dialog_ = dialog;
    handled_.insert(dialog);
    ReportBrowse("browse", dialog);
    return true;
}

void Dialogs::ReportBrowse(const char* event, HWND dialog)
{
    const HWND owner = GetWindow(dialog, GW_OWNER);
    const HWND main = FindMainWindow(process_.id());
    const auto selected = SelectedItemText(process_.handle(), FindDescendant(dialog, L"SysTreeView32"));
    JsonLine line(event);
    line.Text("kind", "browse")
        .Text("title", TitleOf(dialog))
        .Text("instruction", BrowseInstruction(dialog))
        .Raw("statics", StaticsJson(dialog))
        .Raw("buttons", ButtonsJson(dialog))
        .Flag("icon", ShowsIcon(dialog))
        .Raw("owner", WindowRef(owner))
        .Flag("owner_is_main", owner != nullptr && owner == main);
    if (selected)
        line.Text("selected", *selected);
    else
        line.Null("selected");
    line.Emit();
}

void Dialogs::ReportUnexpected(HWND dialog)
{
    handled_.insert(dialog);
    if (FindDescendant(dialog, L"SysTreeView32"))
        ReportBrowse("unexpected", dialog);
    else
        ReportBox("unexpected", dialog);
}

bool Dialogs::Select(const std::wstring& path)
{
    if (!dialog_ || !IsWindow(dialog_) || !FindDescendant(dialog_, L"SysTreeView32"))
        return watch_.Fail("no browse dialog to select in");
    return SelectFolder(watch_, process_, dialog_, path);
}

bool Dialogs::Press(Key key)
{
    if (!dialog_ || !IsWindow(dialog_))
        return watch_.Fail("no box or dialog to answer");
    const HWND dialog = dialog_;
    switch (key) {
    case Key::Ok:
    case Key::Cancel: {
        const HWND button = GetDlgItem(dialog, key == Key::Ok ? IDOK : IDCANCEL);
        if (!button || !IsWindowVisible(button))
            return watch_.Fail("the box has no such button");
        PostMessageW(button, BM_CLICK, 0, 0);
        break;
    }
    case Key::Escape: {
        // To the control that has the keyboard focus, as the keyboard would deliver it; the
        // dialog's own message loop turns it into its cancel command.
        GUITHREADINFO gui = {};
        gui.cbSize = sizeof gui;
        const DWORD thread = GetWindowThreadProcessId(dialog, nullptr);
        const HWND focus = GetGUIThreadInfo(thread, &gui) && gui.hwndFocus ? gui.hwndFocus : dialog;
        const UINT scan = MapVirtualKeyW(VK_ESCAPE, MAPVK_VK_TO_VSC);
        PostMessageW(focus, WM_KEYDOWN, VK_ESCAPE, static_cast<LPARAM>(1 | (scan << 16)));
        PostMessageW(focus, WM_KEYUP, VK_ESCAPE, static_cast<LPARAM>(1 | (scan << 16) | (1u << 30) | (1u << 31)));
        break;
    }
    case Key::Close:
        PostMessageW(dialog, WM_SYSCOMMAND, SC_CLOSE, 0);
        break;
    }
    const ULONGLONG limit = GetTickCount64() + kCloseLimitMs;
    const Waited waited =
        watch_.WaitUntil([&] { return !IsWindow(dialog) || !IsWindowVisible(dialog) || GetTickCount64() > limit; });
    if (waited == Waited::Met && IsWindow(dialog) && IsWindowVisible(dialog))
        return watch_.Fail("the box did not close");
    JsonLine("pressed").Text("key", KeyName(key)).Emit();
    dialog_ = nullptr;
    return waited != Waited::TimedOut || watch_.Check(waited, "box to close");
}

} // namespace tazel::e2e
