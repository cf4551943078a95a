#pragma once
// Reading the generated art files back so the tests can check them.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace tazel::art::test {

using Bytes = std::vector<std::uint8_t>;

std::filesystem::path OutputDir();
Bytes ReadFile(const std::filesystem::path& path);
inline Bytes ReadOutput(const std::string& name)
{
    return ReadFile(OutputDir() / name);
}

std::uint32_t Le16(const Bytes& b, std::size_t at);
std::uint32_t Le32(const Bytes& b, std::size_t at);
std::uint32_t Be16(const Bytes& b, std::size_t at);

struct Pixel {
    int R = 0, G = 0, B = 0;
    bool IsKeyGreen() const { return R == 0 && G == 255 && B == 0; }
};

// A decoded picture, top row first.
struct Picture {
    int Width = 0;
    int Height = 0;
    std::vector<Pixel> Pixels;
    const Pixel& At(int x, int y) const { return Pixels[static_cast<std::size_t>(y) * Width + x]; }
};

// The pixels of a bottom-up 24-bit BMP whose header has already been checked.
Picture BmpPixels(const Bytes& file);

// The colour pixels of a 24-bit icon resource image, whose header states twice the real
// height because the opacity mask rows are stacked on top of the colour rows.
Picture IconPixels(const Bytes& image);

struct DecodedJpeg {
    Picture Image;
    int Components = 0;
    bool Progressive = true;
    long Warnings = 0;
    int HSampling[3] = {};
    int VSampling[3] = {};
};

// Decodes with libjpeg exactly as a reader of the stored file would: all of it.
DecodedJpeg DecodeJpeg(const Bytes& file);

// Mean absolute per-channel difference between the `width` x `height` areas at (ax, ay)
// in `a` and (bx, by) in `b`, leaving out pixels that are key green in either.
double MeanDifference(const Picture& a, int ax, int ay, const Picture& b, int bx, int by, int width, int height);

// `source` area-averaged down (or up) to width x height, key-green pixels left out.
Picture Resample(const Picture& source, int sx, int sy, int sw, int sh, int width, int height);

} // namespace tazel::art::test
