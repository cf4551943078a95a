// The benchmark's baseline: about the least a Win32 program with one window and one message box
// can be, built with the installer's toolchain and link options and carrying its application
// manifest (Baseline.rc). scripts/bench.sh measures the installer against it. The window has the
// installer's title, so the test driver finds it alike.

#include <windows.h>

namespace {

constexpr wchar_t kClassName[] = L"TazelBaseline";
constexpr wchar_t kTitle[] = L"Ombrix Support Files";

LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) noexcept
{
    return DefWindowProcW(window, message, wParam, lParam);
}

} // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int)
{
    WNDCLASSEXW windowClass = {};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = WindowProc;
    windowClass.hInstance = instance;
    windowClass.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    windowClass.lpszClassName = kClassName;
    if (!RegisterClassExW(&windowClass))
        return 1;

    const HWND window = CreateWindowExW(0, kClassName, kTitle, WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU, CW_USEDEFAULT,
                                        CW_USEDEFAULT, 400, 200, nullptr, nullptr, instance, nullptr);
    if (!window)
        return 1;
    ShowWindow(window, SW_SHOWNORMAL);
    UpdateWindow(window);
    MessageBoxW(window, L"Done.", L"Baseline", MB_OK);
    DestroyWindow(window);
    return 0;
}
