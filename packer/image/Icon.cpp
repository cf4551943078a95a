#include "packer/image/Icon.h"

#include <algorithm>
#include <set>
#include <utility>

#include "core/LittleEndian.h"
#include "packer/image/Picture.h"

namespace tazel::pack {
namespace {

constexpr std::size_t kHeaderSize = 6;
constexpr std::size_t kEntrySize = 16;
constexpr std::uint16_t kTypeIconFile = 1;
// BITMAPINFOHEADER: the bitmap header icon images carry.
constexpr std::uint32_t kBitmapHeaderSize = 40;
constexpr std::uint32_t kUncompressed = 0; // BI_RGB

using Verdict = std::optional<std::string>;

std::string Size(std::int64_t width, std::int64_t height)
{
    return std::to_string(width) + " x " + std::to_string(height);
}

// A bitmap's rows are padded to 4 bytes.
std::uint64_t RowBytes(std::uint64_t width, std::uint64_t bitCount)
{
    return (width * bitCount + 31) / 32 * 4;
}

Verdict BitmapProblem(const IconImage& image, const std::string& named)
{
    const std::span<const std::byte> bytes = image.bytes;
    if (bytes.size() < kBitmapHeaderSize || ReadU32(bytes, 0) != kBitmapHeaderSize)
        return named + " is neither a PNG nor a bitmap with the 40-byte header icons use" +
               (bytes.size() < 4 ? std::string(" (it holds " + std::to_string(bytes.size()) + " bytes)")
                                 : " (its first four bytes say " + std::to_string(ReadU32(bytes, 0)) + ")");
    const auto width = static_cast<std::int32_t>(ReadU32(bytes, 4));
    const auto height = static_cast<std::int32_t>(ReadU32(bytes, 8));
    const std::uint16_t planes = ReadU16(bytes, 12);
    const std::uint16_t bitCount = ReadU16(bytes, 14);
    const std::uint32_t compression = ReadU32(bytes, 16);
    const std::uint32_t coloursUsed = ReadU32(bytes, 32);
    // The height counts the picture and, below it, its mask.
    if (width != static_cast<std::int64_t>(image.width) || height != 2 * static_cast<std::int64_t>(image.height))
        return named + "'s bitmap header says " + Size(width, height) + ", which is a picture of " +
               Size(width, height / 2) + " above its mask, but its entry says " + Size(image.width, image.height) +
               " (a header height of " + std::to_string(2 * image.height) + ")";
    if (planes != 1)
        return named + "'s bitmap has " + std::to_string(planes) + " planes; a bitmap has 1";
    constexpr std::uint16_t kBitCounts[] = {1, 4, 8, 16, 24, 32};
    if (std::find(std::begin(kBitCounts), std::end(kBitCounts), bitCount) == std::end(kBitCounts))
        return named + "'s bitmap has " + std::to_string(bitCount) +
               " bits a pixel; icon bitmaps have 1, 4, 8, 16, "
               "24 or 32";
    if (image.bitCount != 0 && image.bitCount != bitCount)
        return named + "'s bitmap has " + std::to_string(bitCount) + " bits a pixel, but its entry says " +
               std::to_string(image.bitCount);
    if (compression != kUncompressed)
        return named + "'s bitmap is compressed (method " + std::to_string(compression) +
               "); icon bitmaps are stored uncompressed";
    const std::uint64_t colours = coloursUsed != 0 ? coloursUsed : bitCount <= 8 ? 1u << bitCount : 0;
    const std::uint64_t needed =
        kBitmapHeaderSize + 4 * colours + image.height * (RowBytes(image.width, bitCount) + RowBytes(image.width, 1));
    if (bytes.size() < needed)
        return named + "'s bitmap needs " + std::to_string(needed) + " bytes for its header, " +
               std::to_string(colours) + " colours, " + Size(image.width, image.height) + " pixels of " +
               std::to_string(bitCount) + " bits and its mask, and its entry gives it " + std::to_string(bytes.size());
    return std::nullopt;
}

Verdict ImageProblem(const IconImage& image, const std::string& named)
{
    if (!IsPng(image.bytes))
        return BitmapProblem(image, named);
    const auto size = PngSize(image.bytes);
    if (!size)
        return named + " " + size.error();
    if (size->width != image.width || size->height != image.height)
        return named + " is a PNG of " + Size(size->width, size->height) + " pixels, but its entry says " +
               Size(image.width, image.height);
    return std::nullopt;
}

// The bits a pixel of an image that ImageProblem passed: a bitmap's header says them; a PNG's
// header (IHDR) gives its bit depth and, by its colour type, the samples a pixel has.
std::uint16_t ImageBitCount(const IconImage& image)
{
    if (!IsPng(image.bytes))
        return ReadU16(image.bytes, 14);
    const unsigned depth = std::to_integer<unsigned>(image.bytes[24]);
    switch (std::to_integer<unsigned>(image.bytes[25])) {
    case 2: // RGB
        return static_cast<std::uint16_t>(3 * depth);
    case 4: // grey and alpha
        return static_cast<std::uint16_t>(2 * depth);
    case 6: // RGB and alpha
        return static_cast<std::uint16_t>(4 * depth);
    default: // grey, or palette indices
        return static_cast<std::uint16_t>(depth);
    }
}

} // namespace

tazel::Expected<std::vector<IconImage>, std::string> ReadIcon(std::span<const std::byte> file)
{
    if (file.size() < kHeaderSize)
        return Unexpected("is not an icon file: it holds " + std::to_string(file.size()) +
                          " bytes, fewer than an icon file's 6-byte header");
    if (ReadU16(file, 0) != 0 || ReadU16(file, 2) != kTypeIconFile)
        return Unexpected("is not an icon file but " + KindOfFile(file) + "; an icon file starts with 00 00 01 00");
    const std::size_t count = ReadU16(file, 4);
    if (count == 0)
        return Unexpected("holds no images; an icon needs a 32 x 32 one");
    if (count > kMostIconImages)
        return Unexpected("holds " + std::to_string(count) + " images; an installer carries at most " +
                          std::to_string(kMostIconImages) + " (its icon resources are numbered " +
                          std::to_string(kFirstIconImageId) + " to 65535)");
    const std::size_t tableEnd = kHeaderSize + kEntrySize * count;
    if (file.size() < tableEnd)
        return Unexpected("is cut short: its header counts " + std::to_string(count) + " images, whose entries " +
                          "end at byte " + std::to_string(tableEnd) + ", and the file holds " +
                          std::to_string(file.size()));

    std::vector<IconImage> images;
    for (std::size_t i = 0; i < count; ++i) {
        const std::size_t entry = kHeaderSize + kEntrySize * i;
        const auto side = [](unsigned stored) { return stored == 0 ? 256u : stored; };
        IconImage image;
        image.width = side(std::to_integer<unsigned>(file[entry]));
        image.height = side(std::to_integer<unsigned>(file[entry + 1]));
        image.colours = std::to_integer<std::uint8_t>(file[entry + 2]);
        image.planes = ReadU16(file, entry + 4);
        image.bitCount = ReadU16(file, entry + 6);
        const std::uint64_t size = ReadU32(file, entry + 8);
        const std::uint64_t offset = ReadU32(file, entry + 12);
        const std::string named = "image " + std::to_string(i + 1) + " (" + Size(image.width, image.height) + ")";
        if (size == 0)
            return Unexpected(named + " is empty: its entry gives it no bytes");
        if (offset < tableEnd)
            return Unexpected(named + " starts at byte " + std::to_string(offset) +
                              ", inside the icon's header and entries, which end at byte " + std::to_string(tableEnd));
        if (offset + size > file.size())
            return Unexpected(named + " lies beyond the end of the file: its entry puts it at bytes " +
                              std::to_string(offset) + " to " + std::to_string(offset + size) +
                              ", and the file holds " + std::to_string(file.size()));
        image.bytes = file.subspan(static_cast<std::size_t>(offset), static_cast<std::size_t>(size));
        if (auto problem = ImageProblem(image, named))
            return Unexpected(std::move(*problem));
        // Windows and Wine choose among images of one size by the group's bit count: a true-colour
        // image recorded with 0 would lose to an 8-bit one.
        if (image.bitCount == 0)
            image.bitCount = ImageBitCount(image);
        images.push_back(image);
    }

    const auto is32 = [](const IconImage& image) { return image.width == 32 && image.height == 32; };
    if (std::none_of(std::begin(images), std::end(images), is32)) {
        // Each size once, in the file's order; looked up in a set, as an icon may hold thousands.
        std::vector<std::string> sizes;
        std::set<std::pair<std::uint32_t, std::uint32_t>> seen;
        for (const IconImage& image : images)
            if (seen.emplace(image.width, image.height).second)
                sizes.push_back(Size(image.width, image.height));
        std::string listed;
        for (std::size_t i = 0; i < sizes.size(); ++i)
            listed += (i == 0 ? "" : i + 1 == sizes.size() ? " and " : ", ") + sizes[i];
        return Unexpected("holds no 32 x 32 image, only " + listed +
                          "; Windows shows the 32 x 32 one at the usual screen scale, in Explorer and on the "
                          "installer's window, so an icon needs it");
    }
    return images;
}

std::vector<std::byte> IconGroup(std::span<const IconImage> images, std::uint16_t firstId)
{
    std::vector<std::byte> group;
    AppendU16(group, 0);
    AppendU16(group, kTypeIconFile);
    AppendU16(group, static_cast<std::uint16_t>(images.size()));
    for (std::size_t i = 0; i < images.size(); ++i) {
        const IconImage& image = images[i];
        group.push_back(static_cast<std::byte>(image.width & 0xFF)); // 256 is written 0
        group.push_back(static_cast<std::byte>(image.height & 0xFF));
        group.push_back(static_cast<std::byte>(image.colours));
        group.push_back(std::byte{0});
        // As the resource compiler fills what the file's entry leaves zero.
        AppendU16(group, image.planes != 0 ? image.planes : 1);
        AppendU16(group, image.bitCount);
        AppendU32(group, static_cast<std::uint32_t>(image.bytes.size()));
        AppendU16(group, static_cast<std::uint16_t>(firstId + i));
    }
    return group;
}

} // namespace tazel::pack
