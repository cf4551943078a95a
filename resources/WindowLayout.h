#pragma once
// Where frmMain's elements stand, in the twips the window was designed in, and how those
// figures become pixels at a given DPI. Free of <windows.h>: the installer draws the window from
// it, the package maker checks a publisher's picture against it and its page previews the window.

#include <array>
#include <cstdint>

namespace tazel::layout {

// 1440 twips make an inch; at 96 DPI a pixel is 15 twips.
inline constexpr int kTwipsPerInch = 1440;
inline constexpr int kDesignDpi = 96;

// Rounds a * b / c to the nearest integer, halves away from zero, for non-negative a and b and
// positive c: the same answer Win32's MulDiv gives, so figures agree with the system's own.
constexpr int MulDivRound(int a, int b, int c) noexcept
{
    const long long product = static_cast<long long>(a) * b;
    return static_cast<int>((product + c / 2) / c);
}

constexpr int ToPixels(int twips, int dpi) noexcept
{
    return MulDivRound(twips, dpi, kTwipsPerInch);
}

// A font's em height in pixels from its size in quarter points: 27.75 pt is 111 quarters, and
// counting in quarters keeps that size exact where a whole-point MulDiv would round it first.
constexpr int FontPixels(int quarterPoints, int dpi) noexcept
{
    return MulDivRound(quarterPoints, dpi, 72 * 4);
}

struct Box {
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;

    constexpr int right() const noexcept { return left + width; }
    constexpr int bottom() const noexcept { return top + height; }
    friend constexpr bool operator==(const Box&, const Box&) = default;
};

// Each figure is converted on its own rather than through the far edges: an element's width in
// pixels then does not depend on where it stands.
constexpr Box ToPixels(const Box& twips, int dpi) noexcept
{
    return {ToPixels(twips.left, dpi), ToPixels(twips.top, dpi), ToPixels(twips.width, dpi),
            ToPixels(twips.height, dpi)};
}

// The title bar's text, and the face and weight of every line (Arial bold; where Arial is missing
// the font mapper picks another sans-serif face).
inline constexpr wchar_t kWindowTitle[] = L"Ombrix Support Files";
inline constexpr wchar_t kLineFace[] = L"Arial";
inline constexpr int kLineWeight = 700; // FW_BOLD

inline constexpr int kClientWidthTwips = 6195;
inline constexpr int kClientHeightTwips = 2460;

struct Rgb {
    std::uint8_t red = 0;
    std::uint8_t green = 0;
    std::uint8_t blue = 0;
    friend constexpr bool operator==(const Rgb&, const Rgb&) = default;
};

inline constexpr Rgb kWindowBackground{224, 224, 224};
inline constexpr Rgb kPanelBackground{255, 255, 255};

// The panel Frame2, relative to the window.
inline constexpr Box kPanelTwips{0, 0, 3450, 1800};
// Image1, relative to the window.
inline constexpr Box kPictureTwips{3705, 0, 2265, 1440};

enum class Container { Window, Panel };

// One member of the control array lab1.
struct Line {
    int member = 0;
    Container container = Container::Window;
    Box twips;
    int quarterPoints = 0;
    bool italic = false;
    Rgb colour;
    // Null for the package line, whose text arrives at run time.
    const wchar_t* text = nullptr;
};

inline constexpr Rgb kPanelTextColour{102, 51, 102};
inline constexpr Rgb kPackageColour{0, 0, 255};

inline constexpr std::array<Line, 4> kLines{{
    {1, Container::Panel, {435, 100, 2505, 650}, 111, true, kPanelTextColour, L"Ombrix"},
    {0, Container::Panel, {195, 950, 3015, 315}, 48, true, kPanelTextColour, L"by Quennaby"},
    // The trailing space is part of the line and shifts it half a space left when centred.
    {5, Container::Panel, {210, 1400, 3015, 375}, 48, false, kPanelTextColour, L"Support File Installation "},
    {2, Container::Window, {0, 2000, 6100, 375}, 48, false, kPackageColour, nullptr},
}};

// The whole window laid out in pixels at one DPI, every box relative to the client area.
struct WindowLayout {
    int dpi = kDesignDpi;
    int clientWidth = 0;
    int clientHeight = 0;
    Box panel;
    Box picture;
    std::array<Box, kLines.size()> lines{};
    std::array<int, kLines.size()> fontHeights{};
};

constexpr WindowLayout LayoutAt(int dpi) noexcept
{
    WindowLayout result;
    result.dpi = dpi;
    result.clientWidth = ToPixels(kClientWidthTwips, dpi);
    result.clientHeight = ToPixels(kClientHeightTwips, dpi);
    result.panel = ToPixels(kPanelTwips, dpi);
    result.picture = ToPixels(kPictureTwips, dpi);
    for (std::size_t i = 0; i < kLines.size(); ++i) {
        Box box = ToPixels(kLines[i].twips, dpi);
        // A panel's children are placed in the panel's own pixels, so the panel's rounded
        // position carries over to them rather than being rounded a second time.
        if (kLines[i].container == Container::Panel) {
            box.left += result.panel.left;
            box.top += result.panel.top;
        }
        result.lines[i] = box;
        result.fontHeights[i] = FontPixels(kLines[i].quarterPoints, dpi);
    }
    return result;
}

// Where a line of the given width starts so that it stands centred in its box; a line wider
// than its box is centred too and loses both ends to the box's edges.
constexpr int CentredLeft(const Box& box, int textWidth) noexcept
{
    const int slack = box.width - textWidth;
    // Floor division, so an odd leftover pixel goes to the right for negative slack as well.
    return box.left + (slack >= 0 ? slack / 2 : -((-slack + 1) / 2));
}

} // namespace tazel::layout
