#include "ui/MainWindow.h"

#include "platform/Win32Error.h"
#include "resources/ResourceIds.h"

namespace tazel::win32 {

namespace {
constexpr wchar_t kWindowClass[] = L"TazelDeckInstallerWindow";
constexpr wchar_t kWindowTitle[] = L"Ombrix Support Files";
} // namespace

struct MainWindow::State {
    HWND window = nullptr;
    std::wstring packageLine;
};

namespace {

LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) noexcept
{
    auto* state = reinterpret_cast<MainWindow::State*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    switch (message) {
    case WM_NCCREATE: {
        const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lParam);
        SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
        break;
    }
    case WM_PAINT: {
        PAINTSTRUCT paint = {};
        HDC dc = BeginPaint(window, &paint);
        RECT client = {};
        GetClientRect(window, &client);
        HBRUSH grey = CreateSolidBrush(RGB(224, 224, 224));
        FillRect(dc, &client, grey);
        DeleteObject(grey);
        if (state) {
            SetBkMode(dc, TRANSPARENT);
            SetTextColor(dc, RGB(0, 0, 255));
            RECT line = {0, 133, 407, 158};
            DrawTextW(dc, state->packageLine.c_str(), -1, &line, DT_CENTER | DT_TOP | DT_SINGLELINE | DT_NOPREFIX);
        }
        EndPaint(window, &paint);
        return 0;
    }
    case WM_NCDESTROY:
        if (state)
            state->window = nullptr;
        break;
    default:
        break;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

} // namespace

MainWindow::MainWindow(std::unique_ptr<State> state) : state_(std::move(state)) {}

MainWindow::~MainWindow()
{
    if (state_->window)
        DestroyWindow(state_->window);
}

std::expected<std::unique_ptr<MainWindow>, Failure> MainWindow::Create(HINSTANCE instance)
{
    WNDCLASSEXW windowClass = {};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = WindowProc;
    windowClass.hInstance = instance;
    windowClass.hIcon = LoadIconW(instance, MAKEINTRESOURCEW(IDI_TAZEL_GROUP));
    windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    windowClass.lpszClassName = kWindowClass;
    if (!RegisterClassExW(&windowClass))
        return std::unexpected(LastErrorFailure());

    auto state = std::make_unique<State>();
    const DWORD style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
    RECT frame = {0, 0, 413, 164};
    AdjustWindowRectEx(&frame, style, FALSE, 0);
    state->window = CreateWindowExW(0, kWindowClass, kWindowTitle, style, CW_USEDEFAULT, CW_USEDEFAULT,
                                    frame.right - frame.left, frame.bottom - frame.top, nullptr, nullptr, instance,
                                    state.get());
    if (!state->window)
        return std::unexpected(LastErrorFailure());
    return std::unique_ptr<MainWindow>(new MainWindow(std::move(state)));
}

void MainWindow::SetPackageLine(const std::wstring& text)
{
    state_->packageLine = text;
    if (state_->window)
        InvalidateRect(state_->window, nullptr, TRUE);
}

void MainWindow::Show()
{
    if (state_->window)
        ShowWindow(state_->window, SW_SHOWNORMAL);
}

HWND MainWindow::Handle() const noexcept
{
    return state_->window;
}

bool MainWindow::IsVisible() const noexcept
{
    return state_->window && IsWindowVisible(state_->window);
}

} // namespace tazel::win32
