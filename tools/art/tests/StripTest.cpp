// The card strips: file layout, the key-green corners, and that every strip shows the
// same ten cards in the same order.

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <ostream>
#include <string>

#include "ArtFiles.h"

namespace tazel::art::test {
namespace {

constexpr int kCards = 10;

struct StripCase {
    const char* Name;
    int Width;
    int Height;
    std::size_t StoredBytes;
};

// Sizes and lengths the host program expects, one strip per display size.
constexpr std::array<StripCase, 7> kStrips{{
    {"Tazel0.cbx", 480, 69, 99416},
    {"Tazel1.cbx", 620, 89, 165596},
    {"Tazel2.cbx", 770, 111, 256688},
    {"Tazel3.cbx", 960, 138, 397496},
    {"Tazel4.cbx", 1190, 172, 614440},
    {"Tazel5.cbx", 1430, 206, 884208},
    {"Tazel6.cbx", 1810, 261, 1417808},
}};

class StripFile : public ::testing::TestWithParam<StripCase> {
protected:
    void SetUp() override
    {
        file = ReadOutput(GetParam().Name);
        ASSERT_EQ(file.size(), GetParam().StoredBytes);
        picture = BmpPixels(file);
        cardWidth = GetParam().Width / kCards;
    }
    // Corners are judged inside a box this size; the rounding itself is much smaller.
    int CornerBox() const { return cardWidth / 6; }

    Bytes file;
    Picture picture;
    int cardWidth = 0;
};

// Keeps the parameter readable in test listings instead of a byte dump.
void PrintTo(const StripCase& c, std::ostream* os)
{
    *os << c.Name;
}

std::string CaseName(const ::testing::TestParamInfo<StripCase>& info)
{
    std::string name = info.param.Name;
    return name.substr(0, name.find('.'));
}

TEST_P(StripFile, HeaderDescribesAnUncompressedBottomUpStrip)
{
    const StripCase& c = GetParam();
    const std::uint32_t row = (static_cast<std::uint32_t>(c.Width) * 3 + 3) & ~3u;
    const std::uint32_t pixelBytes = row * static_cast<std::uint32_t>(c.Height);

    EXPECT_EQ(file[0], 'B');
    EXPECT_EQ(file[1], 'M');
    EXPECT_EQ(Le32(file, 2), 54 + pixelBytes);
    EXPECT_EQ(Le32(file, 6), 0u);
    EXPECT_EQ(Le32(file, 10), 54u);
    EXPECT_EQ(Le32(file, 14), 40u);
    EXPECT_EQ(Le32(file, 18), static_cast<std::uint32_t>(c.Width));
    EXPECT_EQ(Le32(file, 22), static_cast<std::uint32_t>(c.Height)); // positive: bottom-up
    EXPECT_EQ(Le16(file, 26), 1u);
    EXPECT_EQ(Le16(file, 28), 24u);
    EXPECT_EQ(Le32(file, 30), 0u);
    EXPECT_EQ(Le32(file, 34), pixelBytes);
    EXPECT_EQ(Le32(file, 46), 0u) << "no palette";
}

TEST_P(StripFile, TwoZeroBytesFollowTheDeclaredLength)
{
    const std::size_t declared = Le32(file, 2);
    ASSERT_EQ(declared + 2, file.size());
    EXPECT_EQ(file[declared], 0);
    EXPECT_EQ(file[declared + 1], 0);
}

// Green runs from each corner along the edge rows and columns; folding every corner
// onto the top-left lets one check serve all four.
int GreenRunFromCorner(const Picture& p, int card, int cardWidth, int corner, int depth, bool alongRow)
{
    const int h = p.Height;
    int run = 0;
    for (int k = 0; k < cardWidth / 2; ++k) {
        int x = alongRow ? k : depth;
        int y = alongRow ? depth : k;
        if (corner & 1)
            x = cardWidth - 1 - x;
        if (corner & 2)
            y = h - 1 - y;
        if (!p.At(card * cardWidth + x, y).IsKeyGreen())
            break;
        ++run;
    }
    return run;
}

TEST_P(StripFile, EveryCardHasMatchingKeyedCorners)
{
    const int box = CornerBox();
    for (int card = 0; card < kCards; ++card) {
        SCOPED_TRACE("card " + std::to_string(card));
        std::array<std::vector<int>, 4> runs;
        for (int corner = 0; corner < 4; ++corner) {
            int previous = box;
            for (int depth = 0; depth < box; ++depth) {
                const int run = GreenRunFromCorner(picture, card, cardWidth, corner, depth, true);
                // A rounded corner: the key never widens going away from the edge.
                EXPECT_LE(run, previous) << "corner " << corner << " row " << depth;
                EXPECT_LT(run, box) << "key reaches the edge of the corner box";
                previous = run;
                runs[corner].push_back(run);
            }
            EXPECT_GT(runs[corner][0], 0) << "corner " << corner << " has no key";
        }
        for (int corner = 1; corner < 4; ++corner)
            EXPECT_EQ(runs[corner], runs[0]) << "corner " << corner << " differs from the top-left one";
        // Columns read the same as rows: the curve is symmetric about the diagonal.
        for (int depth = 0; depth < box; ++depth)
            EXPECT_EQ(GreenRunFromCorner(picture, card, cardWidth, 0, depth, false), runs[0][depth]);
    }
}

TEST_P(StripFile, KeyGreenAppearsOnlyInCardCorners)
{
    const int box = CornerBox();
    const int h = picture.Height;
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < picture.Width; ++x) {
            if (!picture.At(x, y).IsKeyGreen())
                continue;
            const int cx = x % cardWidth;
            const bool nearSide = cx < box || cx >= cardWidth - box;
            const bool nearEnd = y < box || y >= h - box;
            ASSERT_TRUE(nearSide && nearEnd) << "key green at " << x << "," << y;
            // Inside the box it must also be joined to the corner by the run counted above.
            const int corner = (cx >= cardWidth / 2 ? 1 : 0) | (y >= h / 2 ? 2 : 0);
            const int depth = corner & 2 ? h - 1 - y : y;
            const int along = corner & 1 ? cardWidth - 1 - cx : cx;
            ASSERT_LT(along, GreenRunFromCorner(picture, x / cardWidth, cardWidth, corner, depth, true))
                << "stray key green at " << x << "," << y;
        }
    }
}

