// The program icon, as the two raw resources the installer embeds and as a plain .ico.

#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <tuple>

#include "ArtFiles.h"

namespace tazel::art::test {
namespace {

constexpr std::size_t kHeaderBytes = 40;
constexpr std::size_t kColourBytes = 32 * 32 * 3; // rows of 96 bytes need no padding
constexpr std::size_t kMaskBytes = 32 * 4;
constexpr std::size_t kIconBytes = kHeaderBytes + kColourBytes + kMaskBytes;

TEST(IconImage, IsA24BitDibWithAnOpaqueMask)
{
    const Bytes icon = ReadOutput("Icon30001.bin");
    ASSERT_EQ(icon.size(), kIconBytes);
    EXPECT_EQ(Le32(icon, 0), 40u);
    EXPECT_EQ(Le32(icon, 4), 32u);
    EXPECT_EQ(Le32(icon, 8), 64u) << "icon DIBs declare colour and mask rows together";
    EXPECT_EQ(Le16(icon, 12), 1u);
    EXPECT_EQ(Le16(icon, 14), 24u);
    EXPECT_EQ(Le32(icon, 16), 0u);
    EXPECT_EQ(Le32(icon, 32), 0u) << "no palette";
    for (std::size_t i = kHeaderBytes + kColourBytes; i < kIconBytes; ++i)
        ASSERT_EQ(icon[i], 0) << "mask byte " << i << " makes a pixel transparent";
}

TEST(IconImage, ShowsAPicture)
{
    const Bytes icon = ReadOutput("Icon30001.bin");
    ASSERT_EQ(icon.size(), kIconBytes);
    std::set<std::tuple<int, int, int>> colours;
    for (std::size_t i = kHeaderBytes; i < kHeaderBytes + kColourBytes; i += 3)
        colours.emplace(icon[i], icon[i + 1], icon[i + 2]);
    EXPECT_GT(colours.size(), 100u);
}

TEST(IconGroup, NamesTheIconImageResource)
{
    const Bytes group = ReadOutput("IconGroup1.bin");
    ASSERT_EQ(group.size(), 6u + 14u);
    EXPECT_EQ(Le16(group, 0), 0u);
    EXPECT_EQ(Le16(group, 2), 1u);
    EXPECT_EQ(Le16(group, 4), 1u);
    EXPECT_EQ(group[6], 32);
    EXPECT_EQ(group[7], 32);
    EXPECT_EQ(group[8], 0);
    EXPECT_EQ(group[9], 0);
    EXPECT_EQ(Le16(group, 10), 1u);
    EXPECT_EQ(Le16(group, 12), 24u);
    EXPECT_EQ(Le32(group, 14), ReadOutput("Icon30001.bin").size());
    EXPECT_EQ(Le16(group, 18), 30001u);
}

TEST(IcoFile, WrapsTheSameIconImage)
{
    const Bytes ico = ReadOutput("Tazel.ico");
    const Bytes image = ReadOutput("Icon30001.bin");
    ASSERT_EQ(ico.size(), 6 + 16 + image.size());
    const Bytes group = ReadOutput("IconGroup1.bin");
    // An .ico directory is the group resource with a file offset in place of the id.
    EXPECT_TRUE(std::equal(group.begin(), group.begin() + 18, ico.begin()));
    EXPECT_EQ(Le32(ico, 18), 22u);
    EXPECT_TRUE(std::equal(image.begin(), image.end(), ico.begin() + 22));
}

} // namespace
} // namespace tazel::art::test
