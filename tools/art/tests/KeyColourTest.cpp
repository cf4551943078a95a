// The host program keys out pure green only in the card strips. Anywhere else, and inside
// a strip's cards, key green (or a smear of it) would show as a green blot.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <sstream>
#include <string>

#include "ArtFiles.h"

namespace tazel::art::test {
namespace {

double KeyDistance(const Pixel& p)
{
    const double dg = 255 - p.G;
    return std::sqrt(static_cast<double>(p.R) * p.R + dg * dg + static_cast<double>(p.B) * p.B);
}

int GreenTint(const Pixel& p)
{
    return p.G - std::max(p.R, p.B);
}

// The leaf card's greens come closest to the key of anything drawn, and they stay about
// 150 away even after JPEG loss. A key pixel stays within a few steps of the key in a
// lossless picture and in the deck sheet's full-resolution colour.
constexpr double kMinKeyDistance = 100;

// The window and icon hands hold no green card; their only green details are small and
// come out barely tinted once chroma is halved. Key green halved with its surroundings
// still leaves a strong tint, even from a single pixel or an antialiased corner sliver.
constexpr int kMaxTintWithoutGreenCards = 30;

struct Offenders {
    long Count = 0;
    std::string First;
};

// Pixels of `picture` that `bad` flags; exact key green is left out when `skipKey`, for
// the strips' corners, which their own tests check.
Offenders Find(const Picture& picture, const std::function<bool(const Pixel&)>& bad, bool skipKey)
{
    Offenders out;
    std::ostringstream first;
    for (int y = 0; y < picture.Height; ++y) {
        for (int x = 0; x < picture.Width; ++x) {
            const Pixel& p = picture.At(x, y);
            if ((skipKey && p.IsKeyGreen()) || !bad(p))
                continue;
            if (out.Count++ < 5)
                first << " (" << x << "," << y << ")=" << p.R << "/" << p.G << "/" << p.B;
        }
    }
    out.First = first.str();
    return out;
}

bool NearKey(const Pixel& p)
{
    return KeyDistance(p) < kMinKeyDistance;
}
bool Tinted(const Pixel& p)
{
    return GreenTint(p) > kMaxTintWithoutGreenCards;
}

// The predicates must actually see the key, or every check below passes vacuously.
TEST(KeyColour, ThePredicatesRecogniseTheStripCorners)
{
    const Picture strip = BmpPixels(ReadOutput("Tazel0.cbx"));
    ASSERT_TRUE(strip.At(0, 0).IsKeyGreen());
    EXPECT_TRUE(NearKey(strip.At(0, 0)));
    EXPECT_TRUE(Tinted(strip.At(0, 0)));
    EXPECT_TRUE(NearKey({0, 254, 0})) << "one step off the key must still count";
    EXPECT_TRUE(Tinted({90, 160, 100})) << "a key pixel smeared into grey must still count";
}

TEST(KeyColour, WindowPictureShowsNoKeyGreen)
{
    const Picture window = DecodeJpeg(ReadOutput("Window.jpg")).Image;
    const Offenders near = Find(window, NearKey, false);
    EXPECT_EQ(near.Count, 0) << near.First;
    const Offenders tinted = Find(window, Tinted, false);
    EXPECT_EQ(tinted.Count, 0) << tinted.First;
}

TEST(KeyColour, IconShowsNoKeyGreen)
{
    const Picture icon = IconPixels(ReadOutput("Icon30001.bin"));
    ASSERT_EQ(icon.Width, 32);
    ASSERT_EQ(icon.Height, 32);
    const Offenders near = Find(icon, NearKey, false);
    EXPECT_EQ(near.Count, 0) << near.First;
    const Offenders tinted = Find(icon, Tinted, false);
    EXPECT_EQ(tinted.Count, 0) << tinted.First;
}

// The sheet includes the leaf card, so only closeness to the key itself is held against it.
TEST(KeyColour, DeckSheetShowsNoKeyGreen)
{
    const Picture deck = DecodeJpeg(ReadOutput("Tazel.dek")).Image;
    const Offenders near = Find(deck, NearKey, false);
    EXPECT_EQ(near.Count, 0) << near.First;
}

// Drawing code that lands on the key is nudged one step off it, so the strips' own
// exact-key checks cannot see green that leaked into a card.
TEST(KeyColour, StripCardsShowNoKeyGreenBesideTheirCorners)
{
    for (int i = 0; i < 7; ++i) {
        const std::string name = "Tazel" + std::to_string(i) + ".cbx";
        const Offenders near = Find(BmpPixels(ReadOutput(name)), NearKey, true);
        EXPECT_EQ(near.Count, 0) << name << near.First;
    }
}

} // namespace
} // namespace tazel::art::test
