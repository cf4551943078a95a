#pragma once
// The version block (a VS_VERSIONINFO resource): the fixed file information, one string table and
// the translations, byte for byte as windres compiles the same VERSIONINFO statement.

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "packer/PackError.h"

namespace tazel::pack {

inline constexpr std::uint32_t kFileFlagsMaskAll = 0x3F; // VS_FFI_FILEFLAGSMASK
inline constexpr std::uint32_t kFileOsWindows32 = 0x4;   // VOS__WINDOWS32
inline constexpr std::uint32_t kFileTypeApp = 0x1;       // VFT_APP

struct FixedFileInfo {
    std::array<std::uint16_t, 4> fileVersion{};
    std::array<std::uint16_t, 4> productVersion{};
    std::uint32_t fileFlagsMask = kFileFlagsMaskAll;
    std::uint32_t fileFlags = 0;
    std::uint32_t fileOs = kFileOsWindows32;
    std::uint32_t fileType = kFileTypeApp;
    std::uint32_t fileSubtype = 0;
};

struct VersionString {
    std::u16string key;
    std::u16string value;
};

struct Translation {
    std::uint16_t language = 0;
    std::uint16_t codePage = 0;
};

struct VersionInfo {
    FixedFileInfo fixed;
    // The string table's key: language and code page in hexadecimal, such as u"040904B0".
    std::u16string tableKey;
    // In the order given, which is the order the block keeps.
    std::vector<VersionString> strings;
    std::vector<Translation> translations;
};

// Refused: a key or value with a NUL in it (the format ends texts at NUL), a block whose parts
// outgrow the format's 16-bit lengths.
[[nodiscard]] Expected<std::vector<std::byte>> BuildVersionBlock(const VersionInfo& info);

} // namespace tazel::pack
