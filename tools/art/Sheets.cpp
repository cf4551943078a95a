#include "Sheets.h"

#include <algorithm>
#include <cmath>

#include "CardArt.h"

namespace tazel::art {

namespace {

RgbImage RenderCard(int index, CardSize size)
{
    return Render(size.Width, size.Height, [&](cairo_t* cr) { DrawCard(cr, index, size.Width, size.Height); });
}

} // namespace

bool IsOutsideCorner(int x, int y, int width, int height)
{
    const double radius = CardCornerRadius(width);
    // Fold every corner onto the top-left one.
    const double px = std::min(x, width - 1 - x) + 0.5;
    const double py = std::min(y, height - 1 - y) + 0.5;
    if (px >= radius || py >= radius)
        return false;
    return std::hypot(radius - px, radius - py) > radius;
}

RgbImage RenderKeyedCard(int index, CardSize size)
{
    // The card is drawn opaque to its square edges and the corners are then overwritten
    // whole, so no pixel along the curve ever mixes key green into card colour.
    RgbImage card = RenderCard(index, size);
    for (int y = 0; y < size.Height; ++y)
        for (int x = 0; x < size.Width; ++x)
            if (IsOutsideCorner(x, y, size.Width, size.Height))
                card.At(x, y) = kKeyGreen;
    return card;
}

RgbImage RenderStrip(CardSize size)
{
    RgbImage strip(size.Width * kCardCount, size.Height);
    for (int i = 0; i < kCardCount; ++i)
        strip.Blit(RenderKeyedCard(i, size), i * size.Width, 0);
    return strip;
}

RgbImage RenderSheet()
{
    const CardSize size = kSheetCardSize;
    RgbImage sheet(size.Width * kSheetColumns, size.Height * kSheetRows);
    for (int i = 0; i < kCardCount; ++i)
        sheet.Blit(RenderCard(i, size), (i % kSheetColumns) * size.Width, (i / kSheetColumns) * size.Height);
    return sheet;
}

} // namespace tazel::art
