// The packer's reader of an installer stub. A stub it takes, it finishes as it finishes every
// installer: one resource section after the stub's last, whose resource the packer's inspection then
// finds where the directory says, the stub's own bytes after its headers unchanged and the checksum
// sealed over the whole image.

#include <algorithm>

#include "core/LittleEndian.h"
#include "packer/image/ImageReader.h"
#include "packer/image/PeFormat.h"
#include "packer/image/PeImage.h"
#include "packer/image/ResourceSection.h"
#include "tests/fuzz/Fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace tazel::pack;
    const auto bytes = tazel::fuzz::Bytes(data, size);
    const auto stub = ParseStub(bytes);
    if (!stub)
        return 0;
    FUZZ_CHECK(stub->sectionFileOffset == size && stub->sectionRva % stub->sectionAlignment == 0);

    constexpr std::string_view kPayload = "the one resource of a stub finished";
    const Resource resources[] = {{kTypeRcData, std::uint16_t{1}, kLanguageNeutral, kPayload.size()}};
    const auto layout = LayOutResources(resources, stub->sectionRva);
    FUZZ_CHECK(layout);
    auto image = AddResourceSection(*stub, layout->sectionSize);
    if (!image)
        return 0; // an image past the 1 GiB a 32-bit installer maps
    const std::span<std::byte> section = image->Section();
    std::ranges::copy(layout->directory, section.begin());
    std::ranges::copy(std::as_bytes(std::span(kPayload)), section.begin() + layout->dataOffsets[0]);
    SealImage(*image);

    const auto headersEnd = tazel::ReadU32(bytes, stub->optionalHeaderAt + pe::kSizeOfHeaders);
    const std::span<const std::byte> finished(image->bytes);
    FUZZ_CHECK(std::ranges::equal(bytes.subspan(headersEnd), finished.subspan(headersEnd, size - headersEnd)));
    FUZZ_CHECK(tazel::ReadU32(image->bytes, image->checksumAt) == ImageChecksum(image->bytes, image->checksumAt));
    const auto read = ImageReader::Read(image->bytes);
    FUZZ_CHECK(read && read->HasResources());
    const auto found = read->Resource(kTypeRcData, 1, kLanguageNeutral);
    FUZZ_CHECK(found && *found && std::ranges::equal(**found, std::as_bytes(std::span(kPayload))));
    return 0;
}
