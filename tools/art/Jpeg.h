#pragma once
// Baseline JFIF encoding, and padding a stream out to a length fixed in advance.

#include <cstddef>
#include <optional>

#include "Bytes.h"
#include "Raster.h"

namespace tazel::art {

enum class ChromaSampling {
    Full,   // 4:4:4, every component at full resolution
    Halved, // 4:2:0, Cb and Cr at half resolution both ways
};

// A baseline (sequential, Huffman) JFIF 1.01 stream with three components.
Bytes EncodeJpeg(const RgbImage& image, int quality, ChromaSampling sampling);

// Grows `jpeg` to exactly `length` bytes with comment segments placed straight after the
// JFIF APP0 header. Empty when that length cannot be reached: shorter than the stream,
// or one to three bytes longer (a comment segment is never under four bytes).
std::optional<Bytes> PadJpeg(const Bytes& jpeg, std::size_t length);

// The best-looking stream that can be padded to exactly `length` bytes.
Bytes EncodeJpegOfLength(const RgbImage& image, std::size_t length, ChromaSampling sampling);

} // namespace tazel::art
