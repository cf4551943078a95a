#include "packer/image/Picture.h"
#include "core/Text.h"

#include "core/Expected.h"
#include <algorithm>
#include <initializer_list>
#include <string_view>

namespace tazel::pack {
namespace {

const std::string kNeeded = "the window's picture is a JPEG or PNG of exactly " + std::to_string(kWindowPictureWidth) +
                            " x " + std::to_string(kWindowPictureHeight) + " pixels, drawn at its own size";

unsigned At(std::span<const std::byte> bytes, std::size_t at)
{
    return std::to_integer<unsigned>(bytes[at]);
}

// JPEG and PNG write their numbers big-endian.
std::uint32_t BigU16(std::span<const std::byte> bytes, std::size_t at)
{
    return At(bytes, at) << 8 | At(bytes, at + 1);
}

std::uint32_t BigU32(std::span<const std::byte> bytes, std::size_t at)
{
    return BigU16(bytes, at) << 16 | BigU16(bytes, at + 2);
}

bool StartsWith(std::span<const std::byte> bytes, std::string_view signature, std::size_t at = 0)
{
    if (bytes.size() < at + signature.size())
        return false;
    for (std::size_t i = 0; i < signature.size(); ++i)
        if (At(bytes, at + i) != static_cast<unsigned char>(signature[i]))
            return false;
    return true;
}

constexpr std::string_view kPngSignature{"\x89PNG\r\n\x1A\n", 8};
constexpr std::string_view kJpegStart = "\xFF\xD8\xFF";

struct Found {
    std::string kind; // "JPEG", "progressive JPEG", "PNG"
    std::uint32_t width = 0;
    std::uint32_t height = 0;
};

using Read = tazel::Expected<Found, std::string>;

std::string Size(std::uint32_t width, std::uint32_t height)
{
    return std::to_string(width) + " x " + std::to_string(height);
}

// The frame header (SOF) gives the size; the kind of frame says whether WIC decodes it. WIC
// decodes Huffman-coded sequential and progressive frames of 8-bit samples, in grey or in colour.
Read FrameOf(std::span<const std::byte> jpeg, unsigned marker, std::size_t at, std::size_t length)
{
    if (length < 8)
        return Unexpected("is a JPEG whose frame header is cut short");
    if (marker == 0xC3 || marker == 0xCB)
        return Unexpected("is a lossless JPEG, which the window cannot draw; " + kNeeded +
                          " (a baseline or progressive JPEG)");
    if (marker >= 0xC5 && marker <= 0xC7)
        return Unexpected("is a hierarchical JPEG, which the window cannot draw; " + kNeeded +
                          " (a baseline or progressive JPEG)");
    if (marker >= 0xC9)
        return Unexpected("is an arithmetic-coded JPEG, which the window cannot draw; " + kNeeded +
                          " (a baseline or progressive JPEG, Huffman-coded)");
    const unsigned precision = At(jpeg, at);
    const std::uint32_t height = BigU16(jpeg, at + 1);
    const std::uint32_t width = BigU16(jpeg, at + 3);
    const unsigned components = At(jpeg, at + 5);
    if (precision != 8)
        return Unexpected("is a JPEG of " + std::to_string(precision) + "-bit samples, which the window cannot draw; " +
                          kNeeded + " (of 8-bit samples)");
    if (components != 1 && components != 3)
        return Unexpected("is a JPEG of " + std::to_string(components) +
                          " colour components (CMYK, or another kind), which the window cannot draw; " + kNeeded +
                          ", in grey or in colour (one or three components)");
    return Found{marker == 0xC2 ? "progressive JPEG" : "JPEG", width, height};
}

// Walks the markers from the start to the frame header, and on to the first scan: a file that
// ends before it holds no picture to draw.
Read ReadJpeg(std::span<const std::byte> jpeg)
{
    std::optional<Found> frame;
    const auto ended = [&frame] {
        return Unexpected(std::string(frame ? "is a JPEG that ends before its first scan"
                                            : "is a JPEG that ends before its frame header"));
    };
    for (std::size_t at = 2;;) {
        if (at >= jpeg.size())
            return ended();
        if (At(jpeg, at) != 0xFF)
            return Unexpected("is a JPEG whose markers are damaged at byte " + std::to_string(at));
        while (at < jpeg.size() && At(jpeg, at) == 0xFF) // fill bytes
            ++at;
        if (at >= jpeg.size())
            return ended();
        const unsigned marker = At(jpeg, at++);
        if (marker == 0x01 || (marker >= 0xD0 && marker <= 0xD7)) // no length of their own
            continue;
        if (marker == 0xD9 || at + 2 > jpeg.size())
            return ended();
        const std::size_t length = BigU16(jpeg, at);
        if (length < 2 || at + length > jpeg.size())
            return Unexpected("is a JPEG whose markers are damaged at byte " + std::to_string(at - 2));
        const bool isFrame = marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
        if (isFrame && !frame) {
            auto found = FrameOf(jpeg, marker, at + 2, length - 2);
            if (!found)
                return found;
            frame = std::move(*found);
        }
        if (marker == 0xDA) {
            if (!frame)
                return Unexpected("is a JPEG whose first scan comes before its frame header");
            return std::move(*frame);
        }
        at += length;
    }
}

} // namespace

bool IsPng(std::span<const std::byte> file)
{
    return StartsWith(file, kPngSignature);
}

// The header chunk (IHDR) comes first; its bit depth and colour type must be of the combinations
// the format defines, each of which WIC decodes.
tazel::Expected<PictureSize, std::string> PngSize(std::span<const std::byte> png)
{
    constexpr std::size_t kHeaderEnd = 8 + 8 + 13 + 4; // signature, length and type, fields, CRC
    if (png.size() < kHeaderEnd)
        return Unexpected("is a PNG cut short before its header (IHDR) ends");
    if (BigU32(png, 8) != 13 || !StartsWith(png, "IHDR", 12))
        return Unexpected("is a PNG whose first chunk is not its 13-byte header (IHDR)");
    const unsigned depth = At(png, 24);
    const unsigned colourType = At(png, 25);
    const auto depthIn = [depth](std::initializer_list<unsigned> depths) {
        return std::find(std::begin(depths), std::end(depths), depth) != depths.end();
    };
    const bool defined = (colourType == 0 && depthIn({1, 2, 4, 8, 16})) || (colourType == 3 && depthIn({1, 2, 4, 8})) ||
                         ((colourType == 2 || colourType == 4 || colourType == 6) && depthIn({8, 16}));
    if (!defined || At(png, 26) != 0 || At(png, 27) != 0 || At(png, 28) > 1)
        return Unexpected("is a PNG whose header (IHDR) is damaged: bit depth " + std::to_string(depth) +
                          ", colour type " + std::to_string(colourType) + ", methods " + std::to_string(At(png, 26)) +
                          ", " + std::to_string(At(png, 27)) + " and " + std::to_string(At(png, 28)));
    return PictureSize{BigU32(png, 16), BigU32(png, 20)};
}

namespace {

Read ReadPng(std::span<const std::byte> png)
{
    const auto size = PngSize(png);
    if (!size)
        return Unexpected(size.error());
    return Found{"PNG", size->width, size->height};
}

} // namespace

std::string KindOfFile(std::span<const std::byte> file)
{
    struct Known {
        std::string_view signature;
        std::size_t at;
        std::string_view kind;
    };
    static constexpr Known kKnown[] = {
        {kPngSignature, 0, "a PNG picture"},   {kJpegStart, 0, "a JPEG picture"}, {"GIF87a", 0, "a GIF picture"},
        {"GIF89a", 0, "a GIF picture"},        {"BM", 0, "a BMP picture"},        {"II*\0", 0, "a TIFF picture"},
        {"MM\0*", 0, "a TIFF picture"},        {"WEBP", 8, "a WebP picture"},     {{"\0\0\1\0", 4}, 0, "an icon file"},
        {{"\0\0\2\0", 4}, 0, "a cursor file"}, {"MZ", 0, "a Windows program"},
    };
    for (const Known& known : kKnown)
        if (StartsWith(file, known.signature, known.at) && (known.at == 0 || StartsWith(file, "RIFF")))
            return std::string(known.kind);
    if (file.empty())
        return "an empty file";
    std::string start = "a file that starts with";
    for (std::size_t i = 0; i < file.size() && i < 4; ++i) {
        start += ' ';
        start += HexDigits(At(file, i), 2, true);
    }
    return start;
}

std::optional<std::string> WindowPictureProblem(std::span<const std::byte> file)
{
    if (!StartsWith(file, kJpegStart) && !IsPng(file))
        return "is " + KindOfFile(file) + ", which the window does not draw; " + kNeeded;
    const Read found = IsPng(file) ? ReadPng(file) : ReadJpeg(file);
    if (!found)
        return found.error();
    if (found->width == kWindowPictureWidth && found->height == kWindowPictureHeight)
        return std::nullopt;
    return "is a " + Size(found->width, found->height) + " " + found->kind + "; " + kNeeded;
}

} // namespace tazel::pack
