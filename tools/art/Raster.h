#pragma once
// An opaque RGB picture in memory, and the bridge from cairo drawing code to it.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

#include <cairo.h>

namespace tazel::art {

struct Rgb8 {
    std::uint8_t R = 0;
    std::uint8_t G = 0;
    std::uint8_t B = 0;
    friend bool operator==(const Rgb8&, const Rgb8&) = default;
};

// The colour key the host program treats as "no card here". Art must never produce it.
inline constexpr Rgb8 kKeyGreen{0, 255, 0};

struct RgbImage {
    int Width = 0;
    int Height = 0;
    std::vector<Rgb8> Pixels; // row-major, top row first

    RgbImage() = default;
    RgbImage(int width, int height);

    Rgb8& At(int x, int y) { return Pixels[static_cast<std::size_t>(y) * Width + x]; }
    const Rgb8& At(int x, int y) const { return Pixels[static_cast<std::size_t>(y) * Width + x]; }

    // Copies `source` so that its top-left pixel lands on (x, y); it must fit entirely.
    void Blit(const RgbImage& source, int x, int y);
};

// Runs `draw` on a fresh opaque cairo surface of the given size and returns the pixels.
// Any pixel that happens to come out as the key colour is nudged off it.
RgbImage Render(int width, int height, const std::function<void(cairo_t*)>& draw);

} // namespace tazel::art
