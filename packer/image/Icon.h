#pragma once
// A publisher's icon file (.ico) and the resources made of it, as the resource compiler makes them
// from an ICON statement: each image its own icon resource, numbered on from the first, and one
// group resource listing them, by which Windows picks the size it shows.

#include "core/Expected.h"
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "resources/ResourceIds.h"

namespace tazel::pack {

struct IconImage {
    std::uint32_t width = 0; // 1 to 256
    std::uint32_t height = 0;
    // As the file's entry gives them, but a bit count of 0 is the image's own; the group carries
    // them on for Windows' choice of image.
    std::uint8_t colours = 0;
    std::uint16_t planes = 0;
    std::uint16_t bitCount = 0;
    std::span<const std::byte> bytes; // a PNG, or a bitmap's header, colours, pixels and mask
};

// The images of an icon file, in the file's order, each checked against its entry: a PNG by its
// header, a bitmap by its header and by the bytes its pixels and mask take. Refused with what was
// found and what is needed, to follow the icon's name ("holds no 32 x 32 image ..."): anything
// but an icon file, and an icon without a 32 x 32 image, which Windows shows at 96 DPI.
[[nodiscard]] tazel::Expected<std::vector<IconImage>, std::string> ReadIcon(std::span<const std::byte> file);

// The group resource for `images`, their icon resources numbered from `firstId` in their order.
[[nodiscard]] std::vector<std::byte> IconGroup(std::span<const IconImage> images, std::uint16_t firstId);

// The icon resources' numbers run from the product's one image's; the last is 65535.
inline constexpr std::uint16_t kFirstIconImageId = IDI_TAZEL_IMAGE;
inline constexpr std::size_t kMostIconImages = 65535 - kFirstIconImageId + 1;

} // namespace tazel::pack
