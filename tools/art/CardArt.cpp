#include "CardArt.h"

#include <algorithm>
#include <array>
#include <cmath>

#include "Emblems.h"
#include "Paint.h"

namespace tazel::art {

namespace {

// Every card shares the midnight rim and gold frame; the panel behind the medallion
// carries each card's own colours.
const Colour kRim = Hex(0x1B1E3C);
const Colour kRimEdge = Hex(0x2C3160);

struct Scheme {
    Colour PanelLight;
    Colour PanelDeep;
    Colour DiscLight;
    Colour DiscDeep;
    void (*Emblem)(cairo_t*);
};

const std::array<Scheme, kCardCount> kSchemes{{
    {Hex(0xF9CF6A), Hex(0xB8441A), Hex(0xFFF6DA), Hex(0xF4C98A), DrawSun},
    {Hex(0x4E66B0), Hex(0x141B45), Hex(0x32407E), Hex(0x121A40), DrawMoon},
    {Hex(0x9466D0), Hex(0x2E1458), Hex(0x5E3A9A), Hex(0x26104A), DrawStar},
    {Hex(0xD8404E), Hex(0x4E0A1E), Hex(0xFFF1DA), Hex(0xE8C9A0), DrawCrown},
    {Hex(0x8CC46A), Hex(0x1E4A2A), Hex(0xF6F6DC), Hex(0xD6E2B0), DrawLeaf},
    {Hex(0x48B8CC), Hex(0x0B3452), Hex(0xEAF8FA), Hex(0xB4DCE6), DrawWave},
    {Hex(0xF4963A), Hex(0x64100A), Hex(0x5A1A10), Hex(0x240604), DrawFlame},
    {Hex(0xC9A06A), Hex(0x4A2C14), Hex(0x5C3A22), Hex(0x2A160A), DrawKey},
    {Hex(0x98A8C0), Hex(0x2A3448), Hex(0x9CC0E6), Hex(0x3C5C8C), DrawTower},
    {Hex(0xEC9AB0), Hex(0x6A1232), Hex(0xFFF2F0), Hex(0xF2C8CC), DrawRose},
}};

// Layout is designed on a 100 x 144 card; these are in those units.
constexpr double kDesignWidth = 100.0;
constexpr double kRimWidth = 4.5;
constexpr double kFrameGap = 2.5;
constexpr double kFrameLine = 1.2;
constexpr double kMedallionRadius = 30.0;
constexpr double kPipRadius = 6.5;

// Lines that must stay visible at 48 pixels wide are held to a one-pixel minimum and
// kept on whole pixels, so they stay sharp instead of smearing into two grey rows.
double Snap(double designUnits, double unit)
{
    return std::max(1.0, std::round(designUnits * unit));
}

void PanelRays(cairo_t* cr, double cx, double cy, double reach)
{
    constexpr int kRays = 36;
    for (int i = 0; i < kRays; i += 2) {
        const double a0 = i * 2 * kPi / kRays, a1 = (i + 1) * 2 * kPi / kRays;
        cairo_move_to(cr, cx, cy);
        cairo_line_to(cr, cx + reach * std::cos(a0), cy + reach * std::sin(a0));
        cairo_line_to(cr, cx + reach * std::cos(a1), cy + reach * std::sin(a1));
        cairo_close_path(cr);
    }
    SetColour(cr, Hex(0xFFFFFF), 0.07);
    cairo_fill(cr);
}

void Diamond(cairo_t* cr, double x, double y, double rx, double ry)
{
    cairo_move_to(cr, x, y - ry);
    cairo_line_to(cr, x + rx, y);
    cairo_line_to(cr, x, y + ry);
    cairo_line_to(cr, x - rx, y);
    cairo_close_path(cr);
}

// The emblem on a gold-ringed disc of `radius` user units; the shadows only pay off
// at the size of the main medallion.
void Medallion(cairo_t* cr, const Scheme& scheme, double cx, double cy, double radius, bool shadow)
{
    if (shadow) {
        Circle(cr, cx + radius * 0.03, cy + radius * 0.05, radius * 1.02);
        SetColour(cr, Hex(0x000000), 0.35);
        cairo_fill(cr);
    }
    Circle(cr, cx, cy, radius);
    SetGold(cr, cx - radius, cy - radius, cx + radius, cy + radius);
    cairo_fill(cr);
    const double disc = radius * 0.86;
    Circle(cr, cx, cy, disc);
    SetRadial(cr, cx, cy, 0, disc, {{0.0, scheme.DiscLight}, {1.0, scheme.DiscDeep}}, cx - disc * 0.25,
              cy - disc * 0.3);
    cairo_fill(cr);

    cairo_save(cr);
    Circle(cr, cx, cy, disc);
    cairo_clip(cr);
    cairo_translate(cr, cx, cy);
    cairo_scale(cr, radius * 0.68, radius * 0.68);
    cairo_push_group(cr);
    scheme.Emblem(cr);
    cairo_pattern_t* emblem = cairo_pop_group(cr);
    if (shadow) {
        // A soft offset copy under the emblem lifts it off the disc.
        cairo_save(cr);
        cairo_translate(cr, 0.04, 0.06);
        SetColour(cr, Hex(0x000000), 0.3);
        cairo_mask(cr, emblem);
        cairo_restore(cr);
    }
    cairo_set_source(cr, emblem);
    cairo_paint(cr);
    cairo_pattern_destroy(emblem);
    cairo_restore(cr);

    Circle(cr, cx, cy, disc);
    SetColour(cr, Hex(0x5A3A0A), 0.8);
    cairo_set_line_width(cr, std::max(0.5, radius * 0.025));
    cairo_stroke(cr);
}

} // namespace

// At 48 pixels wide this takes three pixels off each corner: the fewest that still read
// as rounded rather than as a nicked corner.
double CardCornerRadius(double width)
{
    return width * 0.075;
}

void DrawCard(cairo_t* cr, int index, double width, double height)
{
    const Scheme& scheme = kSchemes.at(static_cast<std::size_t>(index));
    const double u = width / kDesignWidth;
    const double cx = width / 2, cy = height / 2;
    cairo_save(cr);

    // Rim, with a faint inner bevel line.
    cairo_rectangle(cr, 0, 0, width, height);
    SetColour(cr, kRim);
    cairo_fill(cr);

    const double rim = Snap(kRimWidth, u);
    const double corner = CardCornerRadius(width);
    const double panelCorner = std::max(1.0, corner - rim * 0.5);
    RoundedRect(cr, rim - 0.5, rim - 0.5, width - 2 * rim + 1, height - 2 * rim + 1, panelCorner + 0.5);
    SetColour(cr, kRimEdge);
    cairo_fill(cr);

    // Panel: the scheme's colour glowing out from the middle, with faint sun rays.
    RoundedRect(cr, rim, rim, width - 2 * rim, height - 2 * rim, panelCorner);
    SetRadial(cr, cx, cy, 0, height * 0.62, {{0.0, scheme.PanelLight}, {1.0, scheme.PanelDeep}});
    cairo_fill_preserve(cr);
    cairo_save(cr);
    cairo_clip(cr);
    PanelRays(cr, cx, cy, height);
    cairo_restore(cr);

    // Gold frame, drawn on whole pixels.
    const double inset = rim + Snap(kFrameGap, u);
    const double line = Snap(kFrameLine, u);
    const double half = line / 2;
    const double frameW = width - 2 * inset, frameH = height - 2 * inset;
    cairo_rectangle(cr, inset + half, inset + half, frameW - line, frameH - line);
    SetGold(cr, 0, 0, width, height);
    cairo_set_line_width(cr, line);
    cairo_set_line_join(cr, CAIRO_LINE_JOIN_MITER);
    cairo_stroke(cr);
    if (u >= 1.2) {
        // Room for a hairline inside the frame once the card is big enough to show it.
        const double inner = inset + line + std::round(1.5 * u) + 0.5;
        cairo_rectangle(cr, inner, inner, width - 2 * inner, height - 2 * inner);
        SetColour(cr, Hex(0xF0D07A), 0.55);
        cairo_set_line_width(cr, 1.0);
        cairo_stroke(cr);
    }

    // Corner ornaments sit on the frame's corners.
    const double orn = std::max(1.5, 3.2 * u);
    const double corners[][2] = {{inset + half, inset + half},
                                 {width - inset - half, inset + half},
                                 {inset + half, height - inset - half},
                                 {width - inset - half, height - inset - half}};
    for (const auto& c : corners)
        Diamond(cr, c[0], c[1], orn, orn);
    SetGold(cr, 0, 0, width, height);
    cairo_fill_preserve(cr);
    SetColour(cr, Hex(0x5A3A0A), 0.9);
    cairo_set_line_width(cr, std::max(0.5, 0.5 * u));
    cairo_stroke(cr);

    // Small diamonds on the centre line, above and below the medallion.
    const double gem = std::max(1.5, 3.0 * u);
    const double gemY = (inset + line + (cy - kMedallionRadius * u)) / 2;
    for (const double y : {gemY, height - gemY}) {
        Diamond(cr, cx, y, gem * 0.8, gem * 1.4);
        Circle(cr, cx - gem * 2.2, y, gem * 0.45);
        Circle(cr, cx + gem * 2.2, y, gem * 0.45);
        // Lit on its own, so the lower row matches the upper one on light panels too.
        SetGold(cr, cx - gem * 2.7, y - gem * 1.4, cx + gem * 2.7, y + gem * 1.4);
        cairo_fill_preserve(cr);
        SetColour(cr, Hex(0x5A3A0A), 0.7);
        cairo_set_line_width(cr, std::max(0.4, 0.35 * u));
        cairo_stroke(cr);
    }

    // Index pips, top left and (upside down) bottom right, as on any playing card.
    const double pip = kPipRadius * u;
    const double pipAt = inset + line + pip + std::max(1.0, 1.5 * u);
    Medallion(cr, scheme, pipAt, pipAt, pip, false);
    cairo_save(cr);
    cairo_translate(cr, width, height);
    cairo_rotate(cr, kPi);
    Medallion(cr, scheme, pipAt, pipAt, pip, false);
    cairo_restore(cr);

    Medallion(cr, scheme, cx, cy, kMedallionRadius * u, true);
    cairo_restore(cr);
}

void DrawWindowPicture(cairo_t* cr, int width, int height)
{
    // The window is #E0E0E0; a soft lighter pool behind the hand keeps the edges
    // identical to the window so the picture has no visible border.
    const Colour window = Hex(0xE0E0E0);
    cairo_rectangle(cr, 0, 0, width, height);
    SetRadial(cr, width / 2.0, height * 0.62, 0, width * 0.5,
              {{0.0, Hex(0xF4F4F4)}, {0.7, Hex(0xE6E6E6)}, {1.0, window}});
    cairo_fill(cr);

    // Sized and pivoted so the whole fan, outer corners included, sits inside the picture.
    constexpr double kCardW = 40, kCardH = 58;
    const double pivotX = width / 2.0, pivotY = height + 30.0;
    constexpr std::array<int, 5> kHand{6, 1, 0, 3, 9};
    constexpr double kSpread = 0.24; // radians between neighbouring cards
    const double reach = pivotY - height * 0.42;

    for (std::size_t i = 0; i < kHand.size(); ++i) {
        const double angle = (static_cast<double>(i) - 2.0) * kSpread;
        cairo_save(cr);
        cairo_translate(cr, pivotX, pivotY);
        cairo_rotate(cr, angle);
        cairo_translate(cr, -kCardW / 2, -reach - kCardH / 2);
        const double r = CardCornerRadius(kCardW);
        // Shadow falls down and to the right, as from the window's own light.
        for (int s = 3; s >= 1; --s) {
            RoundedRect(cr, 0.6 * s, 0.9 * s, kCardW, kCardH, r + s * 0.5);
            SetColour(cr, Hex(0x000000), 0.07);
            cairo_fill(cr);
        }
        RoundedRect(cr, 0, 0, kCardW, kCardH, r);
        cairo_clip(cr);
        DrawCard(cr, kHand[i], kCardW, kCardH);
        cairo_restore(cr);
    }
}

void DrawIcon(cairo_t* cr, int size)
{
    // At 32 pixels the full card layout turns to mush, so the icon uses the same rim,
    // gold and sun but only the parts that survive: a card back behind a sun face.
    const double s = size / 32.0;
    cairo_scale(cr, s, s);
    cairo_rectangle(cr, 0, 0, 32, 32);
    SetRadial(cr, 16, 13, 0, 24, {{0.0, Hex(0x3E4C92)}, {1.0, Hex(0x10132C)}});
    cairo_fill(cr);

    constexpr double kW = 15, kH = 22, kCorner = 1.6;
    const auto place = [&](double x, double y, double angle) {
        cairo_translate(cr, x, y);
        cairo_rotate(cr, angle);
        cairo_translate(cr, -kW / 2, -kH / 2);
        RoundedRect(cr, 0.7, 0.9, kW, kH, kCorner);
        SetColour(cr, Hex(0x000000), 0.4);
        cairo_fill(cr);
        RoundedRect(cr, 0, 0, kW, kH, kCorner);
        SetColour(cr, kRim);
        cairo_fill(cr);
    };

    const auto face = [&](const Scheme& scheme, double emblemRadius) {
        RoundedRect(cr, 1.2, 1.2, kW - 2.4, kH - 2.4, 0.8);
        SetRadial(cr, kW / 2, kH / 2, 0, kH * 0.6, {{0.0, scheme.PanelLight}, {1.0, scheme.PanelDeep}});
        cairo_fill(cr);
        cairo_rectangle(cr, 2.2, 2.2, kW - 4.4, kH - 4.4);
        SetGold(cr, 0, 0, kW, kH);
        cairo_set_line_width(cr, 0.8);
        cairo_stroke(cr);
        cairo_translate(cr, kW / 2, kH / 2);
        cairo_scale(cr, emblemRadius, emblemRadius);
        scheme.Emblem(cr);
    };

    // Sun card behind, star card in front: warm against cool keeps them apart.
    cairo_save(cr);
    place(11.0, 16.5, -0.36);
    face(kSchemes[0], 5.0);
    cairo_restore(cr);
    cairo_save(cr);
    place(20.0, 15.5, 0.2);
    face(kSchemes[2], 6.2);
    cairo_restore(cr);
}

} // namespace tazel::art
