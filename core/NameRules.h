#pragma once
// What Windows accepts as a file name and which names it takes for the same file: the rules a
// package's names are held to before an installer is made. Pure functions on UTF-16 units, the
// way Windows reads names, so that every build judges a name alike.

#include <cstddef>
#include <string>
#include <string_view>

#include "core/TemporaryFiles.h"

namespace tazel {

// A package's file name has to leave room for the suffix of the temporary file written beside it.
inline constexpr std::size_t kLongestFileName = kLongestNameComponent - kLongestTemporarySuffix;

enum class NameFault {
    None,
    Empty,
    FolderName,       // "." or ".."
    FolderPart,       // holds "\" or "/"
    RefusedCharacter, // one of < > : " / \ | ? *
    ControlCharacter, // U+0001 to U+001F (and U+0000)
    EndsInDot,
    EndsInSpace,
    DeviceName, // CON, COM1, LPT¹ ..., with any extension, in any case
};

struct NameVerdict {
    NameFault fault = NameFault::None;
    char16_t character = 0; // the first offending one, for FolderPart, RefusedCharacter, ControlCharacter
    std::u16string device;  // the device as Windows names it (upper case), for DeviceName
};

// Why Windows cannot hold `name` as a file name in a folder; the faults are looked for in the
// order of NameFault and the first one found is the verdict. The length is not judged here.
[[nodiscard]] NameVerdict JudgeWindowsFileName(std::u16string_view name);

// One UTF-16 unit in upper case, as Windows compares file names: one unit at a time, by a fixed
// table (not the C library's towupper, which differs between the builds) of Unicode's simple
// upper-case mappings for ASCII, Latin-1, Latin Extended-A, -B, -C and Additional, the IPA
// letters, Greek, Cyrillic, Armenian and the full-width Latin letters. Windows' own table
// leaves a few of these alone (dotless i, long s, the micro sign, the title-case digraphs, the
// Greek symbol forms); mapping them anyway can only take two names Windows holds apart for one
// file, and refuse them, never the other way round.
[[nodiscard]] char16_t WindowsUpperCase(char16_t unit);

// The key under which Windows finds `name`: two names are the same file when their keys are equal.
[[nodiscard]] std::u16string WindowsNameKey(std::u16string_view name);

// True when `name` is spelt exactly as a temporary file a run writes for `target`, which a later
// run would remove as an interrupted run's leftover.
[[nodiscard]] bool IsSpeltAsTemporaryFileOf(std::u16string_view name, std::u16string_view target);

// U+0000 to U+001F, U+007F and U+0080 to U+009F: the Unicode control characters.
[[nodiscard]] constexpr bool IsControlCharacter(char32_t c)
{
    return c < 0x20 || (c >= 0x7F && c <= 0x9F);
}

// The signs an installer name may hold besides letters and digits: it becomes "<name>.exe" and
// passes through the build's file names and commands.
inline constexpr std::u32string_view kInstallerNameSigns = U" -_.()";

// A letter, a digit or one of kInstallerNameSigns, by a broad test without a character
// database: ASCII letters and digits, the Latin-1 letters, digits and fractions (ª ² ³ µ ¹ º ¼ ½
// ¾, and from À on), and every code point from U+0100 on outside a short list of blocks of
// marks, punctuation, symbols and invisible characters. It lets through some symbols a full
// Unicode test would refuse; none of them troubles a file name.
[[nodiscard]] bool IsInstallerNameCharacter(char32_t c);

} // namespace tazel
