#pragma once
// Laying the card pictures out into the pictures the host program loads.

#include <array>

#include "Raster.h"

namespace tazel::art {

struct CardSize {
    int Width;
    int Height;
};

// The host program picks one of these strips by the size it displays cards at.
inline constexpr std::array<CardSize, 7> kStripCardSizes{{
    {48, 69},
    {62, 89},
    {77, 111},
    {96, 138},
    {119, 172},
    {143, 206},
    {181, 261},
}};

inline constexpr CardSize kSheetCardSize{181, 261};
inline constexpr int kSheetColumns = 5;
inline constexpr int kSheetRows = 2;

// True for the pixels of a card that lie outside its rounded corners, judged by each
// pixel's centre so the answer is all-or-nothing and mirror-symmetric.
bool IsOutsideCorner(int x, int y, int width, int height);

// One card with the key colour outside its rounded corners.
RgbImage RenderKeyedCard(int index, CardSize size);

// All cards side by side, left to right in deck order, corners keyed.
RgbImage RenderStrip(CardSize size);

// All cards in a grid of kSheetColumns x kSheetRows, square-cornered.
RgbImage RenderSheet();

} // namespace tazel::art
