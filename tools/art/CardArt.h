#pragma once
// The Tazel Deck pictures, drawn from vectors at whatever size they are wanted.

#include <cairo.h>

namespace tazel::art {

inline constexpr int kCardCount = 10;

// Corner radius of a card `width` pixels wide; shared by the art and the corner key.
double CardCornerRadius(double width);

// Card `index` (0..kCardCount-1) filling the rectangle (0, 0)-(width, height) in user
// space, edge to edge and fully opaque. Frame lines snap to whole user units, so draw
// with an identity transform (or a plain translation) for the crispest result.
void DrawCard(cairo_t* cr, int index, double width, double height);

// The installer window's picture: a fanned hand of cards on the window's own grey.
void DrawWindowPicture(cairo_t* cr, int width, int height);

// The program icon: a small fan of two cards on a dark tile.
void DrawIcon(cairo_t* cr, int size);

} // namespace tazel::art
