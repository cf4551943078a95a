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

// One UTF-16 unit in upper case by a fixed table of simple mappings, as Windows compares file
// names: ASCII, Latin-1, Latin Extended-A and -B (with the IPA letters of their capitals),
// Greek, Cyrillic, Armenian, Latin Extended Additional and the full-width Latin letters. Like
// Windows' own table it leaves the letters whose capital is plain ASCII (dotless i, long s) and
// the title-case digraphs as they are. Not the C library's towupper: that differs between builds.
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

// A letter, a digit or one of kInstallerNameSigns. Letters and digits are ASCII ones, the
// Latin-1 letters, digits and fractions (ª ² ³ µ ¹ º ¼ ½ ¾, À on, but for × and ÷), and every
// code point from U+0100 on outside the blocks of punctuation and invisible format characters
// (U+2000-U+206F, U+FE00-U+FE0F, U+FEFF, U+FFF0-U+FFFF): a broad Unicode letter test without
// a character database, which keeps out what looks like nothing or like punctuation.
[[nodiscard]] bool IsInstallerNameCharacter(char32_t c);

} // namespace tazel
