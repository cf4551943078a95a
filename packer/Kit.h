#pragma once
// What the packer puts around a package: the installer's stub and the product's own icon, window
// picture and application manifest. The shipped packer carries all of them inside itself.

#include <cstddef>
#include <span>

namespace tazel::pack {

struct Kit {
    std::span<const std::byte> stub;          // the installer's code
    std::span<const std::byte> lzmaStub;      // the same with the decoder, for compressed packages
    std::span<const std::byte> iconImage;     // the icon's one 32 x 32 image, as an icon resource holds it
    std::span<const std::byte> iconGroup;     // the icon group pointing at it
    std::span<const std::byte> windowPicture; // the JPEG in the window's top right box
    std::span<const std::byte> applicationManifest;
};

// The kit this program was built with; its stubs are empty in the build's own packer, which is
// given them on its command line.
[[nodiscard]] const Kit& BuiltInKit() noexcept;

} // namespace tazel::pack
