#include "core/NameRules.h"

#include <algorithm>
#include <cstdint>

#include "core/Utf.h"

namespace tazel {
namespace {

constexpr std::u16string_view kRefusedCharacters = u"<>:\"/\\|?*";

// Lower-case units and their capitals. An offset range moves every unit in it by `delta`; a
// paired range alternates capital, small letter, capital ... from `first` on.
struct CaseRange {
    char16_t first;
    char16_t last;
    std::int32_t delta; // 0: a paired range
};

// The tables keep their rows as the blocks of Unicode they follow.
// clang-format off
constexpr CaseRange kCaseRanges[] = {
    // ASCII and Latin-1
    {0x0061, 0x007A, -32}, {0x00B5, 0x00B5, 0x039C - 0x00B5}, {0x00E0, 0x00F6, -32}, {0x00F8, 0x00FE, -32},
    {0x00FF, 0x00FF, 0x0178 - 0x00FF},
    // Latin Extended-A
    {0x0100, 0x012F, 0}, {0x0131, 0x0131, 'I' - 0x0131}, {0x0132, 0x0137, 0}, {0x0139, 0x0148, 0},
    {0x014A, 0x0177, 0}, {0x0179, 0x017E, 0}, {0x017F, 0x017F, 'S' - 0x017F},
    // Latin Extended-B
    {0x0180, 0x0180, 0x0243 - 0x0180}, {0x0182, 0x0185, 0}, {0x0187, 0x0188, 0}, {0x018B, 0x018C, 0},
    {0x0191, 0x0192, 0}, {0x0195, 0x0195, 0x01F6 - 0x0195}, {0x0198, 0x0199, 0},
    {0x019A, 0x019A, 0x023D - 0x019A}, {0x019E, 0x019E, 0x0220 - 0x019E}, {0x01A0, 0x01A5, 0},
    {0x01A7, 0x01A8, 0}, {0x01AC, 0x01AD, 0}, {0x01AF, 0x01B0, 0}, {0x01B3, 0x01B6, 0}, {0x01B8, 0x01B9, 0},
    {0x01BC, 0x01BD, 0}, {0x01BF, 0x01BF, 0x01F7 - 0x01BF}, {0x01C5, 0x01C5, -1}, {0x01C6, 0x01C6, -2},
    {0x01C8, 0x01C8, -1}, {0x01C9, 0x01C9, -2}, {0x01CB, 0x01CB, -1}, {0x01CC, 0x01CC, -2}, {0x01CD, 0x01DC, 0},
    {0x01DD, 0x01DD, 0x018E - 0x01DD}, {0x01DE, 0x01EF, 0}, {0x01F2, 0x01F2, -1}, {0x01F3, 0x01F3, -2},
    {0x01F4, 0x01F5, 0}, {0x01F8, 0x021F, 0}, {0x0222, 0x0233, 0}, {0x023B, 0x023C, 0},
    {0x023F, 0x0240, 0x2C7E - 0x023F}, {0x0241, 0x0242, 0}, {0x0246, 0x024F, 0},
    // IPA letters whose capitals are in Latin Extended-B, -C or -D
    {0x0250, 0x0250, 0x2C6F - 0x0250}, {0x0251, 0x0251, 0x2C6D - 0x0251}, {0x0252, 0x0252, 0x2C70 - 0x0252},
    {0x0253, 0x0253, 0x0181 - 0x0253}, {0x0254, 0x0254, 0x0186 - 0x0254}, {0x0256, 0x0257, 0x0189 - 0x0256},
    {0x0259, 0x0259, 0x018F - 0x0259}, {0x025B, 0x025B, 0x0190 - 0x025B}, {0x025C, 0x025C, 0xA7AB - 0x025C},
    {0x0260, 0x0260, 0x0193 - 0x0260}, {0x0261, 0x0261, 0xA7AC - 0x0261}, {0x0263, 0x0263, 0x0194 - 0x0263},
    {0x0265, 0x0265, 0xA78D - 0x0265}, {0x0266, 0x0266, 0xA7AA - 0x0266}, {0x0268, 0x0268, 0x0197 - 0x0268},
    {0x0269, 0x0269, 0x0196 - 0x0269}, {0x026A, 0x026A, 0xA7AE - 0x026A}, {0x026B, 0x026B, 0x2C62 - 0x026B},
    {0x026C, 0x026C, 0xA7AD - 0x026C}, {0x026F, 0x026F, 0x019C - 0x026F}, {0x0271, 0x0271, 0x2C6E - 0x0271},
    {0x0272, 0x0272, 0x019D - 0x0272}, {0x0275, 0x0275, 0x019F - 0x0275}, {0x027D, 0x027D, 0x2C64 - 0x027D},
    {0x0280, 0x0280, 0x01A6 - 0x0280}, {0x0282, 0x0282, 0xA7C5 - 0x0282}, {0x0283, 0x0283, 0x01A9 - 0x0283},
    {0x0287, 0x0287, 0xA7B1 - 0x0287}, {0x0288, 0x0288, 0x01AE - 0x0288}, {0x0289, 0x0289, 0x0244 - 0x0289},
    {0x028A, 0x028B, 0x01B1 - 0x028A}, {0x028C, 0x028C, 0x0245 - 0x028C}, {0x0292, 0x0292, 0x01B7 - 0x0292},
    {0x029D, 0x029D, 0xA7B2 - 0x029D}, {0x029E, 0x029E, 0xA7B0 - 0x029E},
    // Greek, its symbol forms with their letters
    {0x0345, 0x0345, 0x0399 - 0x0345}, {0x0370, 0x0373, 0}, {0x0376, 0x0377, 0}, {0x037B, 0x037D, 0x03FD - 0x037B},
    {0x03AC, 0x03AC, 0x0386 - 0x03AC}, {0x03AD, 0x03AF, 0x0388 - 0x03AD}, {0x03B1, 0x03C1, -32},
    {0x03C2, 0x03C2, 0x03A3 - 0x03C2}, {0x03C3, 0x03CB, -32}, {0x03CC, 0x03CC, 0x038C - 0x03CC},
    {0x03CD, 0x03CE, 0x038E - 0x03CD}, {0x03D0, 0x03D0, 0x0392 - 0x03D0}, {0x03D1, 0x03D1, 0x0398 - 0x03D1},
    {0x03D5, 0x03D5, 0x03A6 - 0x03D5}, {0x03D6, 0x03D6, 0x03A0 - 0x03D6}, {0x03D7, 0x03D7, 0x03CF - 0x03D7},
    {0x03D8, 0x03EF, 0}, {0x03F0, 0x03F0, 0x039A - 0x03F0}, {0x03F1, 0x03F1, 0x03A1 - 0x03F1},
    {0x03F2, 0x03F2, 0x03F9 - 0x03F2}, {0x03F3, 0x03F3, 0x037F - 0x03F3}, {0x03F5, 0x03F5, 0x0395 - 0x03F5},
    {0x03F7, 0x03F8, 0}, {0x03FA, 0x03FB, 0},
    // Cyrillic and its supplement
    {0x0430, 0x044F, -32}, {0x0450, 0x045F, -80}, {0x0460, 0x0481, 0}, {0x048A, 0x04BF, 0}, {0x04C1, 0x04CE, 0},
    {0x04CF, 0x04CF, 0x04C0 - 0x04CF}, {0x04D0, 0x052F, 0},
    // Armenian
    {0x0561, 0x0586, -48},
    // Latin Extended Additional
    {0x1E00, 0x1E95, 0}, {0x1E9B, 0x1E9B, 0x1E60 - 0x1E9B}, {0x1EA0, 0x1EFF, 0},
    // Latin Extended-C
    {0x2C60, 0x2C61, 0}, {0x2C65, 0x2C65, 0x023A - 0x2C65}, {0x2C66, 0x2C66, 0x023E - 0x2C66}, {0x2C67, 0x2C6C, 0},
    {0x2C72, 0x2C73, 0}, {0x2C75, 0x2C76, 0},
    // Full-width Latin
    {0xFF41, 0xFF5A, -32},
};

struct Block {
    char32_t first;
    char32_t last;
};

// From U+00C0 on, what holds no letters or digits (or only marks and symbols).
constexpr Block kNotLetters[] = {
    {0x00D7, 0x00D7},   {0x00F7, 0x00F7},   // × ÷
    {0x0300, 0x036F},                       // combining diacritical marks
    {0x2000, 0x206F},                       // general punctuation, invisible format characters
    {0x20A0, 0x20FF},                       // currency signs, combining marks for symbols
    {0x2190, 0x245F},                       // arrows, mathematical operators, technical symbols
    {0x2500, 0x2775},   {0x2794, 0x2BFF},   // box drawing, shapes, symbols, dingbats (not ❶ to ➓)
    {0x3000, 0x3003},                       // ideographic space and punctuation
    {0xFE00, 0xFE1F},   {0xFE30, 0xFE4F},   // variation selectors, vertical and compatibility forms
    {0xFEFF, 0xFEFF},   {0xFFF0, 0xFFFF},   // byte order mark, specials
    {0x1F000, 0x1F0FF}, {0x1F300, 0x1FAFF}, // game pieces and cards, pictographs and emoji
};
// clang-format on

bool IsDeviceName(std::u16string_view stem)
{
    constexpr std::u16string_view kPlain[] = {u"CON", u"PRN", u"AUX", u"NUL", u"CONIN$", u"CONOUT$"};
    for (const std::u16string_view device : kPlain) {
        if (stem == device)
            return true;
    }
    // COM and LPT with one digit, superscript ¹ ² ³ included: Windows reads those as digits too.
    if (stem.size() != 4 || (stem.substr(0, 3) != u"COM" && stem.substr(0, 3) != u"LPT"))
        return false;
    const char16_t number = stem[3];
    return (number >= u'0' && number <= u'9') || number == 0x00B9 || number == 0x00B2 || number == 0x00B3;
}

NameVerdict Fault(NameFault fault, char16_t character = 0)
{
    NameVerdict verdict;
    verdict.fault = fault;
    verdict.character = character;
    return verdict;
}

} // namespace

NameVerdict JudgeWindowsFileName(std::u16string_view name)
{
    if (name.empty())
        return Fault(NameFault::Empty);
    if (name == u"." || name == u"..")
        return Fault(NameFault::FolderName);
    if (const auto at = name.find_first_of(u"\\/"); at != std::u16string_view::npos)
        return Fault(NameFault::FolderPart, name[at]);
    for (const char16_t c : name) {
        if (c < 0x20)
            return Fault(NameFault::ControlCharacter, c);
        if (kRefusedCharacters.find(c) != std::u16string_view::npos)
            return Fault(NameFault::RefusedCharacter, c);
    }
    if (name.back() == u'.')
        return Fault(NameFault::EndsInDot);
    if (name.back() == u' ')
        return Fault(NameFault::EndsInSpace);

    // Windows reads the part before the first dot, without the spaces it ends in, as a device.
    std::u16string_view stem = name.substr(0, name.find(u'.'));
    while (!stem.empty() && stem.back() == u' ')
        stem.remove_suffix(1);
    std::u16string device = WindowsNameKey(stem);
    if (!IsDeviceName(device))
        return {};
    NameVerdict verdict = Fault(NameFault::DeviceName);
    verdict.device = std::move(device);
    return verdict;
}

char16_t WindowsUpperCase(char16_t unit)
{
    for (const CaseRange& range : kCaseRanges) {
        if (unit < range.first)
            break;
        if (unit > range.last)
            continue;
        if (range.delta != 0)
            return static_cast<char16_t>(unit + range.delta);
        return (unit - range.first) % 2 == 1 ? static_cast<char16_t>(unit - 1) : unit;
    }
    return unit;
}

std::u16string WindowsNameKey(std::u16string_view name)
{
    std::u16string key(name);
    for (char16_t& unit : key)
        unit = WindowsUpperCase(unit);
    return key;
}

bool IsSpeltAsTemporaryFileOf(std::u16string_view name, std::u16string_view target)
{
    // The installer's own matcher, so that a name is refused exactly when a run would remove it.
    return TemporaryFileWriter(WideUnits(name), WideUnits(target)).has_value();
}

bool IsInstallerNameCharacter(char32_t c)
{
    if (c < 0x80)
        return (c >= U'0' && c <= U'9') || (c >= U'A' && c <= U'Z') || (c >= U'a' && c <= U'z') ||
               kInstallerNameSigns.find(c) != std::u32string_view::npos;
    if (c < 0xC0) {
        constexpr std::u32string_view kLatin1 = U"\u00AA\u00B2\u00B3\u00B5\u00B9\u00BA\u00BC\u00BD\u00BE";
        return kLatin1.find(c) != std::u32string_view::npos;
    }
    return std::none_of(std::begin(kNotLetters), std::end(kNotLetters),
                        [c](const Block& block) { return c >= block.first && c <= block.last; });
}

} // namespace tazel
