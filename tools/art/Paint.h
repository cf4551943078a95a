#pragma once
// Small cairo conveniences shared by the card, window and icon drawings.

#include <initializer_list>
#include <numbers>
#include <utility>

#include <cairo.h>

namespace tazel::art {

inline constexpr double kPi = std::numbers::pi;

struct Colour {
    double R, G, B;
};

constexpr Colour Hex(unsigned rgb)
{
    return {((rgb >> 16) & 0xFF) / 255.0, ((rgb >> 8) & 0xFF) / 255.0, (rgb & 0xFF) / 255.0};
}

constexpr Colour Mix(Colour a, Colour b, double t)
{
    return {a.R + (b.R - a.R) * t, a.G + (b.G - a.G) * t, a.B + (b.B - a.B) * t};
}

using Stops = std::initializer_list<std::pair<double, Colour>>;

inline void SetColour(cairo_t* cr, Colour c, double alpha = 1.0)
{
    cairo_set_source_rgba(cr, c.R, c.G, c.B, alpha);
}

inline void SetLinear(cairo_t* cr, double x0, double y0, double x1, double y1, Stops stops)
{
    cairo_pattern_t* p = cairo_pattern_create_linear(x0, y0, x1, y1);
    for (const auto& [offset, c] : stops)
        cairo_pattern_add_color_stop_rgb(p, offset, c.R, c.G, c.B);
    cairo_set_source(cr, p);
    cairo_pattern_destroy(p);
}

inline void SetRadial(cairo_t* cr, double cx, double cy, double r0, double r1, Stops stops, double fx, double fy)
{
    cairo_pattern_t* p = cairo_pattern_create_radial(fx, fy, r0, cx, cy, r1);
    for (const auto& [offset, c] : stops)
        cairo_pattern_add_color_stop_rgb(p, offset, c.R, c.G, c.B);
    cairo_set_source(cr, p);
    cairo_pattern_destroy(p);
}

inline void SetRadial(cairo_t* cr, double cx, double cy, double r0, double r1, Stops stops)
{
    SetRadial(cr, cx, cy, r0, r1, stops, cx, cy);
}

// Polished gold, lit from the upper left, spread over the given span.
inline void SetGold(cairo_t* cr, double x0, double y0, double x1, double y1)
{
    SetLinear(cr, x0, y0, x1, y1,
              {{0.0, Hex(0xFFF4B8)}, {0.35, Hex(0xE8C35A)}, {0.65, Hex(0xB98A2E)}, {1.0, Hex(0xF0D07A)}});
}

inline void Circle(cairo_t* cr, double x, double y, double r)
{
    cairo_new_sub_path(cr);
    cairo_arc(cr, x, y, r, 0, 2 * kPi);
    cairo_close_path(cr);
}

inline void RoundedRect(cairo_t* cr, double x, double y, double w, double h, double r)
{
    cairo_new_sub_path(cr);
    cairo_arc(cr, x + w - r, y + r, r, -kPi / 2, 0);
    cairo_arc(cr, x + w - r, y + h - r, r, 0, kPi / 2);
    cairo_arc(cr, x + r, y + h - r, r, kPi / 2, kPi);
    cairo_arc(cr, x + r, y + r, r, kPi, 3 * kPi / 2);
    cairo_close_path(cr);
}

// A four-pointed sparkle, the small star used as decoration throughout.
inline void Sparkle(cairo_t* cr, double x, double y, double r)
{
    const double waist = r * 0.28;
    cairo_move_to(cr, x, y - r);
    cairo_curve_to(cr, x + waist * 0.3, y - waist, x + waist, y - waist * 0.3, x + r, y);
    cairo_curve_to(cr, x + waist, y + waist * 0.3, x + waist * 0.3, y + waist, x, y + r);
    cairo_curve_to(cr, x - waist * 0.3, y + waist, x - waist, y + waist * 0.3, x - r, y);
    cairo_curve_to(cr, x - waist, y - waist * 0.3, x - waist * 0.3, y - waist, x, y - r);
    cairo_close_path(cr);
}

} // namespace tazel::art
