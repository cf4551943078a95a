// Starts the installer under test and plays a script of user actions against it, reporting
// every window it sees and every answer it gives as JSON lines (see Script.h for the actions).
//
// Driver exit status: 0 script played and the installer ended on its own; 1 an action could
// not be played or an unexpected box appeared; 2 the global time limit ran out; 64 bad usage.

#include <windows.h>

#include <oleacc.h>
#include <shlobj.h>

#include <algorithm>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "Json.h"
#include "Script.h"
#include "WindowQuery.h"

namespace tazel::e2e {
namespace {

constexpr DWORD kPollMs = 2;
constexpr ULONGLONG kCloseLimitMs = 10000;
constexpr UINT kKilledExitCode = 0xDEAD;
// The covering window's colour: one the installer never draws, so the harness can tell any of it
// left behind from the installer's own pixels.
constexpr BYTE kCoverRed = 255;
constexpr BYTE kCoverGreen = 0;
constexpr BYTE kCoverBlue = 255;
// Over the frame and a little around it, so the installer has to repaint all of itself.
constexpr int kCoverMargin = 8;
// Time for Wine to put the covering window's pixels on the X screen and to take them away.
constexpr DWORD kCoverSettleMs = 150;

enum class Waited { Met, Exited, TimedOut };

class Runner {
public:
    explicit Runner(Script script) : script_(std::move(script)) {}

    int Run()
    {
        if (!Start())
            return 1;
        deadline_ = GetTickCount64() + static_cast<ULONGLONG>(script_.timeoutSeconds) * 1000;
        JsonLine("started").Number("pid", processId_).Emit();

        for (const Action& action : script_.actions) {
            current_ = &action;
            if (!Play(action))
                break;
        }
        return status_;
    }

private:
    // Polled often enough to catch a window that is shown only briefly before a box.
    void NoteShown(HWND window)
    {
        if (!window || shown_.contains(window) || GetAncestor(window, GA_PARENT) != GetDesktopWindow())
            return;
        shown_.insert(window);
        JsonLine("shown")
            .Text("class", ClassOf(window))
            .Text("title", TitleOf(window))
            .Raw("owner", WindowRef(GetWindow(window, GW_OWNER)))
            .Emit();
    }

    bool Start()
    {
        std::wstring commandLine = L"\"" + script_.installer + L"\"";
        std::wstring folder = script_.installer.substr(0, script_.installer.find_last_of(L'\\'));
        STARTUPINFOW startup = {};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION created = {};
        // Started from its own folder, as a double click in a file manager would.
        const DWORD flags = script_.occupy.empty() ? 0 : CREATE_SUSPENDED;
        if (!CreateProcessW(script_.installer.c_str(), commandLine.data(), nullptr, nullptr, FALSE, flags, nullptr,
                            folder.c_str(), &startup, &created)) {
            JsonLine("error")
                .Text("action", "start")
                .Text("reason", "CreateProcessW failed")
                .Number("code", GetLastError())
                .Emit();
            return false;
        }
        process_.reset(created.hProcess);
        UniqueHandle thread(created.hThread);
        processId_ = created.dwProcessId;
        if (!script_.occupy.empty()) {
            const bool occupied = Occupy();
            ResumeThread(thread.get());
            return occupied;
        }
        return true;
    }

    // The installer's first temporary name for each target to occupy, made while it is suspended.
    bool Occupy()
    {
        wchar_t pid[16] = {};
        wsprintfW(pid, L"%x", static_cast<unsigned>(processId_));
        for (const std::wstring& target : script_.occupy) {
            const std::wstring name = target + L"." + pid + L"-0.tmp";
            win32::UniqueFile file(CreateFileW(name.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL,
                                        nullptr));
            DWORD written = 0;
            if (!file || !WriteFile(file.get(), "occupied", 8, &written, nullptr)) {
                JsonLine("error").Text("action", "occupy").Text("path", name).Number("code", GetLastError()).Emit();
                return false;
            }
            JsonLine("occupied").Text("path", name).Emit();
        }
        return true;
    }

