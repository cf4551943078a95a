// The two JPEG pictures: exact stored lengths, the JFIF layout the host program reads,
// and what they decode to.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ArtFiles.h"

namespace tazel::art::test {
namespace {

constexpr std::size_t kDeckBytes = 264192;
constexpr std::size_t kWindowBytes = 8541;

struct Segment {
    std::uint8_t Marker;
    std::size_t Offset; // of the 0xFF
    std::size_t Length; // the stored length field, which counts itself
};

// The header segments from just after SOI up to and including SOS.
std::vector<Segment> HeaderSegments(const Bytes& jpeg)
{
    std::vector<Segment> segments;
    std::size_t at = 2;
    while (at + 4 <= jpeg.size()) {
        if (jpeg[at] != 0xFF)
            ADD_FAILURE() << "no marker at offset " << at;
        const Segment s{jpeg[at + 1], at, Be16(jpeg, at + 2)};
        segments.push_back(s);
        if (s.Marker == 0xDA || jpeg[at] != 0xFF)
            break;
        at += 2 + s.Length;
    }
    return segments;
}

void ExpectJfifStart(const Bytes& jpeg)
{
    ASSERT_GE(jpeg.size(), 24u);
    EXPECT_EQ(jpeg[0], 0xFF);
    EXPECT_EQ(jpeg[1], 0xD8);
    EXPECT_EQ(jpeg[2], 0xFF);
    EXPECT_EQ(jpeg[3], 0xE0);
    EXPECT_EQ(Be16(jpeg, 4), 16u);
    EXPECT_EQ(std::string(jpeg.begin() + 6, jpeg.begin() + 11), std::string("JFIF\0", 5));
    EXPECT_EQ(jpeg[11], 1) << "JFIF major version";
    EXPECT_EQ(jpeg[12], 1) << "JFIF minor version";
    EXPECT_EQ(jpeg[20], 0xFF);
    EXPECT_EQ(jpeg[21], 0xFE) << "a comment segment must follow APP0 directly";
}

// Baseline means SOF0, and the frame header agrees with what libjpeg reports.
void ExpectBaselineFrame(const Bytes& jpeg, int width, int height)
{
    int frames = 0;
    for (const Segment& s : HeaderSegments(jpeg)) {
        if (s.Marker >= 0xC0 && s.Marker <= 0xCF && s.Marker != 0xC4 && s.Marker != 0xC8 && s.Marker != 0xCC) {
            ++frames;
            EXPECT_EQ(s.Marker, 0xC0) << "frame is not baseline";
            EXPECT_EQ(jpeg[s.Offset + 4], 8) << "sample precision";
            EXPECT_EQ(Be16(jpeg, s.Offset + 5), static_cast<std::uint32_t>(height));
            EXPECT_EQ(Be16(jpeg, s.Offset + 7), static_cast<std::uint32_t>(width));
            EXPECT_EQ(jpeg[s.Offset + 9], 3) << "component count";
        }
    }
    EXPECT_EQ(frames, 1);
}

void ExpectCommentPadding(const Bytes& jpeg)
{
    const std::vector<Segment> segments = HeaderSegments(jpeg);
    ASSERT_GE(segments.size(), 3u);
    EXPECT_EQ(segments[0].Marker, 0xE0);
    EXPECT_EQ(segments[1].Marker, 0xFE);
    EXPECT_EQ(segments.back().Marker, 0xDA) << "header segments do not chain up to the scan";
    for (const Segment& s : segments)
        EXPECT_GE(s.Length, 2u) << "segment at " << s.Offset;
}

TEST(DeckPicture, IsStoredWithThreeZeroBytesAfterTheImage)
{
    const Bytes deck = ReadOutput("Tazel.dek");
    ASSERT_EQ(deck.size(), kDeckBytes);
    const std::size_t eoi = kDeckBytes - 5;
    EXPECT_EQ(deck[eoi], 0xFF);
    EXPECT_EQ(deck[eoi + 1], 0xD9);
    EXPECT_EQ(deck[eoi + 2], 0);
    EXPECT_EQ(deck[eoi + 3], 0);
    EXPECT_EQ(deck[eoi + 4], 0);
}

TEST(DeckPicture, IsBaselineJfifPaddedByComments)
{
    const Bytes deck = ReadOutput("Tazel.dek");
    ExpectJfifStart(deck);
    ExpectBaselineFrame(deck, 905, 522);
    ExpectCommentPadding(deck);
}

void ExpectCleanDecode(const DecodedJpeg& decoded, int width, int height)
{
    EXPECT_EQ(decoded.Image.Width, width);
    EXPECT_EQ(decoded.Image.Height, height);
    EXPECT_EQ(decoded.Components, 3);
    EXPECT_FALSE(decoded.Progressive);
    EXPECT_EQ(decoded.Warnings, 0);
}

TEST(DeckPicture, DecodesCleanly)
{
    ExpectCleanDecode(DecodeJpeg(ReadOutput("Tazel.dek")), 905, 522);
}

// The grid must hold the same cards as the strips, in deck order, five to a row.
TEST(DeckPicture, CellsMatchTheLargestStripInDeckOrder)
{
    const Picture deck = DecodeJpeg(ReadOutput("Tazel.dek")).Image;
    const Picture strip = BmpPixels(ReadOutput("Tazel6.cbx"));
    constexpr int kW = 181, kH = 261;
    for (int card = 0; card < 10; ++card) {
        const int cellX = (card % 5) * kW, cellY = (card / 5) * kH;
        for (int other = 0; other < 10; ++other) {
            const double d = MeanDifference(deck, cellX, cellY, strip, other * kW, 0, kW, kH);
            if (other == card)
                EXPECT_LT(d, 6.0) << "cell " << card << " differs from its card beyond JPEG loss";
            else
                EXPECT_GT(d, 12.0) << "cell " << card << " resembles card " << other;
        }
    }
}

TEST(WindowPicture, HasItsExactLengthAndEndsWithEoi)
{
    const Bytes window = ReadOutput("Window.jpg");
    ASSERT_EQ(window.size(), kWindowBytes);
    EXPECT_EQ(window[kWindowBytes - 2], 0xFF);
    EXPECT_EQ(window[kWindowBytes - 1], 0xD9);
}

TEST(WindowPicture, IsBaselineJfifPaddedByComments)
{
    const Bytes window = ReadOutput("Window.jpg");
    ExpectJfifStart(window);
    ExpectBaselineFrame(window, 151, 96);
    ExpectCommentPadding(window);
}

TEST(WindowPicture, DecodesWithQuarterResolutionChroma)
{
    const DecodedJpeg decoded = DecodeJpeg(ReadOutput("Window.jpg"));
    ExpectCleanDecode(decoded, 151, 96);
    EXPECT_EQ(decoded.HSampling[0], 2);
    EXPECT_EQ(decoded.VSampling[0], 2);
    for (int c = 1; c < 3; ++c) {
        EXPECT_EQ(decoded.HSampling[c], 1) << "component " << c;
        EXPECT_EQ(decoded.VSampling[c], 1) << "component " << c;
    }
}

// The window is light grey; the picture's border must melt into it, while the middle
// must actually show something.
TEST(WindowPicture, BorderBlendsIntoTheWindowGrey)
{
    const Picture p = DecodeJpeg(ReadOutput("Window.jpg")).Image;
    const auto offGrey = [](const Pixel& c) {
        return std::abs(c.R - 0xE0) + std::abs(c.G - 0xE0) + std::abs(c.B - 0xE0);
    };
    for (int y = 0; y < p.Height; ++y)
        for (int x = 0; x < p.Width; ++x)
            if (x == 0 || y == 0 || x == p.Width - 1 || y == p.Height - 1) {
                ASSERT_LE(offGrey(p.At(x, y)), 30) << "border pixel " << x << "," << y;
            }
    EXPECT_GT(offGrey(p.At(p.Width / 2, p.Height / 2)), 60) << "no card in the middle of the window picture";
}

} // namespace
} // namespace tazel::art::test
