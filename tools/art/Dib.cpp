#include "Dib.h"

#include <stdexcept>

namespace tazel::art {

namespace {

constexpr std::uint32_t kFileHeaderBytes = 14;
constexpr std::uint32_t kInfoHeaderBytes = 40;
constexpr std::uint32_t kPixelsPerMetre = 2835; // 72 dpi; nothing reads it, so any fixed value will do

void PutInfoHeader(Bytes& out, int width, int height, std::uint32_t imageBytes)
{
    AppendU32(out, kInfoHeaderBytes);
    AppendU32(out, static_cast<std::uint32_t>(width));
    AppendU32(out, static_cast<std::uint32_t>(height)); // positive: rows run bottom-up
    AppendU16(out, 1);                                  // planes
    AppendU16(out, 24);                                 // bits per pixel
    AppendU32(out, 0);                                  // BI_RGB
    AppendU32(out, imageBytes);
    AppendU32(out, kPixelsPerMetre);
    AppendU32(out, kPixelsPerMetre);
    AppendU32(out, 0); // colours used: none, there is no palette
    AppendU32(out, 0); // colours important
}

void PutPixelRows(Bytes& out, const RgbImage& image)
{
    const std::uint32_t padding = DibRowBytes(image.Width) - 3u * image.Width;
    for (int y = image.Height - 1; y >= 0; --y) {
        for (int x = 0; x < image.Width; ++x) {
            const Rgb8& c = image.At(x, y);
            out.push_back(c.B);
            out.push_back(c.G);
            out.push_back(c.R);
        }
        PutZeros(out, padding);
    }
}

std::uint32_t MaskRowBytes(int width)
{
    return ((static_cast<std::uint32_t>(width) + 31) / 32) * 4;
}

std::uint8_t IconDimension(int pixels)
{
    // A directory entry stores 256 as 0; anything larger cannot be described at all.
    if (pixels <= 0 || pixels > 256)
        throw std::invalid_argument("icon dimension out of range");
    return static_cast<std::uint8_t>(pixels & 0xFF);
}

} // namespace

Bytes EncodeBmpFile(const RgbImage& image, std::size_t trailingZeros)
{
    const std::uint32_t pixelBytes = DibRowBytes(image.Width) * image.Height;
    const std::uint32_t offset = kFileHeaderBytes + kInfoHeaderBytes;
    Bytes out;
    out.reserve(offset + pixelBytes + trailingZeros);
    out.push_back('B');
    out.push_back('M');
    AppendU32(out, offset + pixelBytes);
    AppendU32(out, 0); // reserved
    AppendU32(out, offset);
    PutInfoHeader(out, image.Width, image.Height, pixelBytes);
    PutPixelRows(out, image);
    PutZeros(out, trailingZeros);
    return out;
}

Bytes EncodeIconImage(const RgbImage& image)
{
    const std::uint32_t colourBytes = DibRowBytes(image.Width) * image.Height;
    const std::uint32_t maskBytes = MaskRowBytes(image.Width) * image.Height;
    Bytes out;
    // Icon DIBs declare twice the real height: colour rows and mask rows stacked.
    PutInfoHeader(out, image.Width, image.Height * 2, colourBytes + maskBytes);
    PutPixelRows(out, image);
    PutZeros(out, maskBytes); // AND mask of zeros: every pixel opaque
    return out;
}

Bytes EncodeIconGroup(const RgbImage& image, std::uint32_t iconImageBytes, std::uint16_t iconId)
{
    Bytes out;
    AppendU16(out, 0); // reserved
    AppendU16(out, 1); // type: icon
    AppendU16(out, 1); // one entry
    PutU8(out, IconDimension(image.Width));
    PutU8(out, IconDimension(image.Height));
    PutU8(out, 0);      // colour count: 0 for true colour
    PutU8(out, 0);      // reserved
    AppendU16(out, 1);  // planes
    AppendU16(out, 24); // bits per pixel
    AppendU32(out, iconImageBytes);
    AppendU16(out, iconId);
    return out;
}

Bytes EncodeIcoFile(const RgbImage& image, const Bytes& iconImage)
{
    constexpr std::uint32_t kDirectoryBytes = 6 + 16;
    Bytes out;
    AppendU16(out, 0);
    AppendU16(out, 1);
    AppendU16(out, 1);
    PutU8(out, IconDimension(image.Width));
    PutU8(out, IconDimension(image.Height));
    PutU8(out, 0);
    PutU8(out, 0);
    AppendU16(out, 1);
    AppendU16(out, 24);
    AppendU32(out, static_cast<std::uint32_t>(iconImage.size()));
    AppendU32(out, kDirectoryBytes); // the image follows the directory directly
    out.insert(out.end(), iconImage.begin(), iconImage.end());
    return out;
}

} // namespace tazel::art
