#include <gtest/gtest.h>

#include "core/NameRules.h"
#include "core/Utf.h"

namespace tazel {
namespace {

std::u16string Units(std::string_view utf8)
{
    return Utf8ToUtf16(utf8).value();
}

TEST(NameRulesTest, CaseIsIgnoredUnitByUnitBeyondAscii)
{
    const std::pair<const char*, const char*> same[] = {
        {"\u00e9t\u00e9", "\u00c9T\u00c9"},
        {"\u00ff", "\u0178"},
        {"\u0142\u0105", "\u0141\u0104"},
        {"\u01c6", "\u01c4"},
        {"\u01c5", "\u01c4"},
        {"\u03c3\u03c2", "\u03a3\u03a3"},
        {"\u0451\u0436", "\u0401\u0416"},
        {"\u0561", "\u0531"},
        {"\u1ea1", "\u1ea0"},
        {"\uff41", "\uff21"},
        {"\u0131", "I"},
    };
    for (const auto& [small, capital] : same)
        EXPECT_EQ(WindowsNameKey(Units(small)), WindowsNameKey(Units(capital))) << small;

    // No unit becomes two, and an astral letter's surrogates stay as they are.
    const std::pair<const char*, const char*> different[] = {
        {"\u00df", "SS"}, {"i", "\u0130"}, {"\U00010428", "\U00010400"}, {"\u00e9", "E"}};
    for (const auto& [one, other] : different)
        EXPECT_NE(WindowsNameKey(Units(one)), WindowsNameKey(Units(other))) << one;
}

TEST(NameRulesTest, DeviceNamesAreFoundInAnyCaseBeforeTheFirstDot)
{
    const std::pair<const char*, const char16_t*> devices[] = {
        {"lpt\u00b3.a.b", u"LPT\u00b3"}, {"Conin$ .txt", u"CONIN$"}, {"com0", u"COM0"}};
    for (const auto& [name, device] : devices) {
        const NameVerdict verdict = JudgeWindowsFileName(Units(name));
        EXPECT_EQ(verdict.fault, NameFault::DeviceName) << name;
        EXPECT_EQ(verdict.device, device) << name;
    }
    for (const char* name : {"com10", "c.con", "lpt\u2074", "conx"})
        EXPECT_EQ(JudgeWindowsFileName(Units(name)).fault, NameFault::None) << name;
}

TEST(UtfTest, AstralCharactersAreTwoUnitsAndComeBackWhole)
{
    const std::string text = "a\u00e9\u20ac\U0001F0A1\U0010FFFF";
    const std::u16string units = Units(text);
    EXPECT_EQ(units.size(), 7u);
    EXPECT_EQ(units.substr(3, 2), u"\U0001F0A1");
    EXPECT_EQ(Utf16ToUtf8(units), text);
    EXPECT_EQ(Utf16ToUtf8(u"a\xD800z\xDC00"), "a\uFFFDz\uFFFD") << "a lone surrogate cannot be carried";
}

TEST(UtfTest, MalformedUtf8IsRefused)
{
    const char* malformed[] = {
        "\x80",             // a continuation byte first
        "\xc3",             // a lead byte at the end
        "\xe2\x82",         // cut short
        "\xc3\x28",         // a lead byte without its continuation
        "\xc0\xaf",         // overlong '/'
        "\xe0\x80\xaf",     // overlong, three bytes
        "\xf0\x82\x82\xac", // overlong, four bytes
        "\xed\xa0\x80",     // a surrogate
        "\xf4\x90\x80\x80", // past U+10FFFF
        "\xff",
    };
    for (const char* bytes : malformed) {
        EXPECT_FALSE(DecodeUtf8(bytes)) << testing::PrintToString(bytes);
        EXPECT_FALSE(Utf8ToUtf16(std::string("ok") + bytes)) << testing::PrintToString(bytes);
    }
    EXPECT_EQ(DecodeUtf8("\xef\xbf\xbf\xf4\x8f\xbf\xbf\xc2\x80"), U"\uFFFF\U0010FFFF\u0080");
}

} // namespace
} // namespace tazel