    // Every visible window of the installer, reported the first time it is seen.
    void Observe()
    {
        for (HWND window : TopLevelWindows(processId_))
            if (IsWindowVisible(window))
                NoteShown(window);
    }

    bool Exited() const { return WaitForSingleObject(process_.get(), 0) == WAIT_OBJECT_0; }

    Waited WaitUntil(const std::function<bool()>& condition)
    {
        for (;;) {
            Observe();
            ServiceHolds();
            if (condition())
                return Waited::Met;
            if (Exited())
                return condition() ? Waited::Met : Waited::Exited;
            if (GetTickCount64() >= deadline_)
                return Waited::TimedOut;
            WaitForSingleObject(process_.get(), kPollMs);
        }
    }

    // A wait that did not end as hoped ends the script.
    bool Check(Waited waited, const char* what)
    {
        if (waited == Waited::Met)
            return true;
        if (waited == Waited::TimedOut) {
            JsonLine("timeout").Text("action", current_->token).Text("waiting_for", what).Emit();
            Kill();
            status_ = 2;
            return false;
        }
        JsonLine("error").Text("action", current_->token).Text("reason", "installer exited").Text("waiting_for", what).Emit();
        ReportExit(false);
        status_ = 1;
        return false;
    }

    bool Fail(const char* reason)
    {
        JsonLine("error").Text("action", current_->token).Text("reason", reason).Emit();
        Kill();
        status_ = 1;
        return false;
    }

    void Kill()
    {
        if (!Exited()) {
            TerminateProcess(process_.get(), kKilledExitCode);
            WaitForSingleObject(process_.get(), 10000);
            ReportExit(true);
        } else {
            ReportExit(false);
        }
    }

    void ReportExit(bool killed)
    {
        DWORD code = 0;
        GetExitCodeProcess(process_.get(), &code);
        JsonLine("exit").Number("code", code).Flag("killed", killed).Emit();
    }

