#include "Jpeg.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>
#include <string_view>

#include <jpeglib.h>

namespace tazel::art {

namespace {

constexpr std::uint8_t kMarker = 0xFF;
constexpr std::uint8_t kApp0 = 0xE0;
constexpr std::uint8_t kCom = 0xFE;
// A segment length counts its own two length bytes, so the payload tops out below 65535.
constexpr std::size_t kMaxComPayload = 65533;
constexpr std::size_t kComOverhead = 4; // marker + length
constexpr std::string_view kCommentTag = "Tazel Deck";
// Past this the files grow much faster than the pictures improve.
constexpr int kBestQuality = 95;

// The end of the APP0 segment that libjpeg writes directly after SOI.
std::size_t EndOfApp0(const Bytes& jpeg)
{
    if (jpeg.size() < 6 || jpeg[0] != kMarker || jpeg[1] != 0xD8 || jpeg[2] != kMarker || jpeg[3] != kApp0)
        throw std::runtime_error("encoder output does not start with SOI and APP0");
    return 4 + (std::size_t{jpeg[4]} << 8 | jpeg[5]);
}

} // namespace

Bytes EncodeJpeg(const RgbImage& image, int quality, ChromaSampling sampling)
{
    jpeg_compress_struct cinfo{};
    jpeg_error_mgr jerr{};
    cinfo.err = jpeg_std_error(&jerr);
    jpeg_create_compress(&cinfo);

    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&cinfo, &buffer, &size);

    cinfo.image_width = static_cast<JDIMENSION>(image.Width);
    cinfo.image_height = static_cast<JDIMENSION>(image.Height);
    cinfo.input_components = 3;
    cinfo.in_color_space = JCS_RGB;
    jpeg_set_defaults(&cinfo);
    jpeg_set_colorspace(&cinfo, JCS_YCbCr);
    jpeg_set_quality(&cinfo, quality, TRUE);
    // Pin everything a library default could change, so the bytes stay put.
    cinfo.dct_method = JDCT_ISLOW;
    cinfo.optimize_coding = FALSE;
    cinfo.write_JFIF_header = TRUE;
    cinfo.JFIF_major_version = 1;
    cinfo.JFIF_minor_version = 1;
    cinfo.density_unit = 0;
    cinfo.X_density = 1;
    cinfo.Y_density = 1;
    const int luma = sampling == ChromaSampling::Halved ? 2 : 1;
    cinfo.comp_info[0].h_samp_factor = luma;
    cinfo.comp_info[0].v_samp_factor = luma;
    for (int c = 1; c < 3; ++c) {
        cinfo.comp_info[c].h_samp_factor = 1;
        cinfo.comp_info[c].v_samp_factor = 1;
    }

    jpeg_start_compress(&cinfo, TRUE);
    while (cinfo.next_scanline < cinfo.image_height) {
        // Rgb8 is three packed bytes, exactly the JCS_RGB scanline layout.
        static_assert(sizeof(Rgb8) == 3);
        auto* row = reinterpret_cast<JSAMPLE*>(const_cast<Rgb8*>(&image.At(0, static_cast<int>(cinfo.next_scanline))));
        jpeg_write_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);

    Bytes out(buffer, buffer + size);
    std::free(buffer);
    return out;
}

std::optional<Bytes> PadJpeg(const Bytes& jpeg, std::size_t length)
{
    if (length < jpeg.size())
        return std::nullopt;
    const std::size_t extra = length - jpeg.size();
    const std::size_t maxSegment = kMaxComPayload + kComOverhead;
    const std::size_t segments = (extra + maxSegment - 1) / maxSegment;
    if (extra < segments * kComOverhead)
        return std::nullopt;

    const std::size_t insertAt = EndOfApp0(jpeg);
    Bytes out(jpeg.begin(), jpeg.begin() + static_cast<std::ptrdiff_t>(insertAt));
    // Spread the payload evenly so no segment runs over the limit.
    const std::size_t payload = extra - segments * kComOverhead;
    for (std::size_t i = 0; i < segments; ++i) {
        const std::size_t part = payload / segments + (i < payload % segments ? 1 : 0);
        out.push_back(kMarker);
        out.push_back(kCom);
        PutU8(out, (part + 2) >> 8);
        PutU8(out, part + 2);
        const std::size_t tag = i == 0 ? std::min(part, kCommentTag.size()) : 0;
        out.insert(out.end(), kCommentTag.begin(), kCommentTag.begin() + static_cast<std::ptrdiff_t>(tag));
        PutZeros(out, part - tag);
    }
    out.insert(out.end(), jpeg.begin() + static_cast<std::ptrdiff_t>(insertAt), jpeg.end());
    return out;
}

Bytes EncodeJpegOfLength(const RgbImage& image, std::size_t length, ChromaSampling sampling)
{
    for (int quality = kBestQuality; quality >= 1; --quality) {
        if (auto padded = PadJpeg(EncodeJpeg(image, quality, sampling), length))
            return std::move(*padded);
    }
    throw std::runtime_error("picture does not fit the required length at any quality");
}

} // namespace tazel::art
