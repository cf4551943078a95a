#pragma once
// UTF-8 and UTF-16 text, converted by hand: the same on every build, whatever the C library's
// locale or the width of wchar_t.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tazel {

// The code points of `text`, or nothing when it is not strictly UTF-8: a stray or missing
// continuation byte, an overlong form, a surrogate or a value past U+10FFFF.
[[nodiscard]] std::optional<std::u32string> DecodeUtf8(std::string_view text);

// `text` in UTF-16, or nothing when it is not strictly UTF-8 (as above).
[[nodiscard]] std::optional<std::u16string> Utf8ToUtf16(std::string_view text);

// `text` in UTF-8; a lone surrogate, which UTF-8 cannot carry, becomes U+FFFD.
[[nodiscard]] std::string Utf16ToUtf8(std::u16string_view text);

void AppendUtf8(std::string& out, char32_t codePoint);

// The UTF-16 units of `text`, one wchar_t each, for the rules that read names the way the
// installer holds them. On Windows this is the text itself; where wchar_t is 32 bits wide the
// units are carried over undecoded, so unit counts and unit comparisons come out the same.
[[nodiscard]] std::wstring WideUnits(std::u16string_view text);

// The reverse: UTF-16 units from wide text, a wchar_t beyond 16 bits (UTF-32 text, where wchar_t
// is that wide) as its surrogate pair. Inline, for the installer's own small code.
[[nodiscard]] inline std::u16string Utf16Units(std::wstring_view text)
{
    std::u16string units;
    units.reserve(text.size());
    for (const wchar_t c : text) {
        const auto code = static_cast<std::uint32_t>(c);
        if (code > 0xFFFF) {
            units.push_back(static_cast<char16_t>(0xD800 + ((code - 0x10000) >> 10)));
            units.push_back(static_cast<char16_t>(0xDC00 + ((code - 0x10000) & 0x3FF)));
        } else {
            units.push_back(static_cast<char16_t>(code));
        }
    }
    return units;
}

} // namespace tazel
