#include <gtest/gtest.h>

#include <string_view>

#include "packer/image/VersionBlock.h"
#include "tests/packer/image/ImageFixture.h"
#include "tests/packer/image/VersionFixtures.h"

namespace tazel::pack::test {
namespace {

std::string Hex(const std::vector<std::byte>& bytes)
{
    constexpr char kDigits[] = "0123456789abcdef";
    std::string hex;
    for (const std::byte b : bytes) {
        hex += kDigits[std::to_integer<unsigned>(b) >> 4];
        hex += kDigits[std::to_integer<unsigned>(b) & 0xF];
    }
    return hex;
}

TEST(VersionBlockTest, IsWhatWindresCompiles)
{
    const auto product = BuildVersionBlock(ProductVersion(u"TazelDeck", u"Tazel Deck"));
    ASSERT_TRUE(product) << product.error().message;
    EXPECT_EQ(Hex(*product), kTazelDeckVersionHex);

    const auto described = BuildVersionBlock(
        ProductVersion(u"T\u00e0zelF\u00e4ces", u"T\u00e0zel \"F\u00e4ces\" \\ \u00dcn\u00efcode \U0001F0A1"));
    ASSERT_TRUE(described) << described.error().message;
    EXPECT_EQ(Hex(*described), kDescribedFaceVersionHex);

    VersionInfo odd = ProductVersion(u"", u"");
    odd.fixed.fileVersion = {1, 2, 3, 4};
    odd.fixed.productVersion = {5, 6, 7, 8};
    odd.strings = {{u"A", u"bc"}, {u"Empty", u""}, {u"Last", u"xy"}};
    const auto unaligned = BuildVersionBlock(odd);
    ASSERT_TRUE(unaligned) << unaligned.error().message;
    EXPECT_EQ(Hex(*unaligned), kUnalignedEndVersionHex);
}

TEST(VersionBlockTest, RefusesWhatTheFormatCannotHold)
{
    VersionInfo nul = ProductVersion(u"TazelDeck", u"Tazel Deck");
    nul.strings[1].value += std::u16string(1, u'\0') + u"hidden";
    EXPECT_FALSE(BuildVersionBlock(nul));

    VersionInfo huge = ProductVersion(u"TazelDeck", u"Tazel Deck");
    huge.strings.push_back({u"Comments", std::u16string(33000, u'x')});
    const auto refused = BuildVersionBlock(huge);
    ASSERT_FALSE(refused);
    EXPECT_NE(refused.error().message.find("16-bit"), std::string::npos) << refused.error().message;
}

} // namespace
} // namespace tazel::pack::test
