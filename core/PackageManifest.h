#pragma once
// The package record: everything specific to the package this installer carries.
// One per installer: the packer writes it into the executable, which reads it at the start of its run
// (core/ManifestFormat.h).

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "core/Sha256.h"

namespace tazel {

inline constexpr std::size_t kFileCount = 8;

// How the payload entries are stored: as the files' own bytes, or compressed (core/CodedEntry.h).
enum class PayloadStorage : std::uint16_t { Raw = 0, Lzma = 1 };

struct PackageManifest {
    std::wstring InstallerName;
    std::wstring DisplayName;
    std::array<std::wstring, kFileCount> FileNames;
    std::int32_t LastFileIndex = 0;
    // What the packer found in each payload entry it wrote; none for an entry it wrote no
    // resource for (test packages only), which is fetched as it is.
    std::array<std::optional<Sha256Digest>, kFileCount> PayloadDigests = {};
    PayloadStorage Storage = PayloadStorage::Raw;
};

// Compiled-in constants that the manifest does not carry.
inline constexpr wchar_t kPayloadResourceType[] = L"CUSTOM";
// Compressed entries, by the same numbers: never of the type that holds a file's raw bytes, so no
// reader of those takes them for one.
inline constexpr wchar_t kCompressedPayloadResourceType[] = L"LZMA";
inline constexpr int kFirstPayloadResourceId = 101;
inline constexpr std::int32_t kCommonAppDataFolderId = 35; // CSIDL_COMMON_APPDATA
inline constexpr wchar_t kGameGraphicsFolder[] = L"\\Ombrix\\graphics";
inline constexpr std::int32_t kPresentationPauseMs = 2000;
inline constexpr wchar_t kPackageLineSuffix[] = L" Installation";
inline constexpr wchar_t kInstalledSuffix[] = L" Installed!";
inline constexpr wchar_t kApplicationTitle[] = L"TazelDeck";

// The manifest is usable only when it names its main file.
bool IsManifestUsable(const PackageManifest& manifest);

// The endings of the main file's name that make a face package and a deck package.
inline constexpr wchar_t kFaceEnding[] = L"fac";
inline constexpr wchar_t kDeckEnding[] = L"dek";

// The kind rule: the last three characters of the main file's name select how many
// entries are installed (kFaceEnding: five, kDeckEnding: eight, anything else: only the first).
std::int32_t LastFileIndexFor(std::wstring_view firstFileName);

} // namespace tazel
