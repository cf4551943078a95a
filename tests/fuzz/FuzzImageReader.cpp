// The reader of installers that the packer's inspection uses, looking up what the inspection looks
// up. Whatever it finds lies within the file's bytes; a version block and a package record found
// are read in turn, each from a copy of its exact size, so that a read past one is caught, and the
// version block's texts are no longer than the block.

#include "core/ManifestFormat.h"
#include "packer/image/ImageReader.h"
#include "tests/fuzz/Fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace tazel::pack;
    const auto bytes = tazel::fuzz::Bytes(data, size);
    const auto image = ImageReader::Read(bytes);
    if (!image)
        return 0;
    const auto within = [&](std::span<const std::byte> found) {
        return found.data() >= bytes.data() && found.size() <= size &&
               found.data() - bytes.data() <= static_cast<std::ptrdiff_t>(size - found.size());
    };
    struct Lookup {
        ResourceId type;
        std::uint16_t first;
        std::uint16_t count;
        std::uint16_t language;
    };
    const Lookup lookups[] = {
        {std::u16string(u"PACKAGE"), 1, 1, kLanguageNeutral},
        {kTypeVersion, 1, 1, kLanguageUsEnglish},
        {std::u16string(u"CUSTOM"), 101, 8, kLanguageUsEnglish},
        {std::u16string(u"LZMA"), 101, 8, kLanguageUsEnglish},
        {kTypeIcon, 30001, 3, kLanguageNeutral},
        {kTypeGroupIcon, 1, 1, kLanguageNeutral},
    };
    for (const Lookup& lookup : lookups) {
        for (std::uint16_t name = lookup.first; name < lookup.first + lookup.count; ++name) {
            const auto found = image->Resource(lookup.type, name, lookup.language);
            if (!found || !*found)
                continue;
            FUZZ_CHECK(within(**found));
            const std::vector<std::byte> copy((**found).begin(), (**found).end());
            if (lookup.type == ResourceId(kTypeVersion)) {
                const auto version = ReadVersionBlock(copy);
                for (const auto& [key, value] : version ? version->strings : decltype(version->strings)())
                    FUZZ_CHECK(2 * (key.size() + value.size()) <= copy.size());
            }
            if (lookup.type == ResourceId(std::u16string(u"PACKAGE")))
                (void)tazel::DecodePackageRecord(copy);
        }
    }
    return 0;
}
