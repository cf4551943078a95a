#include <gtest/gtest.h>

#include "packer/image/ImageReader.h"
#include "tests/packer/image/ImageFixture.h"

// Built with the address and undefined-behaviour sanitizers: the reader takes bytes from outside,
// and a read past them, which no answer of the reader shows, fails the test where it happens.
// Each changed or cut image is a buffer of its own exact size, so the first byte past it is caught.

namespace tazel::pack::test {
namespace {

struct Tally {
    std::size_t found = 0;
    std::size_t refused = 0;
    std::uint64_t sum = 0; // of every byte found, so that each is read
};

// Looks up what the inspection looks up, and reads every byte it is given.
void ReadBack(std::span<const std::byte> bytes, Tally& tally)
{
    const auto image = ImageReader::Read(bytes);
    if (!image) {
        ++tally.refused;
        return;
    }
    const ResourceId types[] = {std::u16string(u"CUSTOM"), std::u16string(u"ZETA"), kTypeVersion, kTypeIcon};
    for (const ResourceId& type : types) {
        for (const std::uint16_t name : {std::uint16_t{1}, std::uint16_t{104}, std::uint16_t{30001}}) {
            for (const std::uint16_t language : {kLanguageNeutral, kLanguageUsEnglish}) {
                const auto found = image->Resource(type, name, language);
                if (!found || !*found) {
                    tally.refused += !found;
                    continue;
                }
                ++tally.found;
                for (const std::byte b : **found)
                    tally.sum += std::to_integer<unsigned>(b);
                // In a buffer of its own, so that a read past the block is past the buffer too.
                if (type == ResourceId(kTypeVersion))
                    tally.refused += !ReadVersionBlock(std::vector<std::byte>((**found).begin(), (**found).end()));
            }
        }
    }
}

TEST(ImageReaderTest, ReadsNothingOutsideAnImageChangedOrCutAnywhere)
{
    const auto version = BuildVersionBlock(ProductVersion(u"TazelDeck", u"Tazel Deck"));
    ASSERT_TRUE(version);
    const auto made = Compose(MinimalStub(), SampleResources(*version));
    ASSERT_TRUE(made) << made.error().message;
    const std::vector<std::byte>& image = *made;

    // The whole image reads: the entry, the version block's strings.
    const auto whole = ImageReader::Read(image);
    ASSERT_TRUE(whole) << whole.error().message;
    const auto entry = whole->Resource(std::u16string(u"CUSTOM"), 104, kLanguageUsEnglish);
    ASSERT_TRUE(entry && *entry);
    EXPECT_TRUE(std::ranges::equal(**entry, Pattern(4004, 4)));
    const auto block = whole->Resource(kTypeVersion, 1, kLanguageUsEnglish);
    ASSERT_TRUE(block && *block);
    const auto facts = ReadVersionBlock(**block);
    ASSERT_TRUE(facts) << facts.error().message;
    EXPECT_EQ(facts->String(u"FileVersion"), u"2.00.0004");
    EXPECT_EQ(facts->fileVersion, (std::array<std::uint16_t, 4>{2, 0, 0, 4}));

    // Cut anywhere: refused, whether in the headers or in the sections' bytes.
    for (std::size_t length = 0; length < image.size(); length += length < 2 * kPage ? 1 : 61) {
        const std::vector<std::byte> cut(image.begin(), image.begin() + static_cast<std::ptrdiff_t>(length));
        EXPECT_FALSE(ImageReader::Read(cut)) << length;
    }

    // Each byte of the headers, the resource directory and the version block set to values that
    // turn offsets, sizes and counts to nothing, to their largest, and to their top bit.
    const std::size_t directoryAt = 3 * kPage;
    const std::size_t blockAt = static_cast<std::size_t>(block->value().data() - image.data());
    std::vector<std::size_t> places;
    for (std::size_t at = 0; at < kSectionTableAt + 5 * 40; ++at)
        places.push_back(at);
    for (std::size_t at = directoryAt; at < directoryAt + 0x300; ++at)
        places.push_back(at);
    for (std::size_t at = blockAt; at < blockAt + version->size(); ++at)
        places.push_back(at);
    Tally tally;
    for (const std::size_t at : places) {
        for (const unsigned value : {0x00u, 0x01u, 0x7Fu, 0x80u, 0xFFu}) {
            std::vector<std::byte> changed = image;
            changed[at] = static_cast<std::byte>(value);
            ReadBack(changed, tally);
        }
    }
    // Both ways taken: some changes leave what is looked up readable, others are refused.
    EXPECT_GT(tally.found, places.size());
    EXPECT_GT(tally.refused, places.size() / 4);
}

} // namespace
} // namespace tazel::pack::test
