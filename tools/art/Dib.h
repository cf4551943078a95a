#pragma once
// Device-independent bitmaps: the card strip files and the program icon resources.

#include <cstdint>

#include "Bytes.h"
#include "Raster.h"

namespace tazel::art {

// Row length of a 24-bit DIB, rounded up to whole 32-bit words.
constexpr std::uint32_t DibRowBytes(int width)
{
    return (static_cast<std::uint32_t>(width) * 3 + 3) & ~3u;
}

// A complete .bmp file (24 bpp, bottom-up, uncompressed) followed by `trailingZeros`
// bytes that lie outside the size its header declares.
Bytes EncodeBmpFile(const RgbImage& image, std::size_t trailingZeros);

// An RT_ICON resource image: header, 24-bit colour rows, then a fully opaque AND mask.
Bytes EncodeIconImage(const RgbImage& image);

// An RT_GROUP_ICON resource naming one icon image stored under `iconId`.
Bytes EncodeIconGroup(const RgbImage& image, std::uint32_t iconImageBytes, std::uint16_t iconId);

// A stand-alone .ico file holding the same single icon image.
Bytes EncodeIcoFile(const RgbImage& image, const Bytes& iconImage);

} // namespace tazel::art
