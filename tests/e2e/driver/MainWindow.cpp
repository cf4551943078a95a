#include "MainWindow.h"

#include <oleacc.h>

#include <string>

#include "Json.h"
#include "WindowQuery.h"

namespace tazel::e2e {
namespace {

// The message by which Windows 10 asks a per-monitor window its frame size for a new DPI;
// older SDK headers lack its name.
constexpr UINT kGetDpiScaledSize = 0x02E4;

UINT WindowDpi(HWND window)
{
    using GetDpiForWindowFn = UINT(WINAPI*)(HWND);
    const auto get = reinterpret_cast<GetDpiForWindowFn>(
        reinterpret_cast<void (*)()>(GetProcAddress(GetModuleHandleW(L"user32.dll"), "GetDpiForWindow")));
    return get ? get(window) : 0;
}

} // namespace

void MainWindow::Report(const char* event, HWND window)
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
        .Raw("client",
             "[" + std::to_string(client.right - client.left) + "," + std::to_string(client.bottom - client.top) + "]")
        .Raw("client_origin", "[" + std::to_string(origin.x) + "," + std::to_string(origin.y) + "]")
        .Number("dpi", static_cast<long long>(WindowDpi(window)))
        .Flag("visible", IsWindowVisible(window) != FALSE)
        .Emit();
}

bool MainWindow::Wait()
{
    HWND window = nullptr;
    const Waited waited = watch_.WaitUntil([&] {
        window = FindMainWindow(process_.id());
        return window && IsWindowVisible(window);
    });
    if (!watch_.Check(waited, "main window"))
        return false;
    Report("window", window);
    return true;
}

HWND MainWindow::Await()
{
    HWND window = nullptr;
    if (!watch_.Check(watch_.WaitUntil([&] { return (window = FindMainWindow(process_.id())) != nullptr; }),
                      "main window"))
        return nullptr;
    return window;
}

bool MainWindow::Close()
{
    const HWND window = Await();
    if (!window)
        return false;
    PostMessageW(window, WM_CLOSE, 0, 0);
    const ULONGLONG limit = GetTickCount64() + kCloseLimitMs;
    const Waited waited = watch_.WaitUntil([&] { return !IsWindow(window) || GetTickCount64() > limit; });
    if (waited == Waited::Met && IsWindow(window))
        return watch_.Fail("main window did not close");
    JsonLine("window_closed").Emit();
    return waited != Waited::TimedOut || watch_.Check(waited, "main window to close");
}

bool MainWindow::Move(int x, int y)
{
    const HWND window = Await();
    if (!window)
        return false;
    SetWindowPos(window, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    const ULONGLONG limit = GetTickCount64() + kCloseLimitMs;
    const Waited waited = watch_.WaitUntil([&] {
        RECT frame = {};
        GetWindowRect(window, &frame);
        return (frame.left == x && frame.top == y) || GetTickCount64() > limit;
    });
    if (!watch_.Check(waited, "main window to move"))
        return false;
    Report("window_moved", window);
    return true;
}

bool MainWindow::ChangeDpi(int dpi, int x, int y)
{
    const HWND window = Await();
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
    RemoteBuffer remoteSize(process_.handle(), sizeof size);
    if (!remoteSize || !remoteSize.Write(&size, sizeof size))
        return watch_.Fail("cannot write the scaled size into the installer");
    DWORD_PTR answered = 0;
    if (!SendMessageTimeoutW(window, kGetDpiScaledSize, static_cast<WPARAM>(dpi),
                             reinterpret_cast<LPARAM>(remoteSize.address()), SMTO_NORMAL, 10000, &answered))
        return watch_.Fail("the main window did not answer WM_GETDPISCALEDSIZE");
    if (answered && !remoteSize.Read(&size, sizeof size))
        return watch_.Fail("cannot read the window's own size back");
    JsonLine("dpi_scaled_size")
        .Flag("answered", answered != 0)
        .Raw("size", "[" + std::to_string(size.cx) + ", " + std::to_string(size.cy) + "]")
        .Emit();

    const RECT suggested = {x, y, x + size.cx, y + size.cy};
    RemoteBuffer remote(process_.handle(), sizeof suggested);
    if (!remote || !remote.Write(&suggested, sizeof suggested))
        return watch_.Fail("cannot write the suggested frame into the installer");
    DWORD_PTR result = 0;
    if (!SendMessageTimeoutW(window, WM_DPICHANGED, MAKEWPARAM(dpi, dpi), reinterpret_cast<LPARAM>(remote.address()),
                             SMTO_NORMAL, 10000, &result))
        return watch_.Fail("the main window did not answer the DPI change");
    Report("dpi_changed", window);
    return true;
}

// What a screen reader finds: the main window's children in the order it reads them, each
// with the name and role the accessibility API gives its client area.
bool MainWindow::ReportAccessible()
{
    const HWND window = Await();
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

} // namespace tazel::e2e
