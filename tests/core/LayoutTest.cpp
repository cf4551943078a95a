#include "resources/WindowLayout.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string_view>

namespace tazel::layout {
namespace {

constexpr std::size_t kGameName = 0;
constexpr std::size_t kCredit = 1;
constexpr std::size_t kSubtitle = 2;
constexpr std::size_t kPackage = 3;

bool Contains(const Box& outer, const Box& inner)
{
    return inner.left >= outer.left && inner.top >= outer.top && inner.right() <= outer.right() &&
           inner.bottom() <= outer.bottom();
}

bool Overlap(const Box& a, const Box& b)
{
    return a.left < b.right() && b.left < a.right() && a.top < b.bottom() && b.top < a.bottom();
}

TEST(LayoutConversion, RoundsHalfPixelsUpLikeMulDiv)
{
    // 7.5 twips is half a pixel at 96 DPI.
    EXPECT_EQ(ToPixels(7, 96), 0);
    EXPECT_EQ(ToPixels(8, 96), 1);
    EXPECT_EQ(ToPixels(15, 96), 1);
    EXPECT_EQ(ToPixels(22, 96), 1);
    EXPECT_EQ(ToPixels(23, 96), 2);
    // 6195 twips at 144 DPI is 619.5 pixels: truncation would lose the last column.
    EXPECT_EQ(ToPixels(6195, 144), 620);
    EXPECT_EQ(ToPixels(0, 144), 0);
}

TEST(LayoutConversion, DoesNotOverflowOnLargeFigures)
{
    // 3,000,000 x 1440 does not fit in 32 bits; the product must be formed wider.
    EXPECT_EQ(ToPixels(3'000'000, 1440), 3'000'000);
    EXPECT_EQ(MulDivRound(2'000'000'000, 3, 4), 1'500'000'000);
}

TEST(LayoutConversion, FontHeightsKeepQuarterPoints)
{
    // 27.75 pt is 111 quarter points; 12 pt is 48.
    EXPECT_EQ(FontPixels(111, 96), 37);
    EXPECT_EQ(FontPixels(48, 96), 16);
    EXPECT_EQ(FontPixels(111, 144), 56); // 55.5 rounds up
    EXPECT_EQ(FontPixels(48, 144), 24);
    // At 120 DPI 27.75 pt is 46.25 px, where a size rounded to 28 pt first would give 47.
    EXPECT_EQ(FontPixels(111, 120), 46);
    EXPECT_EQ(FontPixels(48, 120), 20);
}

TEST(WindowLayoutAt96Dpi, MatchesTheDesignedPixelFigures)
{
    const WindowLayout layout = LayoutAt(96);
    EXPECT_EQ(layout.dpi, 96);
    EXPECT_EQ(layout.clientWidth, 413);
    EXPECT_EQ(layout.clientHeight, 164);
    EXPECT_EQ(layout.panel, (Box{0, 0, 230, 120}));
    EXPECT_EQ(layout.picture, (Box{247, 0, 151, 96}));
    EXPECT_EQ(layout.lines[kGameName], (Box{29, 7, 167, 43}));
    EXPECT_EQ(layout.lines[kCredit], (Box{13, 63, 201, 21}));
    EXPECT_EQ(layout.lines[kSubtitle], (Box{14, 93, 201, 25}));
    EXPECT_EQ(layout.lines[kPackage], (Box{0, 133, 407, 25}));
    EXPECT_EQ(layout.fontHeights[kGameName], 37);
    EXPECT_EQ(layout.fontHeights[kCredit], 16);
    EXPECT_EQ(layout.fontHeights[kSubtitle], 16);
    EXPECT_EQ(layout.fontHeights[kPackage], 16);
}

TEST(WindowLayoutAt144Dpi, ScalesEveryFigureByHalfAgainWithRounding)
{
    const WindowLayout layout = LayoutAt(144);
    EXPECT_EQ(layout.clientWidth, 620);
    EXPECT_EQ(layout.clientHeight, 246);
    EXPECT_EQ(layout.panel, (Box{0, 0, 345, 180}));
    EXPECT_EQ(layout.picture, (Box{371, 0, 227, 144}));
    EXPECT_EQ(layout.lines[kGameName], (Box{44, 10, 251, 65}));
    EXPECT_EQ(layout.lines[kCredit], (Box{20, 95, 302, 32}));
    EXPECT_EQ(layout.lines[kSubtitle], (Box{21, 140, 302, 38}));
    EXPECT_EQ(layout.lines[kPackage], (Box{0, 200, 610, 38}));
    EXPECT_EQ(layout.fontHeights[kGameName], 56);
    EXPECT_EQ(layout.fontHeights[kPackage], 24);
}

TEST(WindowLayoutAtAnyDpi, KeepsEveryElementInItsContainer)
{
    for (int dpi = 72; dpi <= 480; ++dpi) {
        SCOPED_TRACE(dpi);
        const WindowLayout layout = LayoutAt(dpi);
        const Box client{0, 0, layout.clientWidth, layout.clientHeight};
        EXPECT_TRUE(Contains(client, layout.panel));
        EXPECT_TRUE(Contains(client, layout.picture));
        EXPECT_FALSE(Overlap(layout.panel, layout.picture));
        for (std::size_t i = 0; i < kLines.size(); ++i) {
            SCOPED_TRACE(kLines[i].member);
            const Box& container = kLines[i].container == Container::Panel ? layout.panel : client;
            EXPECT_TRUE(Contains(container, layout.lines[i]));
            // The text's em height must fit the box it is drawn in, or its lower part is cut off.
            EXPECT_LE(layout.fontHeights[i], layout.lines[i].height + 1);
        }
        // The package line sits below the panel, clear of it.
        EXPECT_GE(layout.lines[kPackage].top, layout.panel.bottom());
    }
}

TEST(WindowLayoutAtAnyDpi, GrowsMonotonicallyWithDpi)
{
    WindowLayout previous = LayoutAt(72);
    for (int dpi = 73; dpi <= 480; ++dpi) {
        SCOPED_TRACE(dpi);
        const WindowLayout layout = LayoutAt(dpi);
        EXPECT_GE(layout.clientWidth, previous.clientWidth);
        EXPECT_GE(layout.clientHeight, previous.clientHeight);
        EXPECT_GE(layout.picture.left, previous.picture.left);
        for (std::size_t i = 0; i < kLines.size(); ++i)
            EXPECT_GE(layout.fontHeights[i], previous.fontHeights[i]);
        previous = layout;
    }
}

TEST(Lines, OnlyThePackageLineTakesItsTextAtRunTime)
{
    int runtime = 0;
    for (const Line& line : kLines) {
        if (line.text == nullptr) {
            ++runtime;
            EXPECT_EQ(line.member, 2);
            EXPECT_EQ(line.container, Container::Window);
        }
    }
    EXPECT_EQ(runtime, 1);
    // An editor that trims trailing blanks would shift the centred subtitle half a space right.
    const std::wstring_view subtitle = kLines[kSubtitle].text;
    ASSERT_GE(subtitle.size(), 2U);
    EXPECT_EQ(subtitle.back(), L' ');
    EXPECT_NE(subtitle[subtitle.size() - 2], L' ');
}

TEST(Centring, SplitsTheSlackWithTheOddPixelOnTheRight)
{
    const Box box{10, 0, 100, 20};
    EXPECT_EQ(CentredLeft(box, 40), 40);  // 60 spare: 30 each side
    EXPECT_EQ(CentredLeft(box, 41), 39);  // 59 spare: 29 left, 30 right
    EXPECT_EQ(CentredLeft(box, 100), 10); // fills the box exactly
    EXPECT_EQ(CentredLeft(box, 0), 60);
}

TEST(Centring, OverhangsBothEdgesWhenTheTextIsTooWide)
{
    const Box box{10, 0, 100, 20};
    EXPECT_EQ(CentredLeft(box, 120), 0); // 10 over on each side
    EXPECT_EQ(CentredLeft(box, 103), 8); // 3 over: 2 on the left, 1 on the right
    EXPECT_EQ(CentredLeft(box, 101), 9);
}

} // namespace
} // namespace tazel::layout
