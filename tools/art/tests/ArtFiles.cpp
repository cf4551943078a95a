#include "ArtFiles.h"

#include <cmath>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <stdexcept>

#include <jpeglib.h>

namespace tazel::art::test {

std::filesystem::path OutputDir()
{
    return TAZEL_ART_OUTPUT_DIR;
}

Bytes ReadFile(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        throw std::runtime_error("cannot open " + path.string());
    return Bytes(std::istreambuf_iterator<char>(in), {});
}

std::uint32_t Le16(const Bytes& b, std::size_t at)
{
    return b.at(at) | b.at(at + 1) << 8;
}
std::uint32_t Le32(const Bytes& b, std::size_t at)
{
    return Le16(b, at) | Le16(b, at + 2) << 16;
}
std::uint32_t Be16(const Bytes& b, std::size_t at)
{
    return b.at(at) << 8 | b.at(at + 1);
}

namespace {

// 24-bit rows stored bottom row first, each padded to whole 32-bit words.
Picture BottomUpRows(const Bytes& file, std::size_t offset, int width, int height)
{
    Picture p;
    p.Width = width;
    p.Height = height;
    const std::size_t row = (static_cast<std::size_t>(width) * 3 + 3) & ~std::size_t{3};
    p.Pixels.resize(static_cast<std::size_t>(width) * height);
    for (int y = 0; y < height; ++y) {
        const std::size_t start = offset + (height - 1 - y) * row;
        for (int x = 0; x < width; ++x) {
            const std::uint8_t* bgr = &file.at(start + 3 * static_cast<std::size_t>(x));
            p.Pixels[static_cast<std::size_t>(y) * width + x] = {bgr[2], bgr[1], bgr[0]};
        }
    }
    return p;
}

} // namespace

Picture BmpPixels(const Bytes& file)
{
    return BottomUpRows(file, Le32(file, 10), static_cast<int>(Le32(file, 18)), static_cast<int>(Le32(file, 22)));
}

Picture IconPixels(const Bytes& image)
{
    return BottomUpRows(image, Le32(image, 0), static_cast<int>(Le32(image, 4)), static_cast<int>(Le32(image, 8)) / 2);
}

DecodedJpeg DecodeJpeg(const Bytes& file)
{
    jpeg_decompress_struct cinfo{};
    jpeg_error_mgr jerr{};
    cinfo.err = jpeg_std_error(&jerr);
    jpeg_create_decompress(&cinfo);
    jpeg_mem_src(&cinfo, file.data(), static_cast<unsigned long>(file.size()));
    jpeg_read_header(&cinfo, TRUE);

    DecodedJpeg out;
    out.Components = cinfo.num_components;
    out.Progressive = cinfo.progressive_mode;
    for (int c = 0; c < std::min(cinfo.num_components, 3); ++c) {
        out.HSampling[c] = cinfo.comp_info[c].h_samp_factor;
        out.VSampling[c] = cinfo.comp_info[c].v_samp_factor;
    }
    cinfo.out_color_space = JCS_RGB;
    jpeg_start_decompress(&cinfo);
    Picture& p = out.Image;
    p.Width = static_cast<int>(cinfo.output_width);
    p.Height = static_cast<int>(cinfo.output_height);
    p.Pixels.resize(static_cast<std::size_t>(p.Width) * p.Height);
    std::vector<JSAMPLE> row(static_cast<std::size_t>(p.Width) * 3);
    while (cinfo.output_scanline < cinfo.output_height) {
        const int y = static_cast<int>(cinfo.output_scanline);
        JSAMPROW rows[] = {row.data()};
        jpeg_read_scanlines(&cinfo, rows, 1);
        for (int x = 0; x < p.Width; ++x)
            p.Pixels[static_cast<std::size_t>(y) * p.Width + x] = {row[3 * x], row[3 * x + 1], row[3 * x + 2]};
    }
    jpeg_finish_decompress(&cinfo);
    out.Warnings = jerr.num_warnings;
    jpeg_destroy_decompress(&cinfo);
    return out;
}

double MeanDifference(const Picture& a, int ax, int ay, const Picture& b, int bx, int by, int width, int height)
{
    double total = 0;
    long counted = 0;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const Pixel& p = a.At(ax + x, ay + y);
            const Pixel& q = b.At(bx + x, by + y);
            if (p.IsKeyGreen() || q.IsKeyGreen())
                continue;
            total += std::abs(p.R - q.R) + std::abs(p.G - q.G) + std::abs(p.B - q.B);
            counted += 3;
        }
    }
    return counted == 0 ? 0 : total / counted;
}

Picture Resample(const Picture& source, int sx, int sy, int sw, int sh, int width, int height)
{
    Picture out;
    out.Width = width;
    out.Height = height;
    out.Pixels.resize(static_cast<std::size_t>(width) * height);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            // Every source pixel whose centre falls inside this target pixel's footprint.
            const int x0 = sx + (x * sw) / width, x1 = sx + ((x + 1) * sw + width - 1) / width;
            const int y0 = sy + (y * sh) / height, y1 = sy + ((y + 1) * sh + height - 1) / height;
            long r = 0, g = 0, b = 0, n = 0;
            for (int v = y0; v < y1; ++v) {
                for (int u = x0; u < x1; ++u) {
                    const Pixel& p = source.At(u, v);
                    if (p.IsKeyGreen())
                        continue;
                    r += p.R;
                    g += p.G;
                    b += p.B;
                    ++n;
                }
            }
            Pixel& o = out.Pixels[static_cast<std::size_t>(y) * width + x];
            if (n == 0)
                o = {0, 255, 0};
            else
                o = {static_cast<int>(r / n), static_cast<int>(g / n), static_cast<int>(b / n)};
        }
    }
    return out;
}

} // namespace tazel::art::test
