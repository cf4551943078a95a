#include "ui/MainWindow.h"

#include <array>
#include <optional>
#include <utility>

#include "platform/OptionalFunction.h"
#include "platform/Owners.h"
#include "platform/Win32Error.h"
#include "resources/ResourceIds.h"
#include "resources/WindowLayout.h"
#include "ui/Picture.h"

namespace tazel::win32 {

namespace {

constexpr wchar_t kWindowClass[] = L"TazelDeckInstallerWindow";
// A fixed frame: it can be moved and minimised, never resized or maximised.
constexpr DWORD kWindowStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
constexpr DWORD kWindowExStyle = 0;

// Older SDK headers lack the message that lets a per-monitor window name its own size for a
// new DPI; its number is fixed.
constexpr UINT kGetDpiScaledSize = 0x02E4;

// The controls that carry the text lines, one per line in reading order, numbered from here.
constexpr int kFirstLineControlId = 100;
// Owner-drawn, so their pixels are the window's own; without the prefix rule, so an "&" in the
// package's name is read as it is written. They take no input: clicks fall through to the window.
constexpr DWORD kLineControlStyle = WS_CHILD | WS_VISIBLE | SS_OWNERDRAW | SS_NOPREFIX;

// The per-monitor DPI functions arrived with Windows 10, so they are looked up when needed.
template <typename Function>
Function User32Function(const char* name) noexcept
{
    return OptionalFunction<Function>(GetModuleHandleW(L"user32.dll"), name);
}

UINT ScreenDpi() noexcept
{
    const ScreenDc screen;
    const int dpi = screen.get() ? GetDeviceCaps(screen.get(), LOGPIXELSY) : 0;
    return dpi > 0 ? static_cast<UINT>(dpi) : static_cast<UINT>(layout::kDesignDpi);
}

// The DPI of the monitor the window stands on, or 0 where the system cannot tell (before
// Windows 8.1, which brought the function).
UINT MonitorDpi(HWND window) noexcept
{
    using GetDpiForMonitorFn = HRESULT(WINAPI*)(HMONITOR, int, UINT*, UINT*);
    constexpr int kEffectiveDpi = 0; // MDT_EFFECTIVE_DPI
    const UniqueModule shcore = LoadSystemLibrary(L"shcore.dll");
    const auto getDpiForMonitor = OptionalFunction<GetDpiForMonitorFn>(shcore.get(), "GetDpiForMonitor");
    const HMONITOR monitor = MonitorFromWindow(window, MONITOR_DEFAULTTONEAREST);
    UINT x = 0;
    UINT y = 0;
    if (!getDpiForMonitor || !monitor || FAILED(getDpiForMonitor(monitor, kEffectiveDpi, &x, &y)))
        return 0;
    return y;
}

// The window's own DPI (Windows 10), else its monitor's (Windows 8.1), else the system's.
UINT WindowDpi(HWND window) noexcept
{
    using GetDpiForWindowFn = UINT(WINAPI*)(HWND);
    static const auto getDpiForWindow = User32Function<GetDpiForWindowFn>("GetDpiForWindow");
    if (getDpiForWindow && window) {
        const UINT dpi = getDpiForWindow(window);
        if (dpi != 0)
            return dpi;
    }
    if (const UINT dpi = MonitorDpi(window); dpi != 0)
        return dpi;
    return ScreenDpi();
}

int SystemMetric(int index, UINT dpi) noexcept
{
    using GetSystemMetricsForDpiFn = int(WINAPI*)(int, UINT);
    static const auto forDpi = User32Function<GetSystemMetricsForDpiFn>("GetSystemMetricsForDpi");
    if (forDpi)
        return forDpi(index, dpi);
    return GetSystemMetrics(index);
}

// The outer size of a window whose client area is width x height at the given DPI.
SIZE FrameSize(int width, int height, UINT dpi) noexcept
{
    using AdjustForDpiFn = BOOL(WINAPI*)(RECT*, DWORD, BOOL, DWORD, UINT);
    static const auto adjustForDpi = User32Function<AdjustForDpiFn>("AdjustWindowRectExForDpi");
    RECT frame = {0, 0, width, height};
    if (!adjustForDpi || !adjustForDpi(&frame, kWindowStyle, FALSE, kWindowExStyle, dpi))
        AdjustWindowRectEx(&frame, kWindowStyle, FALSE, kWindowExStyle);
    return SIZE{frame.right - frame.left, frame.bottom - frame.top};
}

COLORREF ToColorRef(layout::Rgb colour) noexcept
{
    return RGB(colour.red, colour.green, colour.blue);
}

RECT ToRect(const layout::Box& box) noexcept
{
    return RECT{box.left, box.top, box.right(), box.bottom()};
}

[[nodiscard]] UniqueFont CreateLineFont(const layout::Line& line, int pixelHeight) noexcept
{
    LOGFONTW font = {};
    // Negative: the em height, not the cell height, so the size matches the size in points.
    font.lfHeight = -pixelHeight;
    font.lfWeight = layout::kLineWeight;
    font.lfItalic = line.italic ? TRUE : FALSE;
    font.lfCharSet = ANSI_CHARSET;
    font.lfOutPrecision = OUT_DEFAULT_PRECIS;
    font.lfClipPrecision = CLIP_DEFAULT_PRECIS;
    font.lfQuality = DEFAULT_QUALITY;
    // Where Arial is missing the mapper then still picks a sans-serif face.
    font.lfPitchAndFamily = DEFAULT_PITCH | FF_SWISS;
    lstrcpynW(font.lfFaceName, layout::kLineFace, LF_FACESIZE);
    return UniqueFont(CreateFontIndirectW(&font));
}

} // namespace

struct MainWindow::State {
    HINSTANCE instance = nullptr;
    HWND window = nullptr;
    std::wstring packageLine;
    layout::WindowLayout layout = layout::LayoutAt(layout::kDesignDpi);
    std::array<UniqueFont, layout::kLines.size()> fonts;
    // The text lines for screen readers; null where one could not be made. Owned by the window.
    std::array<HWND, layout::kLines.size()> lineControls{};
    UniqueIcon bigIcon;
    UniqueIcon smallIcon;
    // Absent when the picture could not be decoded; the window does without it.
    std::optional<Picture> picture;
};

namespace {

using State = MainWindow::State;

// Fonts for every line at the layout's DPI. All or nothing, so that a failure part-way leaves
// the previous set whole.
[[nodiscard]] Expected<void, Failure> BuildFonts(State& state) noexcept
{
    std::array<UniqueFont, layout::kLines.size()> fonts;
    for (std::size_t i = 0; i < fonts.size(); ++i) {
        fonts[i] = CreateLineFont(layout::kLines[i], state.layout.fontHeights[i]);
        if (!fonts[i])
            return Unexpected(LastErrorFailure());
    }
    state.fonts = std::move(fonts);
    return {};
}

// The caption and the task switcher draw the icon at sizes that grow with the DPI; loading the
// image for each size lets the system pick the icon's best match instead of stretching one.
// An icon that cannot be loaded leaves the window with the system's default: not worth a run.
void LoadIcons(State& state, UINT dpi) noexcept
{
    const auto load = [&](int widthMetric, int heightMetric) {
        return UniqueIcon(static_cast<HICON>(LoadImageW(state.instance, MAKEINTRESOURCEW(IDI_TAZEL_GROUP), IMAGE_ICON,
                                                        SystemMetric(widthMetric, dpi), SystemMetric(heightMetric, dpi),
                                                        LR_DEFAULTCOLOR)));
    };
    UniqueIcon big = load(SM_CXICON, SM_CYICON);
    UniqueIcon small = load(SM_CXSMICON, SM_CYSMICON);
    if (big) {
        SendMessageW(state.window, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(big.get()));
        state.bigIcon = std::move(big);
    }
    if (small) {
        SendMessageW(state.window, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(small.get()));
        state.smallIcon = std::move(small);
    }
}

// Lays the window out for a DPI: fonts, icons, the line controls and the frame around the
// client area. With a suggested frame, the window takes it, and is then corrected so that the
// client area comes out exactly as the twips call for.
[[nodiscard]] Expected<void, Failure> ApplyDpi(State& state, UINT dpi, const RECT* suggested) noexcept
{
    const layout::WindowLayout previous = state.layout;
    state.layout = layout::LayoutAt(static_cast<int>(dpi));
    if (auto fonts = BuildFonts(state); !fonts) {
        state.layout = previous;
        return fonts;
    }
    LoadIcons(state, dpi);

    for (std::size_t i = 0; i < state.lineControls.size(); ++i) {
        const layout::Box& box = state.layout.lines[i];
        if (state.lineControls[i])
            SetWindowPos(state.lineControls[i], nullptr, box.left, box.top, box.width, box.height,
                         SWP_NOZORDER | SWP_NOACTIVATE | SWP_NOREDRAW);
    }

    SIZE frame = FrameSize(state.layout.clientWidth, state.layout.clientHeight, dpi);
    const bool placed =
        suggested
            ? SetWindowPos(state.window, nullptr, suggested->left, suggested->top, suggested->right - suggested->left,
                           suggested->bottom - suggested->top, SWP_NOZORDER | SWP_NOACTIVATE)
            : SetWindowPos(state.window, nullptr, 0, 0, frame.cx, frame.cy, SWP_NOZORDER | SWP_NOACTIVATE | SWP_NOMOVE);
    if (!placed)
        return Unexpected(LastErrorFailure());
    RECT outer = {};
    if (GetWindowRect(state.window, &outer))
        frame = SIZE{outer.right - outer.left, outer.bottom - outer.top};

    // The computed frame can miss the real one, e.g. where the system draws the frame at another
    // DPI than the one asked about; the client area is what must come out exact, so measure it
    // and make up the difference.
    RECT client = {};
    if (GetClientRect(state.window, &client)) {
        const int extraWidth = state.layout.clientWidth - (client.right - client.left);
        const int extraHeight = state.layout.clientHeight - (client.bottom - client.top);
        if (extraWidth != 0 || extraHeight != 0) {
            if (!SetWindowPos(state.window, nullptr, 0, 0, frame.cx + extraWidth, frame.cy + extraHeight,
                              SWP_NOZORDER | SWP_NOACTIVATE | SWP_NOMOVE))
                return Unexpected(LastErrorFailure());
        }
    }
    RedrawWindow(state.window, nullptr, nullptr, RDW_INVALIDATE | RDW_ALLCHILDREN);
    return {};
}

void FillBox(HDC dc, const RECT& box, layout::Rgb colour) noexcept
{
    const UniqueBrush brush(CreateSolidBrush(ToColorRef(colour)));
    if (brush)
        FillRect(dc, &box, brush.get());
}

void DrawPicture(HDC dc, const Picture& picture, const layout::WindowLayout& layout) noexcept
{
    const UniqueMemoryDc source(CreateCompatibleDC(dc));
    if (!source)
        return;
    const ScopedSelect selected(source.get(), picture.Bitmap());
    const int left = layout.picture.left;
    const int top = layout.picture.top;
    if (layout.dpi == layout::kDesignDpi) {
        // At the designed DPI the pixels go on screen exactly as decoded.
        BitBlt(dc, left, top, picture.Width(), picture.Height(), source.get(), 0, 0, SRCCOPY);
        return;
    }
    const int width = layout::MulDivRound(picture.Width(), layout.dpi, layout::kDesignDpi);
    const int height = layout::MulDivRound(picture.Height(), layout.dpi, layout::kDesignDpi);
    // HALFTONE averages the source pixels each target pixel covers; the default mode drops or
    // repeats whole pixels and leaves the picture ragged.
    const int previousMode = SetStretchBltMode(dc, HALFTONE);
    // The brush origin is in device units: the client area's corner, wherever the DC puts it.
    POINT clientCorner = {0, 0};
    LPtoDP(dc, &clientCorner, 1);
    POINT previousOrigin = {};
    SetBrushOrgEx(dc, clientCorner.x, clientCorner.y, &previousOrigin);
    StretchBlt(dc, left, top, width, height, source.get(), 0, 0, picture.Width(), picture.Height(), SRCCOPY);
    SetBrushOrgEx(dc, previousOrigin.x, previousOrigin.y, nullptr);
    if (previousMode)
        SetStretchBltMode(dc, previousMode);
}

void DrawLine(HDC dc, const layout::Line& line, const layout::Box& box, HFONT font,
              const std::wstring& runtimeText) noexcept
{
    const wchar_t* text = line.text ? line.text : runtimeText.c_str();
    const int length = lstrlenW(text);
    const ScopedSelect selected(dc, font);
    // Measured and placed by hand rather than through DrawText, which would drop a trailing
    // space from the centring; the subtitle's trailing space is meant to count.
    SIZE extent = {};
    if (!GetTextExtentPoint32W(dc, text, length, &extent))
        return;
    const RECT clip = ToRect(box);
    SetTextColor(dc, ToColorRef(line.colour));
    ExtTextOutW(dc, layout::CentredLeft(box, extent.cx), box.top, ETO_CLIPPED, &clip, text, static_cast<UINT>(length),
                nullptr);
}

bool Overlaps(const RECT& area, const layout::Box& box) noexcept
{
    return box.left < area.right && area.left < box.right() && box.top < area.bottom && area.top < box.bottom();
}

// Draws what the client area shows within `area`, in client coordinates.
void PaintContent(const State& state, HDC dc, const RECT& area) noexcept
{
    FillBox(dc, area, layout::kWindowBackground);
    FillBox(dc, ToRect(state.layout.panel), layout::kPanelBackground);
    if (state.picture && Overlaps(area, state.layout.picture))
        DrawPicture(dc, *state.picture, state.layout);

    SetBkMode(dc, TRANSPARENT);
    SetTextAlign(dc, TA_LEFT | TA_TOP | TA_NOUPDATECP);
    for (std::size_t i = 0; i < layout::kLines.size(); ++i) {
        if (Overlaps(area, state.layout.lines[i]))
            DrawLine(dc, layout::kLines[i], state.layout.lines[i], state.fonts[i].get(), state.packageLine);
    }
}

// Draws the part `area` of the client area (in client coordinates) onto `target`, whose origin
// stands for the area's top left corner: the whole client area for the window itself, a line's
// box for its control. Both draw the same pixels in the same way, so they agree to the pixel.
void PaintArea(const State& state, HDC target, const RECT& area) noexcept
{
    const int width = area.right - area.left;
    const int height = area.bottom - area.top;
    if (width <= 0 || height <= 0)
        return;

    // Everything is drawn off screen first and copied in one go, so the grey fill never shows
    // between the frames of a repaint.
    const UniqueMemoryDc buffer(CreateCompatibleDC(target));
    const UniqueBitmap bitmap(buffer ? CreateCompatibleBitmap(target, width, height) : nullptr);
    if (buffer && bitmap) {
        const ScopedSelect selected(buffer.get(), bitmap.get());
        SetViewportOrgEx(buffer.get(), -area.left, -area.top, nullptr);
        PaintContent(state, buffer.get(), area);
        SetViewportOrgEx(buffer.get(), 0, 0, nullptr);
        BitBlt(target, 0, 0, width, height, buffer.get(), 0, 0, SRCCOPY);
        return;
    }
    // Short of memory for the buffer: drawing straight on screen flickers but still shows.
    POINT previous = {};
    SetViewportOrgEx(target, -area.left, -area.top, &previous);
    PaintContent(state, target, area);
    SetViewportOrgEx(target, previous.x, previous.y, nullptr);
}

void Paint(const State& state, HWND window) noexcept
{
    const PaintDc paint(window);
    if (!paint.get()) {
        // Left invalid, the window would be sent WM_PAINT again at once and for ever, and the
        // pause's message loop would never sleep.
        ValidateRect(window, nullptr);
        return;
    }
    RECT client = {};
    GetClientRect(window, &client);
    PaintArea(state, paint.get(), client);
}

// A line control's share of the window's pixels.
void DrawLineControl(const State& state, const DRAWITEMSTRUCT& item) noexcept
{
    POINT origin = {0, 0};
    MapWindowPoints(item.hwndItem, state.window, &origin, 1);
    const RECT area = {origin.x, origin.y, origin.x + (item.rcItem.right - item.rcItem.left),
                       origin.y + (item.rcItem.bottom - item.rcItem.top)};
    PaintArea(state, item.hDC, area);
}

// The controls that carry the lines' texts for screen readers, which read what a window's
// controls say and not what it paints. Without them the window still shows every line, so a
// control that cannot be made is done without.
void CreateLineControls(State& state) noexcept
{
    for (std::size_t i = 0; i < layout::kLines.size(); ++i) {
        const wchar_t* text = layout::kLines[i].text ? layout::kLines[i].text : L"";
        state.lineControls[i] =
            CreateWindowExW(0, L"STATIC", text, kLineControlStyle, 0, 0, 0, 0, state.window,
                            reinterpret_cast<HMENU>(static_cast<INT_PTR>(kFirstLineControlId + static_cast<int>(i))),
                            state.instance, nullptr);
    }
}

LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) noexcept
{
    if (message == WM_NCCREATE) {
        const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lParam);
        auto* state = static_cast<State*>(create->lpCreateParams);
        state->window = window;
        SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(state));
        return DefWindowProcW(window, message, wParam, lParam);
    }

    auto* state = reinterpret_cast<State*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (!state)
        return DefWindowProcW(window, message, wParam, lParam);

    switch (message) {
    case WM_ERASEBKGND:
        // WM_PAINT covers every pixel; erasing first would only flash grey.
        return 1;
    case WM_PAINT:
        Paint(*state, window);
        return 0;
    case WM_DRAWITEM: {
        const auto* item = reinterpret_cast<const DRAWITEMSTRUCT*>(lParam);
        if (item->CtlType != ODT_STATIC)
            break;
        DrawLineControl(*state, *item);
        return TRUE;
    }
    case kGetDpiScaledSize: {
        // Name the exact frame for the new DPI, so the suggested rectangle in WM_DPICHANGED
        // holds the client area the twips call for rather than a proportionally scaled guess.
        const int dpi = static_cast<int>(wParam);
        const layout::WindowLayout next = layout::LayoutAt(dpi);
        auto* size = reinterpret_cast<SIZE*>(lParam);
        *size = FrameSize(next.clientWidth, next.clientHeight, static_cast<UINT>(dpi));
        return TRUE;
    }
    case WM_DPICHANGED: {
        // Laid out afresh, exactly as if it had started at the new DPI. On failure the window
        // keeps its old fonts and size: still readable, only mis-scaled.
        (void)ApplyDpi(*state, HIWORD(wParam), reinterpret_cast<const RECT*>(lParam));
        return 0;
    }
    case WM_NCDESTROY:
        // The user may close the window while the run goes on; from here on the run sees no
        // window and its boxes stand without owner.
        SetWindowLongPtrW(window, GWLP_USERDATA, 0);
        state->window = nullptr;
        state->lineControls = {};
        break;
    default:
        break;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

[[nodiscard]] Expected<void, Failure> RegisterWindowClass(HINSTANCE instance)
{
    WNDCLASSEXW windowClass = {};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = WindowProc;
    windowClass.hInstance = instance;
    windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    windowClass.lpszClassName = kWindowClass;
    if (!RegisterClassExW(&windowClass))
        return Unexpected(LastErrorFailure());
    return {};
}

} // namespace

