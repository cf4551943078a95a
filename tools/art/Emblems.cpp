#include "Emblems.h"

#include <cmath>

#include "Paint.h"

namespace tazel::art {

namespace {

const Colour kInk = Hex(0x3A1E10); // outline brown: softer than black on every scheme
const Colour kGoldEdge = Hex(0x8A5A14);

void Outline(cairo_t* cr, Colour c, double width)
{
    SetColour(cr, c);
    cairo_set_line_width(cr, width);
    cairo_set_line_join(cr, CAIRO_LINE_JOIN_ROUND);
    cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
    cairo_stroke(cr);
}

// A star whose points are split down the middle into a lit and a shaded half,
// which reads as a bevel even at a dozen pixels across.
void FacetedStar(cairo_t* cr, int points, double outer, double inner, double rotation, Colour lit, Colour shaded,
                 Colour edge, double edgeWidth)
{
    const double step = 2 * kPi / points;
    for (int k = 0; k < points; ++k) {
        const double a = rotation + k * step;
        const double tipX = outer * std::cos(a), tipY = outer * std::sin(a);
        for (int side = -1; side <= 1; side += 2) {
            const double b = a + side * step / 2;
            cairo_move_to(cr, 0, 0);
            cairo_line_to(cr, tipX, tipY);
            cairo_line_to(cr, inner * std::cos(b), inner * std::sin(b));
            cairo_close_path(cr);
            SetColour(cr, side < 0 ? lit : shaded);
            cairo_fill(cr);
        }
    }
    for (int k = 0; k < points; ++k) {
        const double a = rotation + k * step;
        const double b = a + step / 2;
        if (k == 0)
            cairo_move_to(cr, outer * std::cos(a), outer * std::sin(a));
        else
            cairo_line_to(cr, outer * std::cos(a), outer * std::sin(a));
        cairo_line_to(cr, inner * std::cos(b), inner * std::sin(b));
    }
    cairo_close_path(cr);
    Outline(cr, edge, edgeWidth);
}

void LeafPath(cairo_t* cr, double length, double width)
{
    cairo_move_to(cr, 0, -length);
    cairo_curve_to(cr, width, -length * 0.6, width, length * 0.45, 0, length * 0.75);
    cairo_curve_to(cr, -width, length * 0.45, -width, -length * 0.6, 0, -length);
    cairo_close_path(cr);
}

void PaintLeaf(cairo_t* cr, double length, double width, Colour light, Colour dark)
{
    LeafPath(cr, length, width);
    SetLinear(cr, -width, -length, width, length * 0.5, {{0.0, light}, {1.0, dark}});
    cairo_fill_preserve(cr);
    Outline(cr, Mix(dark, Hex(0x000000), 0.45), 0.035);
    // Midrib and veins, pale against the blade; clipped, since the veins near the tip
    // would otherwise poke out past the edge.
    cairo_save(cr);
    LeafPath(cr, length, width);
    cairo_clip(cr);
    cairo_move_to(cr, 0, -length * 0.9);
    cairo_curve_to(cr, width * 0.08, -length * 0.3, width * 0.05, length * 0.3, 0, length * 0.75);
    for (int k = 0; k < 4; ++k) {
        const double y = -length * 0.55 + k * length * 0.3;
        for (int side = -1; side <= 1; side += 2) {
            cairo_move_to(cr, 0, y);
            cairo_curve_to(cr, side * width * 0.25, y - length * 0.08, side * width * 0.45, y - length * 0.18,
                           side * width * 0.55, y - length * 0.3);
        }
    }
    SetColour(cr, Mix(light, Hex(0xFFFFFF), 0.55), 0.85);
    cairo_set_line_width(cr, 0.03);
    cairo_stroke(cr);
    cairo_restore(cr);
}

void FlamePath(cairo_t* cr)
{
    cairo_move_to(cr, 0.1, -1.05);
    cairo_curve_to(cr, 0.0, -0.6, 0.78, -0.42, 0.68, 0.3);
    cairo_curve_to(cr, 0.62, 0.78, 0.32, 0.98, 0.0, 0.98);
    cairo_curve_to(cr, -0.34, 0.98, -0.68, 0.76, -0.68, 0.3);
    cairo_curve_to(cr, -0.68, -0.08, -0.44, -0.2, -0.38, -0.58);
    cairo_curve_to(cr, -0.2, -0.38, -0.16, -0.28, -0.12, -0.44);
    cairo_curve_to(cr, -0.1, -0.7, 0.06, -0.85, 0.1, -1.05);
    cairo_close_path(cr);
}

void Petal(cairo_t* cr, double x, double y, double r, Colour light, Colour dark)
{
    Circle(cr, x, y, r);
    SetRadial(cr, x, y, 0, r, {{0.0, light}, {0.75, Mix(light, dark, 0.6)}, {1.0, dark}}, x * 0.6, y * 0.6);
    cairo_fill_preserve(cr);
    Outline(cr, Hex(0x5E0A1E), 0.03);
}

} // namespace

void DrawSun(cairo_t* cr)
{
    constexpr int kRays = 16;
    constexpr double kBase = 0.46;
    for (int i = 0; i < kRays; ++i) {
        const double a = i * 2 * kPi / kRays - kPi / 2;
        const double length = i % 2 == 0 ? 1.1 : 0.84;
        const double half = kPi / kRays * 0.8;
        cairo_move_to(cr, kBase * std::cos(a - half), kBase * std::sin(a - half));
        cairo_line_to(cr, length * std::cos(a), length * std::sin(a));
        cairo_line_to(cr, kBase * std::cos(a + half), kBase * std::sin(a + half));
        cairo_close_path(cr);
    }
    SetRadial(cr, 0, 0, 0.3, 1.1, {{0.0, Hex(0xFFE98A)}, {0.55, Hex(0xF7B02C)}, {1.0, Hex(0xE4601A)}});
    cairo_fill_preserve(cr);
    Outline(cr, Hex(0x9C3D0E), 0.035);
    // Shade one side of every ray so the rays look folded rather than flat.
    for (int i = 0; i < kRays; ++i) {
        const double a = i * 2 * kPi / kRays - kPi / 2;
        const double length = i % 2 == 0 ? 1.1 : 0.84;
        const double half = kPi / kRays * 0.8;
        cairo_move_to(cr, 0, 0);
        cairo_line_to(cr, length * std::cos(a), length * std::sin(a));
        cairo_line_to(cr, kBase * std::cos(a + half), kBase * std::sin(a + half));
        cairo_close_path(cr);
    }
    SetColour(cr, Hex(0x8A2A00), 0.22);
    cairo_fill(cr);

    Circle(cr, 0, 0, 0.56);
    SetRadial(cr, 0, 0, 0.0, 0.56, {{0.0, Hex(0xFFFBE3)}, {0.45, Hex(0xFFD64D)}, {1.0, Hex(0xF08A1C)}}, -0.18, -0.2);
    cairo_fill_preserve(cr);
    Outline(cr, Hex(0x9C3D0E), 0.045);
    Circle(cr, 0, 0, 0.45);
    SetColour(cr, Hex(0xFFF3C4), 0.6);
    cairo_set_line_width(cr, 0.025);
    cairo_stroke(cr);
}

void DrawMoon(cairo_t* cr)
{
    cairo_save(cr);
    cairo_rotate(cr, -0.35);
    cairo_push_group(cr);
    Circle(cr, -0.1, 0, 0.88);
    SetRadial(cr, -0.1, 0, 0.0, 0.88, {{0.0, Hex(0xFFFFFF)}, {0.55, Hex(0xE6EBF7)}, {1.0, Hex(0xA4B0D2)}}, -0.5, -0.3);
    cairo_fill(cr);
    SetColour(cr, Hex(0x8793BA), 0.5);
    Circle(cr, -0.66, 0.1, 0.1);
    Circle(cr, -0.47, 0.47, 0.065);
    Circle(cr, -0.58, -0.36, 0.055);
    Circle(cr, -0.78, -0.12, 0.04);
    cairo_fill(cr);
    cairo_set_operator(cr, CAIRO_OPERATOR_CLEAR);
    Circle(cr, 0.3, -0.12, 0.72);
    cairo_fill(cr);
    cairo_pop_group_to_source(cr);
    cairo_paint(cr);
    cairo_restore(cr);

    SetColour(cr, Hex(0xFFF6D0));
    Sparkle(cr, 0.42, 0.12, 0.24);
    Sparkle(cr, 0.72, -0.45, 0.13);
    Sparkle(cr, 0.6, 0.62, 0.1);
    cairo_fill(cr);
}

void DrawStar(cairo_t* cr)
{
    // A faint burst behind the star, between its points.
    for (int k = 0; k < 5; ++k) {
        const double a = -kPi / 2 + kPi / 5 + k * 2 * kPi / 5;
        cairo_move_to(cr, 0.1 * std::cos(a - 0.5), 0.1 * std::sin(a - 0.5));
        cairo_line_to(cr, 1.02 * std::cos(a), 1.02 * std::sin(a));
        cairo_line_to(cr, 0.1 * std::cos(a + 0.5), 0.1 * std::sin(a + 0.5));
        cairo_close_path(cr);
    }
    SetColour(cr, Hex(0xE9DDFF), 0.45);
    cairo_fill(cr);
    FacetedStar(cr, 5, 1.05, 0.44, -kPi / 2, Hex(0xFFE680), Hex(0xE0A024), kGoldEdge, 0.04);
    Circle(cr, 0, 0.02, 0.13);
    SetRadial(cr, 0, 0.02, 0, 0.13, {{0.0, Hex(0xFFFFFF)}, {1.0, Hex(0xF4C542)}}, -0.04, -0.02);
    cairo_fill(cr);
    SetColour(cr, Hex(0xFFFFFF));
    Sparkle(cr, 0.78, -0.72, 0.14);
    Sparkle(cr, -0.8, 0.68, 0.1);
    cairo_fill(cr);
}

void DrawCrown(cairo_t* cr)
{
    cairo_move_to(cr, -0.76, 0.42);
    cairo_line_to(cr, -0.92, -0.36);
    cairo_line_to(cr, -0.46, -0.02);
    cairo_line_to(cr, 0.0, -0.66);
    cairo_line_to(cr, 0.46, -0.02);
    cairo_line_to(cr, 0.92, -0.36);
    cairo_line_to(cr, 0.76, 0.42);
    cairo_close_path(cr);
    SetGold(cr, -0.8, -0.7, 0.8, 0.5);
    cairo_fill_preserve(cr);
    Outline(cr, kGoldEdge, 0.04);

    RoundedRect(cr, -0.84, 0.36, 1.68, 0.32, 0.08);
    SetLinear(cr, 0, 0.36, 0, 0.68, {{0.0, Hex(0xF6D774)}, {0.5, Hex(0xC8932E)}, {1.0, Hex(0x9C6A1C)}});
    cairo_fill_preserve(cr);
    Outline(cr, kGoldEdge, 0.04);

    const double pearls[][2] = {{-0.92, -0.36}, {0.0, -0.66}, {0.92, -0.36}};
    for (const auto& p : pearls) {
        Circle(cr, p[0], p[1], 0.12);
        SetRadial(cr, p[0], p[1], 0, 0.12, {{0.0, Hex(0xFFFFFF)}, {1.0, Hex(0xC9C2D6)}}, p[0] - 0.04, p[1] - 0.04);
        cairo_fill_preserve(cr);
        Outline(cr, kGoldEdge, 0.03);
    }
    const struct {
        double X, Y, R;
        Colour Light, Dark;
    } jewels[] = {{0.0, 0.52, 0.1, Hex(0xFF8A9A), Hex(0xB0102C)},
                  {-0.5, 0.52, 0.075, Hex(0x9AD0FF), Hex(0x1A4FB0)},
                  {0.5, 0.52, 0.075, Hex(0x9AD0FF), Hex(0x1A4FB0)},
                  {0.0, 0.08, 0.09, Hex(0xFF8A9A), Hex(0xB0102C)}};
    for (const auto& j : jewels) {
        Circle(cr, j.X, j.Y, j.R);
        SetRadial(cr, j.X, j.Y, 0, j.R, {{0.0, j.Light}, {1.0, j.Dark}}, j.X - j.R * 0.3, j.Y - j.R * 0.3);
        cairo_fill_preserve(cr);
        Outline(cr, kGoldEdge, 0.025);
    }
}

void DrawLeaf(cairo_t* cr)
{
    cairo_save(cr);
    cairo_translate(cr, 0.32, -0.05);
    cairo_rotate(cr, 0.75);
    PaintLeaf(cr, 0.62, 0.36, Hex(0x86C05A), Hex(0x1E5226));
    cairo_restore(cr);

    cairo_save(cr);
    cairo_translate(cr, -0.08, 0.0);
    cairo_rotate(cr, -0.42);
    // The stem runs on below the blade and curls, which makes the sprig read as a leaf
    // rather than a drop.
    cairo_move_to(cr, 0, 0.7);
    cairo_curve_to(cr, 0.02, 0.92, 0.1, 1.04, 0.24, 1.08);
    Outline(cr, Hex(0x5A4A1E), 0.07);
    PaintLeaf(cr, 0.98, 0.56, Hex(0xCFEA8E), Hex(0x2E6B30));
    cairo_restore(cr);
}

void DrawWave(cairo_t* cr)
{
    // Swell rising from the left and breaking over to the right.
    cairo_move_to(cr, -1.1, 0.62);
    cairo_curve_to(cr, -0.95, 0.0, -0.55, -0.78, 0.15, -0.8);
    cairo_curve_to(cr, 0.7, -0.82, 0.98, -0.4, 0.88, -0.05);
    cairo_curve_to(cr, 0.8, 0.22, 0.45, 0.25, 0.36, 0.02);
    cairo_curve_to(cr, 0.3, -0.16, 0.48, -0.3, 0.6, -0.22);
    cairo_curve_to(cr, 0.42, -0.5, -0.05, -0.45, -0.15, -0.05);
    cairo_curve_to(cr, -0.22, 0.25, -0.05, 0.5, 0.1, 0.62);
    cairo_close_path(cr);
    SetLinear(cr, -0.8, -0.8, 0.6, 0.6, {{0.0, Hex(0x7FD6E6)}, {0.5, Hex(0x2A8FB8)}, {1.0, Hex(0x0E4C78)}});
    cairo_fill_preserve(cr);
    Outline(cr, Hex(0x0A2F4C), 0.04);

    // Foam along the crest.
    cairo_move_to(cr, -0.95, 0.2);
    cairo_curve_to(cr, -0.75, -0.45, -0.3, -0.74, 0.18, -0.73);
    cairo_curve_to(cr, 0.62, -0.72, 0.84, -0.4, 0.78, -0.12);
    SetColour(cr, Hex(0xF4FCFF));
    cairo_set_line_width(cr, 0.09);
    cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
    cairo_stroke(cr);
    const double drops[][3] = {{0.98, -0.55, 0.05}, {1.0, -0.3, 0.04}, {0.3, -0.95, 0.045}, {0.6, -0.92, 0.035}};
    for (const auto& d : drops)
        Circle(cr, d[0], d[1], d[2]);
    cairo_fill(cr);

    // Calm water beneath.
    for (int band = 0; band < 3; ++band) {
        const double y = 0.62 + band * 0.17;
        cairo_move_to(cr, -1.0 + band * 0.12, y);
        for (int k = 0; k < 4; ++k) {
            const double x0 = -1.0 + band * 0.12 + k * (2.0 - band * 0.24) / 4;
            const double step = (2.0 - band * 0.24) / 4;
            cairo_curve_to(cr, x0 + step * 0.25, y - 0.07, x0 + step * 0.75, y + 0.07, x0 + step, y);
        }
        SetColour(cr, band == 0 ? Hex(0xD8F3FA) : Hex(0x9FDCEB));
        cairo_set_line_width(cr, 0.07 - band * 0.012);
        cairo_stroke(cr);
    }
}

void DrawFlame(cairo_t* cr)
{
    FlamePath(cr);
    SetLinear(cr, 0, -1.0, 0, 1.0, {{0.0, Hex(0xFF7A1A)}, {0.6, Hex(0xE8401A)}, {1.0, Hex(0xB3200E)}});
    cairo_fill_preserve(cr);
    Outline(cr, Hex(0x6A1206), 0.04);

    cairo_save(cr);
    cairo_translate(cr, 0.0, 0.3);
    cairo_scale(cr, 0.66, 0.66);
    FlamePath(cr);
    SetLinear(cr, 0, -1.0, 0, 1.0, {{0.0, Hex(0xFFC23A)}, {1.0, Hex(0xFF8A1E)}});
    cairo_fill(cr);
    cairo_translate(cr, 0.0, 0.5);
    cairo_scale(cr, 0.55, 0.55);
    FlamePath(cr);
    SetLinear(cr, 0, -1.0, 0, 1.0, {{0.0, Hex(0xFFF7C2)}, {1.0, Hex(0xFFE066)}});
    cairo_fill(cr);
    cairo_restore(cr);

    SetColour(cr, Hex(0xFFD86A));
    Sparkle(cr, 0.72, -0.62, 0.1);
    Sparkle(cr, -0.74, -0.2, 0.08);
    cairo_fill(cr);
}

void DrawKey(cairo_t* cr)
{
    cairo_save(cr);
    cairo_rotate(cr, -0.62);
    // The bow: a ring with three lobes. Stroking the union first and filling over it
    // leaves the outline on the outside only, not where the lobes overlap the ring.
    Circle(cr, 0, -0.56, 0.34);
    for (int k = 0; k < 3; ++k) {
        const double a = -kPi / 2 + (k - 1) * 1.05;
        Circle(cr, 0.34 * std::cos(a), -0.56 + 0.34 * std::sin(a), 0.13);
    }
    SetColour(cr, kGoldEdge);
    cairo_set_line_width(cr, 0.08);
    cairo_stroke_preserve(cr);
    SetGold(cr, -0.4, -1.0, 0.4, -0.2);
    cairo_fill(cr);
    Circle(cr, 0, -0.56, 0.15);
    SetColour(cr, Hex(0x2A1A0C), 0.85);
    cairo_fill_preserve(cr);
    Outline(cr, kGoldEdge, 0.03);

    // Shaft and bit as one outline, with the wards cut into the bit.
    const double blade[][2] = {{-0.07, -0.24}, {-0.07, 0.94}, {0.38, 0.94}, {0.38, 0.85}, {0.14, 0.85},
                               {0.14, 0.8},    {0.38, 0.8},   {0.38, 0.74}, {0.22, 0.74}, {0.22, 0.66},
                               {0.38, 0.66},   {0.38, 0.56},  {0.07, 0.56}, {0.07, -0.24}};
    for (const auto& p : blade)
        cairo_line_to(cr, p[0], p[1]);
    cairo_close_path(cr);
    SetGold(cr, -0.2, -0.2, 0.4, 1.0);
    cairo_fill_preserve(cr);
    Outline(cr, kGoldEdge, 0.035);
    // Collar rings where the shaft meets the bow.
    cairo_rectangle(cr, -0.13, -0.2, 0.26, 0.08);
    cairo_rectangle(cr, -0.12, -0.04, 0.24, 0.06);
    SetGold(cr, -0.13, -0.2, 0.13, 0.02);
    cairo_fill_preserve(cr);
    Outline(cr, kGoldEdge, 0.03);
    cairo_restore(cr);
}

void DrawTower(cairo_t* cr)
{
    // Pennant and pole first so the battlements overlap the pole's foot.
    cairo_move_to(cr, 0, -0.74);
    cairo_line_to(cr, 0, -1.1);
    Outline(cr, Hex(0x4A3A2A), 0.04);
    cairo_move_to(cr, 0.02, -1.1);
    cairo_curve_to(cr, 0.18, -1.06, 0.28, -1.06, 0.42, -1.02);
    cairo_curve_to(cr, 0.28, -0.98, 0.18, -0.94, 0.02, -0.9);
    cairo_close_path(cr);
    SetLinear(cr, 0, -1.1, 0.4, -0.9, {{0.0, Hex(0xF25A5A)}, {1.0, Hex(0xA8142A)}});
    cairo_fill(cr);

    const Stops stone = {{0.0, Hex(0xF2ECDD)}, {0.5, Hex(0xCFC5B0)}, {1.0, Hex(0x8F8571)}};
    // Body, tapering slightly towards the top.
    cairo_move_to(cr, -0.4, 0.96);
    cairo_line_to(cr, -0.32, -0.34);
    cairo_line_to(cr, 0.32, -0.34);
    cairo_line_to(cr, 0.4, 0.96);
    cairo_close_path(cr);
    SetLinear(cr, -0.4, 0, 0.4, 0, stone);
    cairo_fill_preserve(cr);
    Outline(cr, Hex(0x4A4034), 0.035);

    // Gallery on corbels, with four merlons.
    cairo_move_to(cr, -0.32, -0.26);
    cairo_line_to(cr, -0.48, -0.4);
    cairo_line_to(cr, 0.48, -0.4);
    cairo_line_to(cr, 0.32, -0.26);
    cairo_close_path(cr);
    cairo_rectangle(cr, -0.5, -0.56, 1.0, 0.16);
    for (int k = 0; k < 4; ++k)
        cairo_rectangle(cr, -0.5 + k * 0.28, -0.74, 0.16, 0.18);
    SetLinear(cr, -0.5, 0, 0.5, 0, stone);
    cairo_fill_preserve(cr);
    Outline(cr, Hex(0x4A4034), 0.035);

    // Courses of stone.
    for (int row = 0; row < 6; ++row) {
        const double y = -0.12 + row * 0.18;
        const double halfWidth = 0.32 + (y + 0.34) / 1.3 * 0.08;
        cairo_move_to(cr, -halfWidth, y);
        cairo_line_to(cr, halfWidth, y);
        const double offset = row % 2 == 0 ? -0.1 : 0.08;
        cairo_move_to(cr, offset, y);
        cairo_line_to(cr, offset, y + 0.18);
    }
    SetColour(cr, Hex(0x6E6454), 0.45);
    cairo_set_line_width(cr, 0.02);
    cairo_stroke(cr);

    // A lit window and an arched door.
    cairo_move_to(cr, -0.07, 0.08);
    cairo_arc(cr, 0, -0.04, 0.07, kPi, 2 * kPi);
    cairo_line_to(cr, 0.07, 0.08);
    cairo_close_path(cr);
    SetLinear(cr, 0, -0.1, 0, 0.08, {{0.0, Hex(0xFFF2A8)}, {1.0, Hex(0xF0A830)}});
    cairo_fill_preserve(cr);
    Outline(cr, Hex(0x4A4034), 0.03);
    cairo_move_to(cr, -0.15, 0.96);
    cairo_arc(cr, 0, 0.66, 0.15, kPi, 2 * kPi);
    cairo_line_to(cr, 0.15, 0.96);
    cairo_close_path(cr);
    SetLinear(cr, 0, 0.5, 0, 0.96, {{0.0, Hex(0x6A3A1C)}, {1.0, Hex(0x3A1E0C)}});
    cairo_fill_preserve(cr);
    Outline(cr, Hex(0x4A4034), 0.03);
}

void DrawRose(cairo_t* cr)
{
    const Colour leafLight = Hex(0x9CCB6A), leafDark = Hex(0x2C5E2A);
    for (int side = -1; side <= 1; side += 2) {
        cairo_save(cr);
        cairo_translate(cr, side * 0.58, 0.58);
        cairo_rotate(cr, side * 2.2);
        PaintLeaf(cr, 0.38, 0.22, leafLight, leafDark);
        cairo_restore(cr);
    }
    const Colour outerLight = Hex(0xF47A8E), outerDark = Hex(0xA8163A);
    for (int k = 0; k < 5; ++k) {
        const double a = -kPi / 2 + k * 2 * kPi / 5;
        Petal(cr, 0.44 * std::cos(a), 0.44 * std::sin(a) - 0.05, 0.38, outerLight, outerDark);
    }
    const Colour innerLight = Hex(0xFF9AAA), innerDark = Hex(0xC42048);
    for (int k = 0; k < 5; ++k) {
        const double a = -kPi / 2 + kPi / 5 + k * 2 * kPi / 5;
        Petal(cr, 0.24 * std::cos(a), 0.24 * std::sin(a) - 0.05, 0.26, innerLight, innerDark);
    }
    Circle(cr, 0, -0.05, 0.22);
    SetRadial(cr, 0, -0.05, 0, 0.22, {{0.0, Hex(0xFFB8C4)}, {1.0, Hex(0xD42A52)}});
    cairo_fill_preserve(cr);
    Outline(cr, Hex(0x5E0A1E), 0.03);
    // The furled bud at the heart.
    cairo_move_to(cr, 0.12, -0.05);
    cairo_arc(cr, 0.0, -0.05, 0.12, 0, 1.5 * kPi);
    cairo_arc(cr, 0.02, -0.05, 0.07, 1.5 * kPi, 3 * kPi);
    cairo_arc(cr, 0.0, -0.05, 0.03, kPi, 2.2 * kPi);
    Outline(cr, Hex(0x7A0E28), 0.03);
}

} // namespace tazel::art
