#pragma once
// The ten card emblems. Each draws around the origin and fits a circle of radius 1.1,
// so the caller decides size and position with the transform alone.

#include <cairo.h>

namespace tazel::art {

void DrawSun(cairo_t* cr);
void DrawMoon(cairo_t* cr);
void DrawStar(cairo_t* cr);
void DrawCrown(cairo_t* cr);
void DrawLeaf(cairo_t* cr);
void DrawWave(cairo_t* cr);
void DrawFlame(cairo_t* cr);
void DrawKey(cairo_t* cr);
void DrawTower(cairo_t* cr);
void DrawRose(cairo_t* cr);

} // namespace tazel::art
