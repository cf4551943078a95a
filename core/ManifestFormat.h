#pragma once
// The package record as it travels inside an installer: the packer writes the manifest into a
// resource of the installer it makes, and the installer reads it back at the start of its run.
// One rule for both sides, so the two can never disagree on the bytes.
//
// Little-endian throughout: the magic "TZPK", a 16-bit format version, the 8-bit count of file
// names, the 8-bit way the payload entries are stored (0: raw, 1: LZMA), then fields, each a 16-bit tag, a 32-bit length and that many bytes. Texts are UTF-16LE
// without a terminator. The file names come as one field each, in the order of their payload
// entries; then the SHA-256 digest of each payload entry the installer carries (a 16-bit entry
// index, ascending, and the 32 bytes); and last the SHA-256 digest of every byte of the record
// before that field. A record with a field it does not know, a field out of its place, a length
// past the end or a digest of its own that does not match is refused whole: the packer and its
// stub always travel together, so such a record is a damaged one.

#include <cstddef>
#include <cstdint>
#include "core/Expected.h"
#include <span>
#include <vector>

#include "core/PackageManifest.h"

namespace tazel {

// Where the installer finds its record: resource 1 of this named type, language neutral.
inline constexpr wchar_t kPackageRecordResourceType[] = L"PACKAGE";
inline constexpr int kPackageRecordResourceId = 1;

enum class RecordFault {
    NotARecord,    // no magic, or a format this installer does not read
    Truncated,     // a field runs past the end
    UnknownField,  // a tag this format does not have, or one out of its place
    BadText,       // a text of an odd number of bytes
    TooManyFiles,  // more file names than the record announces, or than an installer carries
    BadDigest,     // a digest field of the wrong size, or for an entry out of range or order
    BadStorage,    // a way of storing the entries this format does not have
    Damaged,       // the record's own digest does not match it
};

[[nodiscard]] std::vector<std::byte> EncodePackageRecord(const PackageManifest& manifest);
[[nodiscard]] Expected<PackageManifest, RecordFault> DecodePackageRecord(std::span<const std::byte> bytes);

} // namespace tazel
