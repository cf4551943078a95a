#pragma once
// The window's picture as a publisher gives it. The window decodes it with WIC and draws it at its
// own size in a box of 151 x 96 pixels at 96 DPI (ui/Picture.cpp, resources/WindowLayout.h), so a picture of
// another size would be cut or leave a gap, and one WIC cannot decode would leave the box empty.

#include "core/Expected.h"
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "resources/WindowLayout.h"

namespace tazel::pack {

// The picture's box at 96 DPI: 151 x 96.
inline constexpr std::uint32_t kWindowPictureWidth = layout::ToPixels(layout::kPictureTwips.width, layout::kDesignDpi);
inline constexpr std::uint32_t kWindowPictureHeight =
    layout::ToPixels(layout::kPictureTwips.height, layout::kDesignDpi);

// Nothing when the window draws `file` as its picture: a baseline or progressive 8-bit JPEG of
// one or three components, or a PNG, of exactly 151 x 96 pixels, read from the file's own header
// (JPEG SOF, PNG IHDR). Otherwise what the file is and what is needed, to follow the picture's
// name: "is a 300 x 200 JPEG; the window's picture is a JPEG or PNG of exactly 151 x 96 pixels".
[[nodiscard]] std::optional<std::string> WindowPictureProblem(std::span<const std::byte> file);

struct PictureSize {
    std::uint32_t width = 0;
    std::uint32_t height = 0;
};

// Whether `file` starts as a PNG does, and then its size from its header (IHDR), or what is wrong
// with that header, to follow the picture's name ("is a PNG whose first chunk is not ...").
[[nodiscard]] bool IsPng(std::span<const std::byte> file);
[[nodiscard]] tazel::Expected<PictureSize, std::string> PngSize(std::span<const std::byte> file);

// What a file is by its first bytes, for messages about a file of the wrong kind: "a PNG picture",
// "an icon file", or "a file that starts with 4D 5A 90 00" when it is none of the few it knows.
[[nodiscard]] std::string KindOfFile(std::span<const std::byte> file);

} // namespace tazel::pack