    // A dialog of the installer not reported yet: a message box, or the browse dialog.
    HWND NewDialog(bool browse)
    {
        for (HWND window : TopLevelWindows(processId_)) {
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

    HWND AnyNewDialog()
    {
        if (HWND box = NewDialog(false))
            return box;
        return NewDialog(true);
    }

    bool Play(const Action& action)
    {
        switch (action.kind) {
        case ActionKind::Window:
            return WaitWindow();
        case ActionKind::WindowClose:
            return CloseWindow();
        case ActionKind::WindowMove:
            return MoveMainWindow(action.x, action.y);
        case ActionKind::Dpi:
            return ChangeDpi(action.dpi, action.x, action.y);
        case ActionKind::Accessible:
            return ReportAccessible();
        case ActionKind::Cover:
            return Cover();
        case ActionKind::Uncover:
            return Uncover();
        case ActionKind::Box:
            return WaitBox();
        case ActionKind::Browse:
            return WaitBrowse();
        case ActionKind::Press:
            return Press(action.key);
        case ActionKind::Select:
            return Select(action.text);
        case ActionKind::Sync:
            return Sync(action.text);
        case ActionKind::Sleep: {
            const ULONGLONG until = GetTickCount64() + static_cast<ULONGLONG>(action.milliseconds);
            const Waited waited = WaitUntil([&] { return GetTickCount64() >= until; });
            return waited == Waited::Exited || Check(waited, "sleep");
        }
        case ActionKind::Hold:
            return Hold(action.text, action.milliseconds);
        case ActionKind::Exit:
            return WaitExit();
        case ActionKind::Kill:
            Kill();
            return true;
        }
        return Fail("unknown action");
    }

    void ReportWindow(const char* event, HWND window)
    {
        RECT frame = {};
        GetWindowRect(window, &frame);
        RECT client = {};
        GetClientRect(window, &client);
        POINT origin = {};
        ClientToScreen(window, &origin);
        JsonLine(event)
            .Text("class", ClassOf(window))
            .Text("title", TitleOf(window))
            .Raw("rect", RectJson(frame))
            .Raw("client", "[" + std::to_string(client.right - client.left) + "," +
                               std::to_string(client.bottom - client.top) + "]")
            .Raw("client_origin", "[" + std::to_string(origin.x) + "," + std::to_string(origin.y) + "]")
            .Number("dpi", static_cast<long long>(WindowDpi(window)))
            .Flag("visible", IsWindowVisible(window) != FALSE)
            .Emit();
    }

    static UINT WindowDpi(HWND window)
    {
        using GetDpiForWindowFn = UINT(WINAPI*)(HWND);
        const auto get = reinterpret_cast<GetDpiForWindowFn>(reinterpret_cast<void (*)()>(
            GetProcAddress(GetModuleHandleW(L"user32.dll"), "GetDpiForWindow")));
        return get ? get(window) : 0;
    }

    bool WaitWindow()
    {
        HWND window = nullptr;
        const Waited waited = WaitUntil([&] {
            window = FindMainWindow(processId_);
            return window && IsWindowVisible(window);
        });
        if (!Check(waited, "main window"))
            return false;
        ReportWindow("window", window);
        return true;
    }

    // The main window, visible or not, once it exists; null when the script has to end.
    HWND AwaitMainWindow()
    {
        HWND window = nullptr;
        if (!Check(WaitUntil([&] { return (window = FindMainWindow(processId_)) != nullptr; }), "main window"))
            return nullptr;
        return window;
    }

    bool CloseWindow()
    {
        const HWND window = AwaitMainWindow();
        if (!window)
            return false;
        PostMessageW(window, WM_CLOSE, 0, 0);
        const ULONGLONG limit = GetTickCount64() + kCloseLimitMs;
        const Waited waited = WaitUntil([&] { return !IsWindow(window) || GetTickCount64() > limit; });
        if (waited == Waited::Met && IsWindow(window))
            return Fail("main window did not close");
        JsonLine("window_closed").Emit();
        return waited != Waited::TimedOut || Check(waited, "main window to close");
    }

    bool MoveMainWindow(int x, int y)
    {
        const HWND window = AwaitMainWindow();
        if (!window)
            return false;
        SetWindowPos(window, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
        const ULONGLONG limit = GetTickCount64() + kCloseLimitMs;
        const Waited waited = WaitUntil([&] {
            RECT frame = {};
            GetWindowRect(window, &frame);
            return (frame.left == x && frame.top == y) || GetTickCount64() > limit;
        });
        if (!Check(waited, "main window to move"))
            return false;
        ReportWindow("window_moved", window);
        return true;
    }

    // The message by which Windows 10 asks a per-monitor window its frame size for a new DPI;
    // older SDK headers lack its name.
    static constexpr UINT kGetDpiScaledSize = 0x02E4;

    bool ChangeDpi(int dpi, int x, int y)
    {
        const HWND window = AwaitMainWindow();
        if (!window)
            return false;
        RECT frame = {};
        GetWindowRect(window, &frame);
        const UINT current = WindowDpi(window);
        const int from = current != 0 ? static_cast<int>(current) : 96;
        // As Windows 10 does: first the window may name its own frame size for the new DPI
        // (WM_GETDPISCALEDSIZE, answered TRUE); otherwise the frame is scaled by the change.
        SIZE size = {MulDiv(frame.right - frame.left, dpi, from), MulDiv(frame.bottom - frame.top, dpi, from)};
        // The messages carry pointers, which the window reads in its own address space.
        RemoteBuffer remoteSize(process_.get(), sizeof size);
        if (!remoteSize || !remoteSize.Write(&size, sizeof size))
            return Fail("cannot write the scaled size into the installer");
        DWORD_PTR answered = 0;
        if (!SendMessageTimeoutW(window, kGetDpiScaledSize, static_cast<WPARAM>(dpi),
                                 reinterpret_cast<LPARAM>(remoteSize.address()), SMTO_NORMAL, 10000, &answered))
            return Fail("the main window did not answer WM_GETDPISCALEDSIZE");
        if (answered && !remoteSize.Read(&size, sizeof size))
            return Fail("cannot read the window's own size back");
        JsonLine("dpi_scaled_size")
            .Flag("answered", answered != 0)
            .Raw("size", "[" + std::to_string(size.cx) + ", " + std::to_string(size.cy) + "]")
            .Emit();

        const RECT suggested = {x, y, x + size.cx, y + size.cy};
        RemoteBuffer remote(process_.get(), sizeof suggested);
        if (!remote || !remote.Write(&suggested, sizeof suggested))
            return Fail("cannot write the suggested frame into the installer");
        DWORD_PTR result = 0;
        if (!SendMessageTimeoutW(window, WM_DPICHANGED, MAKEWPARAM(dpi, dpi),
                                 reinterpret_cast<LPARAM>(remote.address()), SMTO_NORMAL, 10000, &result))
            return Fail("the main window did not answer the DPI change");
        ReportWindow("dpi_changed", window);
        return true;
    }

    // What a screen reader finds: the main window's children in the order it reads them, each
    // with the name and role the accessibility API gives its client area.
    bool ReportAccessible()
    {
        const HWND window = AwaitMainWindow();
        if (!window)
            return false;
        std::string items = "[";
        for (HWND child = GetWindow(window, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
            items += items.size() > 1 ? "," : "";
            items += "{\"class\":" + Quoted(Utf8(ClassOf(child))) +
                     ",\"style\":" + std::to_string(static_cast<DWORD>(GetWindowLongPtrW(child, GWL_STYLE))) +
                     ",\"text\":" + Quoted(Utf8(ControlText(child)));
            win32::ComPtr<IAccessible> object;
            VARIANT self = {};
            self.vt = VT_I4;
            self.lVal = CHILDID_SELF;
            win32::UniqueBstr name;
            win32::UniqueVariant role;
            if (SUCCEEDED(AccessibleObjectFromWindow(child, static_cast<DWORD>(OBJID_CLIENT), IID_IAccessible,
                                                     object.put_void())) &&
                object && object->get_accName(self, name.put()) == S_OK && name &&
                SUCCEEDED(object->get_accRole(self, role.get())) && role.get()->vt == VT_I4) {
                items += ",\"name\":" + Quoted(Utf8(std::wstring(name.get(), SysStringLen(name.get())))) +
                         ",\"role\":" + std::to_string(role.get()->lVal);
            } else {
                items += ",\"name\":null,\"role\":null";
            }
            items += "}";
        }
        JsonLine("accessible").Raw("children", items + "]").Emit();
        return true;
    }

    // The driver's own window has to be served by the driver's thread: painted, and its pixels
    // handed on to the X server, which Wine does while the thread looks at its messages.
    static void PumpOwnMessages(DWORD milliseconds)
    {
        const ULONGLONG until = GetTickCount64() + milliseconds;
        for (;;) {
            MSG message = {};
            while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
                TranslateMessage(&message);
                DispatchMessageW(&message);
            }
            const ULONGLONG now = GetTickCount64();
            if (now >= until)
                return;
            MsgWaitForMultipleObjects(0, nullptr, FALSE, static_cast<DWORD>(until - now), QS_ALLINPUT);
        }
    }

    static const wchar_t* CoverClass()
    {
        static const wchar_t* const name = [] {
            WNDCLASSEXW windowClass = {};
            windowClass.cbSize = sizeof windowClass;
            windowClass.lpfnWndProc = DefWindowProcW;
            windowClass.hInstance = GetModuleHandleW(nullptr);
            windowClass.hbrBackground = CreateSolidBrush(RGB(kCoverRed, kCoverGreen, kCoverBlue));
            windowClass.lpszClassName = L"TazelDriverCover";
            return RegisterClassExW(&windowClass) ? windowClass.lpszClassName : nullptr;
        }();
        return name;
    }

    bool Cover()
    {
        const HWND window = AwaitMainWindow();
        if (!window)
            return false;
        if (cover_)
            return Fail("the main window is covered already");
        RECT area = {};
        GetWindowRect(window, &area);
        InflateRect(&area, kCoverMargin, kCoverMargin);
        const wchar_t* const coverClass = CoverClass();
        // Not activated: the installer keeps its active caption, as when a notification pops up.
        cover_ = coverClass ? CreateWindowExW(WS_EX_TOOLWINDOW | WS_EX_NOACTIVATE, coverClass, L"", WS_POPUP,
                                              area.left, area.top, area.right - area.left, area.bottom - area.top,
                                              nullptr, nullptr, GetModuleHandleW(nullptr), nullptr)
                            : nullptr;
        if (!cover_)
            return Fail("cannot create the covering window");
        SetWindowPos(cover_, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE | SWP_SHOWWINDOW);
        UpdateWindow(cover_);
        PumpOwnMessages(kCoverSettleMs);
        JsonLine("covered")
            .Raw("rect", RectJson(area))
            .Raw("colour", "[" + std::to_string(kCoverRed) + "," + std::to_string(kCoverGreen) + "," +
                               std::to_string(kCoverBlue) + "]")
            .Emit();
        return true;
    }

    bool Uncover()
    {
        if (!cover_)
            return Fail("nothing to uncover");
        DestroyWindow(cover_);
        cover_ = nullptr;
        PumpOwnMessages(kCoverSettleMs);
        JsonLine("uncovered").Emit();
        return true;
    }

    // A file the driver keeps open, as another program would while the installer writes it.
    struct HeldFile {
        std::wstring path;
        win32::UniqueFile handle;
        int releaseAfterMs = -1; // -1: until the driver ends
        ULONGLONG releaseAt = 0; // set once the installer's temporary file has appeared
    };

    bool Hold(const std::wstring& path, int releaseAfterMs)
    {
        // Shared for reading and writing, not for deleting: a rename onto the file has to wait.
        win32::UniqueFile handle(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                             OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!handle)
            return Fail("cannot open the file to hold");
        holds_.push_back({path, std::move(handle), releaseAfterMs, 0});
        JsonLine("held").Text("path", path).Emit();
        return true;
    }

    // Whether the installer's temporary file for `path` is there now.
    bool TemporaryFileOf(const std::wstring& path) const
    {
        wchar_t suffix[32] = {};
        wsprintfW(suffix, L".%lx-*.tmp", processId_);
        WIN32_FIND_DATAW entry = {};
        const win32::UniqueFind find(FindFirstFileW((path + suffix).c_str(), &entry));
        return static_cast<bool>(find);
    }

    void ServiceHolds()
    {
        for (HeldFile& held : holds_) {
            if (!held.handle)
                continue;
            if (held.releaseAt == 0 && TemporaryFileOf(held.path)) {
                held.releaseAt = GetTickCount64() + static_cast<ULONGLONG>(std::max(held.releaseAfterMs, 0));
                JsonLine("hold_touched").Text("path", held.path).Emit();
            }
            if (held.releaseAfterMs < 0 || held.releaseAt == 0 || GetTickCount64() < held.releaseAt)
                continue;
            // Still there: the installer has not put its file in place while the target was held.
            const bool waiting = TemporaryFileOf(held.path);
            held.handle.reset();
            JsonLine("released").Text("path", held.path).Flag("waiting", waiting).Emit();
        }
    }

    bool WaitBox()
    {
        HWND box = nullptr;
        if (!Check(WaitUntil([&] { return (box = NewDialog(false)) != nullptr; }), "message box"))
            return false;
        dialog_ = box;
        handled_.insert(box);
        ReportBox("box", box);
        return true;
    }

    void ReportBox(const char* event, HWND box)
    {
        const HWND owner = GetWindow(box, GW_OWNER);
        const HWND main = FindMainWindow(processId_);
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

    bool WaitBrowse()
    {
        HWND dialog = nullptr;
        if (!Check(WaitUntil([&] { return (dialog = NewDialog(true)) != nullptr; }), "browse dialog"))
            return false;
        dialog_ = dialog;
        handled_.insert(dialog);
        ReportBrowse("browse", dialog);
        return true;
    }

    void ReportBrowse(const char* event, HWND dialog)
    {
        const HWND owner = GetWindow(dialog, GW_OWNER);
        const HWND main = FindMainWindow(processId_);
        const auto selected = SelectedItemText(process_.get(), FindDescendant(dialog, L"SysTreeView32"));
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

    // The dialog's own selection message, as a program would use it.
    bool SelectByMessage(const std::wstring& path)
    {
        // The dialog turns the text into an item list before the message returns; the buffer
        // is not needed after that.
        const SIZE_T bytes = (path.size() + 1) * sizeof(wchar_t);
        RemoteBuffer remote(process_.get(), bytes);
        if (!remote || !remote.Write(path.c_str(), bytes))
            return Fail("cannot write the path into the installer");
        DWORD_PTR result = 0;
        if (!SendMessageTimeoutW(dialog_, BFFM_SETSELECTIONW, TRUE, reinterpret_cast<LPARAM>(remote.address()),
                                 SMTO_NORMAL, 10000, &result))
            return Fail("browse dialog did not answer the selection");
        return true;
    }

    static std::vector<std::wstring> Components(const std::wstring& path)
    {
        std::vector<std::wstring> parts;
        std::size_t start = 0;
        while (start <= path.size()) {
            const std::size_t end = std::min(path.find(L'\\', start), path.size());
            if (end > start)
                parts.push_back(path.substr(start, end - start));
            start = end + 1;
        }
        return parts;
    }

    static bool SameName(const std::wstring& a, const std::wstring& b)
    {
        return CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(), static_cast<int>(b.size()),
                                    TRUE) == CSTR_EQUAL;
    }

    static std::wstring Join(const std::vector<std::wstring>& parts, std::size_t count)
    {
        std::wstring path;
        for (std::size_t i = 0; i < count; ++i)
            path += parts[i] + L"\\";
        if (count > 1)
            path.pop_back();
        return path;
    }

    // The way a user gets there: the deepest folder the dialog can select by itself, then
    // expanding each level and clicking the next folder's item.
    bool SelectThroughTree(HWND tree, const std::vector<std::wstring>& parts)
    {
        for (std::size_t known = parts.size() - 1; known >= 1; --known) {
            if (!SelectByMessage(Join(parts, known)))
                return false;
            HTREEITEM item = TreeItem(tree, TVGN_CARET);
            const auto text = TreeItemText(process_.get(), tree, item);
            if (!item || (known > 1 && !(text && SameName(*text, parts[known - 1]))))
                continue;
            for (std::size_t next = known; next < parts.size() && item; ++next) {
                DWORD_PTR ignored = 0;
                SendMessageTimeoutW(tree, TVM_EXPAND, TVE_EXPAND, reinterpret_cast<LPARAM>(item), SMTO_NORMAL,
                                    10000, &ignored);
                HTREEITEM child = TreeItem(tree, TVGN_CHILD, item);
                while (child) {
                    const auto name = TreeItemText(process_.get(), tree, child);
                    if (name && SameName(*name, parts[next]))
                        break;
                    child = TreeItem(tree, TVGN_NEXT, child);
                }
                if (child)
                    SendMessageTimeoutW(tree, TVM_SELECTITEM, TVGN_CARET, reinterpret_cast<LPARAM>(child),
                                        SMTO_NORMAL, 10000, &ignored);
                item = child;
            }
            return item != nullptr;
        }
        return false;
    }

    bool Select(const std::wstring& path)
    {
        if (!dialog_ || !IsWindow(dialog_) || !FindDescendant(dialog_, L"SysTreeView32"))
            return Fail("no browse dialog to select in");
        const HWND tree = FindDescendant(dialog_, L"SysTreeView32");
        const auto before = SelectedItemText(process_.get(), tree);
        const auto parts = Components(path);
        // The dialog may still be filling its tree right after it shows, most of all on a busy
        // machine: a folder not reached yet is tried again for a while.
        const ULONGLONG deadline = GetTickCount64() + 5000;
        bool reached = false;
        const char* method = "message";
        std::optional<std::wstring> after;
        for (;;) {
            if (!SelectByMessage(path))
                return false;
            after = SelectedItemText(process_.get(), tree);
            // A drive's item is named by its label, not its letter: any change will do there.
            reached = parts.size() <= 1 ? after && after != before : after && SameName(*after, parts.back());
            method = "message";
            if (!reached && parts.size() > 1) {
                // Wine's dialog finds a folder by message only when its parent is already in the tree.
                method = "tree";
                reached = SelectThroughTree(tree, parts);
                if (status_ != 0)
                    return false;
                after = SelectedItemText(process_.get(), tree);
            }
            if (reached || GetTickCount64() >= deadline)
                break;
            Sleep(100);
        }

        const HWND ok = GetDlgItem(dialog_, IDOK);
        JsonLine line("selected");
        line.Text("path", path).Text("method", method).Flag("ok_enabled", ok && IsWindowEnabled(ok));
        if (after)
            line.Text("item", *after);
        else
            line.Null("item");
        line.Emit();
        if (!reached)
            return Fail("the folder could not be selected in the browse dialog");
        return true;
    }

    bool Press(Key key)
    {
        if (!dialog_ || !IsWindow(dialog_))
            return Fail("no box or dialog to answer");
        const HWND dialog = dialog_;
        switch (key) {
        case Key::Ok:
        case Key::Cancel: {
            const HWND button = GetDlgItem(dialog, key == Key::Ok ? IDOK : IDCANCEL);
            if (!button || !IsWindowVisible(button))
                return Fail("the box has no such button");
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
            WaitUntil([&] { return !IsWindow(dialog) || !IsWindowVisible(dialog) || GetTickCount64() > limit; });
        if (waited == Waited::Met && IsWindow(dialog) && IsWindowVisible(dialog))
            return Fail("the box did not close");
        JsonLine("pressed").Text("key", KeyName(key)).Emit();
        dialog_ = nullptr;
        return waited != Waited::TimedOut || Check(waited, "box to close");
    }

    bool Sync(const std::wstring& name)
    {
        JsonLine("sync").Text("name", name).Emit();
        const HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
        char byte = 0;
        DWORD read = 0;
        while (ReadFile(input, &byte, 1, &read, nullptr) && read == 1)
            if (byte == '\n')
                return true;
        return Fail("standard input closed during a sync");
    }

    bool WaitExit()
    {
        HWND unexpected = nullptr;
        const Waited waited = WaitUntil([&] {
            unexpected = AnyNewDialog();
            return unexpected != nullptr || Exited();
        });
        if (waited == Waited::TimedOut)
            return Check(waited, "installer to end");
        if (unexpected) {
            handled_.insert(unexpected);
            if (FindDescendant(unexpected, L"SysTreeView32"))
                ReportBrowse("unexpected", unexpected);
            else
                ReportBox("unexpected", unexpected);
            Kill();
            status_ = 1;
            return false;
        }
        ReportExit(false);
        return true;
    }

    Script script_;
    UniqueHandle process_;
    DWORD processId_ = 0;
    ULONGLONG deadline_ = 0;
    const Action* current_ = nullptr;
    HWND dialog_ = nullptr;
    HWND cover_ = nullptr;
    std::set<HWND> handled_;
    std::set<HWND> shown_;
    std::vector<HeldFile> holds_;
    int status_ = 0;
};

// Sizes in the report are in real pixels whatever the screen's scale.
void BecomeDpiAware() noexcept
{
    // Looked up at run time, with the context's value spelled out: the build targets Windows 7 headers.
    using SetContextFn = BOOL(WINAPI*)(HANDLE);
    const HANDLE perMonitorV2 = reinterpret_cast<HANDLE>(static_cast<INT_PTR>(-4));
    const auto set = reinterpret_cast<SetContextFn>(reinterpret_cast<void (*)()>(
        GetProcAddress(GetModuleHandleW(L"user32.dll"), "SetProcessDpiAwarenessContext")));
    if (!set || !set(perMonitorV2))
        SetProcessDPIAware();
}

} // namespace
} // namespace tazel::e2e

int wmain(int argc, wchar_t** argv)
{
    using namespace tazel::e2e;
    try {
        BecomeDpiAware();
        // For the accessibility API.
        const tazel::win32::ComApartment com;
        std::vector<std::wstring> arguments(argv + 1, argv + argc);
        std::wstring error;
        auto script = ParseScript(arguments, error);
        if (!script) {
            JsonLine("error").Text("action", "usage").Text("reason", error).Emit();
            return 64;
        }
        Runner runner(std::move(*script));
        return runner.Run();
    } catch (...) {
        JsonLine("error").Text("action", "driver").Text("reason", "internal failure").Emit();
        return 1;
    }
}
