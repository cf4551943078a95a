// A publisher's icon and window picture, as the description's check and the packer read them.
// An icon taken has a 32 x 32 image, each image within the file, and the group resource the packer
// makes of it lists each as read, with a bit count Windows can choose by; a picture taken is one
// the window draws at its own size.

#include "core/LittleEndian.h"
#include "packer/image/Icon.h"
#include "packer/image/Picture.h"
#include "tests/fuzz/Fuzz.h"

namespace tazel::pack {
namespace {

void CheckIcon(std::span<const std::byte> file)
{
    const auto images = ReadIcon(file);
    if (!images)
        return;
    FUZZ_CHECK(!images->empty() && images->size() <= kMostIconImages);
    bool has32 = false;
    for (const IconImage& image : *images) {
        const auto at = image.bytes.data() - file.data();
        FUZZ_CHECK(at >= 0 && image.bytes.size() <= file.size() - static_cast<std::size_t>(at));
        FUZZ_CHECK(image.width >= 1 && image.width <= 256 && image.height >= 1 && image.height <= 256);
        has32 = has32 || (image.width == 32 && image.height == 32);
    }
    FUZZ_CHECK(has32);

    const std::vector<std::byte> group = IconGroup(*images, kFirstIconImageId);
    FUZZ_CHECK(group.size() == 6 + 14 * images->size() && ReadU16(group, 4) == images->size());
    for (std::size_t i = 0; i < images->size(); ++i) {
        const IconImage& image = (*images)[i];
        const std::size_t at = 6 + 14 * i;
        FUZZ_CHECK(std::to_integer<unsigned>(group[at]) == image.width % 256);
        FUZZ_CHECK(std::to_integer<unsigned>(group[at + 1]) == image.height % 256);
        FUZZ_CHECK(ReadU16(group, at + 6) != 0 && ReadU16(group, at + 6) == image.bitCount);
        FUZZ_CHECK(ReadU32(group, at + 8) == image.bytes.size() && ReadU16(group, at + 12) == kFirstIconImageId + i);
    }
}

void CheckPicture(std::span<const std::byte> file)
{
    const auto problem = WindowPictureProblem(file);
    if (problem) {
        FUZZ_CHECK(!problem->empty());
        return;
    }
    if (!IsPng(file)) {
        FUZZ_CHECK(KindOfFile(file) == "a JPEG picture");
        return;
    }
    const auto size = PngSize(file);
    FUZZ_CHECK(size && size->width == kWindowPictureWidth && size->height == kWindowPictureHeight);
}

} // namespace
} // namespace tazel::pack

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const auto file = tazel::fuzz::Bytes(data, size);
    tazel::pack::CheckIcon(file);
    tazel::pack::CheckPicture(file);
    return 0;
}