MainWindow::MainWindow(std::unique_ptr<State> state) : state_(std::move(state))
{
}

MainWindow::~MainWindow()
{
    if (state_->window)
        DestroyWindow(state_->window);
}

Expected<std::unique_ptr<MainWindow>, Failure> MainWindow::Create(HINSTANCE instance)
{
    if (auto registered = RegisterWindowClass(instance); !registered)
        return Unexpected(registered.error());

    auto state = std::make_unique<State>();
    state->instance = instance;
    if (auto picture = Picture::FromResource(instance, IDR_WINDOW_PICTURE))
        state->picture.emplace(std::move(*picture));

    // Sized for the screen's DPI to begin with; ApplyDpi below corrects it for the monitor the
    // window actually landed on.
    const layout::WindowLayout initial = layout::LayoutAt(static_cast<int>(ScreenDpi()));
    const SIZE frame = FrameSize(initial.clientWidth, initial.clientHeight, static_cast<UINT>(initial.dpi));
    State* const raw = state.get();
    const HWND window = CreateWindowExW(kWindowExStyle, kWindowClass, layout::kWindowTitle, kWindowStyle, CW_USEDEFAULT,
                                        CW_USEDEFAULT, frame.cx, frame.cy, nullptr, nullptr, instance, raw);
    if (!window)
        return Unexpected(LastErrorFailure());
    // Owned from here, so that any failure below still destroys the window.
    std::unique_ptr<MainWindow> result(new MainWindow(std::move(state)));
    CreateLineControls(*raw);

    if (auto applied = ApplyDpi(*raw, WindowDpi(window), nullptr); !applied)
        return Unexpected(applied.error());
    return result;
}

void MainWindow::SetPackageLine(const std::wstring& text)
{
    state_->packageLine = text;
    if (!state_->window)
        return;
    for (std::size_t i = 0; i < layout::kLines.size(); ++i) {
        if (!layout::kLines[i].text && state_->lineControls[i])
            SetWindowTextW(state_->lineControls[i], text.c_str());
    }
    InvalidateRect(state_->window, nullptr, FALSE);
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