TEST_P(StripFile, CardsFillTheirCellsBetweenTheCorners)
{
    const int h = picture.Height;
    for (int card = 0; card < kCards; ++card) {
        const int left = card * cardWidth;
        const int midX = left + cardWidth / 2, midY = h / 2;
        EXPECT_FALSE(picture.At(midX, 0).IsKeyGreen()) << "card " << card;
        EXPECT_FALSE(picture.At(midX, h - 1).IsKeyGreen()) << "card " << card;
        EXPECT_FALSE(picture.At(left, midY).IsKeyGreen()) << "card " << card;
        EXPECT_FALSE(picture.At(left + cardWidth - 1, midY).IsKeyGreen()) << "card " << card;
    }
}

// A soft edge would leave pixels that are part card, part key: visibly greener than the
// card's own edge colour.
TEST_P(StripFile, CornerEdgesAreHard)
{
    const int h = picture.Height;
    for (int card = 0; card < kCards; ++card) {
        const int left = card * cardWidth;
        const Pixel edge = picture.At(left + cardWidth / 2, 0);
        for (int y = 0; y < h; ++y) {
            for (int x = left; x < left + cardWidth; ++x) {
                if (!picture.At(x, y).IsKeyGreen())
                    continue;
                const int around[][2] = {{x - 1, y}, {x + 1, y}, {x, y - 1}, {x, y + 1}};
                for (const auto& [nx, ny] : around) {
                    if (nx < left || nx >= left + cardWidth || ny < 0 || ny >= h)
                        continue;
                    const Pixel& p = picture.At(nx, ny);
                    if (p.IsKeyGreen())
                        continue;
                    EXPECT_LE(p.G - std::max(p.R, p.B), 32) << "greenish pixel at " << nx << "," << ny;
                    EXPECT_LE(std::abs(p.R - edge.R) + std::abs(p.G - edge.G) + std::abs(p.B - edge.B), 36)
                        << "pixel at " << nx << "," << ny << " strays from the card edge colour";
                }
            }
        }
    }
}

// Every strip is drawn separately at its own size; scaled down, the largest strip's
// cards must still be the closest match to the same cards at this size.
TEST_P(StripFile, ShowsTheSameCardsInTheSameOrderAsTheLargestStrip)
{
    const Picture largest = BmpPixels(ReadOutput(kStrips.back().Name));
    const int largeWidth = largest.Width / kCards;
    const int h = picture.Height;
    for (int card = 0; card < kCards; ++card) {
        int best = -1;
        double bestDifference = 1e9;
        for (int other = 0; other < kCards; ++other) {
            const Picture scaled = Resample(largest, other * largeWidth, 0, largeWidth, largest.Height, cardWidth, h);
            const double d = MeanDifference(picture, card * cardWidth, 0, scaled, 0, 0, cardWidth, h);
            if (d < bestDifference) {
                bestDifference = d;
                best = other;
            }
        }
        EXPECT_EQ(best, card);
        EXPECT_LT(bestDifference, 16.0) << "card " << card << " barely resembles its larger self";
    }
}

INSTANTIATE_TEST_SUITE_P(AllSizes, StripFile, ::testing::ValuesIn(kStrips), CaseName);

TEST(Strips, TenCardsAreDistinctPictures)
{
    const Picture strip = BmpPixels(ReadOutput(kStrips.back().Name));
    const int w = strip.Width / kCards;
    for (int a = 0; a < kCards; ++a)
        for (int b = a + 1; b < kCards; ++b)
            EXPECT_GT(MeanDifference(strip, a * w, 0, strip, b * w, 0, w, strip.Height), 12.0)
                << "cards " << a << " and " << b << " look alike";
}

} // namespace
} // namespace tazel::art::test
