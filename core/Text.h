#pragma once
// Small text rules shared by the core and the platform.

#include <cstddef>
#include <cstdint>
#include <iterator>
#include <string>

namespace tazel {

// `text` without the line breaks and spaces it ends in, as the system's message texts do.
[[nodiscard]] inline std::wstring TrimTrailingBreaks(std::wstring text)
{
    while (!text.empty() && (text.back() == L'\r' || text.back() == L'\n' || text.back() == L' '))
        text.pop_back();
    return text;
}

// The digits of bases up to 16, in lower case.
inline constexpr wchar_t kDigitChars[] = L"0123456789abcdef";

// `value` in `base` (2 to 16; nothing for any other) with lower-case digits, zero-padded to
// `width`. Numbers are written by hand: the C library's formatted output would bring its whole
// printf engine, some 40 KB, into the installer.
[[nodiscard]] inline std::wstring Digits(std::uint32_t value, std::uint32_t base, std::size_t width = 1)
{
    if (base < 2 || base > 16)
        return {};
    wchar_t digits[32] = {}; // a 32-bit value has at most 32 digits, in base 2
    wchar_t* first = std::end(digits);
    do {
        *--first = kDigitChars[value % base];
        value /= base;
    } while (value != 0);
    const auto count = static_cast<std::size_t>(std::end(digits) - first);
    std::wstring text(width > count ? width - count : 0, L'0');
    text.append(first, count);
    return text;
}

// `value` in hexadecimal, narrow, zero-padded to `width`: the package maker's messages write
// offsets, code points and bytes so.
[[nodiscard]] inline std::string HexDigits(std::uint64_t value, std::size_t width = 1, bool upperCase = false)
{
    constexpr char kLower[] = "0123456789abcdef";
    constexpr char kUpper[] = "0123456789ABCDEF";
    const char* digits = upperCase ? kUpper : kLower;
    std::string text;
    do {
        text.insert(text.begin(), digits[value % 16]);
        value /= 16;
    } while (value != 0);
    return std::string(width > text.size() ? width - text.size() : 0, '0') + text;
}

} // namespace tazel
