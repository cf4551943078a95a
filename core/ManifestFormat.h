#pragma once
// The package record as it travels inside an installer: the packer writes it into a resource of
// the installer it makes, and the installer reads it back at the start of its run. One rule for
// both sides, so the two can never disagree on the bytes.
//
//   offset  size    field (little-endian)
//   0       4       magic "TZPK"
//   4       2       format version, 3
//   6       1       count of file names
//   7       1       how the payload entries are stored: 0 raw, 1 LZMA
//   8       ...     fields, each a tag (2), a length (4) and that many bytes, in this order:
//                   1 installer name, 2 display name: UTF-16LE, no terminator
//                   3 file name: once for each entry, in entry order
//                   4 payload digest: entry index (2) and SHA-256 (32), entries ascending
//                   5 the record's digest: SHA-256 of every byte before this field; last
//
// A record with a field it does not know or out of its place, a length past the end or a digest
// of its own that does not match is refused whole: packer and stub always travel together, so
// such a record is a damaged one.

#include "core/Expected.h"
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "core/PackageManifest.h"

namespace tazel {

// Where the installer finds its record: resource 1 of this named type, language neutral.
inline constexpr wchar_t kPackageRecordResourceType[] = L"PACKAGE";
inline constexpr int kPackageRecordResourceId = 1;

enum class RecordFault {
    NotARecord,   // no magic, or a format this installer does not read
    Truncated,    // a field runs past the end
    UnknownField, // a tag this format does not have, or one out of its place
    BadText,      // a text of an odd number of bytes
    TooManyFiles, // more file names than the record announces, or than an installer carries
    BadDigest,    // a digest field of the wrong size, or for an entry out of range or order
    BadStorage,   // a way of storing the entries this format does not have
    Damaged,      // the record's own digest does not match it
};

[[nodiscard]] std::vector<std::byte> EncodePackageRecord(const PackageManifest& manifest);
[[nodiscard]] Expected<PackageManifest, RecordFault> DecodePackageRecord(std::span<const std::byte> bytes);

} // namespace tazel
