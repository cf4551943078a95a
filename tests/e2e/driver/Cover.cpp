#include "Cover.h"

#include <string>

#include "Json.h"
#include "WindowQuery.h"

namespace tazel::e2e {
namespace {

// The covering window's colour: one the installer never draws, so the harness can tell any of it
// left behind from the installer's own pixels.
constexpr BYTE kCoverRed = 255;
constexpr BYTE kCoverGreen = 0;
constexpr BYTE kCoverBlue = 255;
// Over the frame and a little around it, so the installer has to repaint all of itself.
constexpr int kCoverMargin = 8;
// Time for Wine to put the covering window's pixels on the X screen and to take them away.
constexpr DWORD kCoverSettleMs = 150;

// The driver's own window has to be served by the driver's thread: painted, and its pixels
// handed on to the X server, which Wine does while the thread looks at its messages.
void PumpOwnMessages(DWORD milliseconds)
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

const wchar_t* CoverClass()
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

} // namespace

Cover::~Cover()
{
    if (window_)
        DestroyWindow(window_);
}

bool Cover::Lay()
{
    const HWND main = mainWindow_.Await();
    if (!main)
        return false;
    if (window_)
        return watch_.Fail("the main window is covered already");
    RECT area = {};
    GetWindowRect(main, &area);
    InflateRect(&area, kCoverMargin, kCoverMargin);
    const wchar_t* const coverClass = CoverClass();
    // Not activated: the installer keeps its active caption, as when a notification pops up.
    window_ = coverClass ? CreateWindowExW(WS_EX_TOOLWINDOW | WS_EX_NOACTIVATE, coverClass, L"", WS_POPUP, area.left,
                                           area.top, area.right - area.left, area.bottom - area.top, nullptr, nullptr,
                                           GetModuleHandleW(nullptr), nullptr)
                         : nullptr;
    if (!window_)
        return watch_.Fail("cannot create the covering window");
    SetWindowPos(window_, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE | SWP_SHOWWINDOW);
    UpdateWindow(window_);
    PumpOwnMessages(kCoverSettleMs);
    JsonLine("covered")
        .Raw("rect", RectJson(area))
        .Raw("colour", "[" + std::to_string(kCoverRed) + "," + std::to_string(kCoverGreen) + "," +
                           std::to_string(kCoverBlue) + "]")
        .Emit();
    return true;
}

bool Cover::Lift()
{
    if (!window_)
        return watch_.Fail("nothing to uncover");
    DestroyWindow(window_);
    window_ = nullptr;
    PumpOwnMessages(kCoverSettleMs);
    JsonLine("uncovered").Emit();
    return true;
}

} // namespace tazel::e2e
