#include "core/ManifestFormat.h"

#include <algorithm>
#include <string>
#include <string_view>

#include "core/LittleEndian.h"
#include "core/Utf.h"

namespace tazel {
namespace {

constexpr std::byte kMagic[] = {std::byte{'T'}, std::byte{'Z'}, std::byte{'P'}, std::byte{'K'}};
// 2: the digests came in; 3: the way the entries are stored. A record of another version is not read.
constexpr std::uint16_t kFormatVersion = 3;

// In the order they must stand; a file name may repeat, up to kFileCount times, and so may an
// entry's digest.
enum Tag : std::uint16_t { kInstallerName = 1, kDisplayName = 2, kFileName = 3, kPayloadDigest = 4, kRecordDigest = 5 };

constexpr std::size_t kFieldHead = 6;
constexpr std::size_t kEntryIndexBytes = 2;

// UTF-16 in the record, one wchar_t a unit (a wider one as its surrogate pair).
std::vector<std::byte> Utf16Bytes(std::wstring_view text)
{
    std::vector<std::byte> bytes;
    AppendUtf16(bytes, Utf16Units(text));
    return bytes;
}

// One wchar_t a UTF-16 unit, on every build: where wchar_t is 32 bits wide, surrogates stay
// undecoded, as the core's other rules hold names.
std::wstring TextFromUtf16(std::span<const std::byte> bytes)
{
    std::wstring text;
    text.reserve(bytes.size() / 2);
    for (std::size_t i = 0; i + 1 < bytes.size(); i += 2)
        text.push_back(static_cast<wchar_t>(ReadU16(bytes, i)));
    return text;
}

void PutField(std::vector<std::byte>& out, Tag tag, std::span<const std::byte> value)
{
    AppendU16(out, tag);
    AppendU32(out, static_cast<std::uint32_t>(value.size()));
    out.insert(out.end(), value.begin(), value.end());
}

} // namespace

std::vector<std::byte> EncodePackageRecord(const PackageManifest& manifest)
{
    std::vector<std::byte> out(std::begin(kMagic), std::end(kMagic));
    AppendU16(out, kFormatVersion);
    // Trailing empty names are not written: the installer never reads an entry past its kind's last.
    std::size_t count = kFileCount;
    while (count > 0 && manifest.FileNames[count - 1].empty())
        --count;
    out.push_back(static_cast<std::byte>(count));
    out.push_back(static_cast<std::byte>(manifest.Storage));
    PutField(out, kInstallerName, Utf16Bytes(manifest.InstallerName));
    PutField(out, kDisplayName, Utf16Bytes(manifest.DisplayName));
    for (std::size_t i = 0; i < count; ++i)
        PutField(out, kFileName, Utf16Bytes(manifest.FileNames[i]));
    for (std::size_t i = 0; i < kFileCount; ++i) {
        const auto& digest = manifest.PayloadDigests[i];
        if (!digest)
            continue;
        std::vector<std::byte> value;
        AppendU16(value, static_cast<std::uint16_t>(i));
        value.insert(value.end(), digest->begin(), digest->end());
        PutField(out, kPayloadDigest, value);
    }
    const Sha256Digest own = Sha256Of(out);
    PutField(out, kRecordDigest, own);
    return out;
}

Expected<PackageManifest, RecordFault> DecodePackageRecord(std::span<const std::byte> bytes)
{
    constexpr std::size_t kHeader = sizeof(kMagic) + 4;
    if (bytes.size() < kHeader || !std::equal(std::begin(kMagic), std::end(kMagic), bytes.begin()) ||
        ReadU16(bytes, sizeof(kMagic)) != kFormatVersion)
        return Unexpected(RecordFault::NotARecord);
    const auto fileCount = static_cast<std::size_t>(bytes[sizeof(kMagic) + 2]);
    if (fileCount > kFileCount)
        return Unexpected(RecordFault::TooManyFiles);
    const auto storage = static_cast<PayloadStorage>(bytes[sizeof(kMagic) + 3]);
    if (storage != PayloadStorage::Raw && storage != PayloadStorage::Lzma)
        return Unexpected(RecordFault::BadStorage);

    PackageManifest manifest;
    manifest.Storage = storage;
    // The tag the next field must have, or, from the file names on, the lowest it may have.
    std::uint16_t next = kInstallerName;
    std::size_t files = 0;
    std::size_t digests = 0; // one past the last entry index with a digest
    for (std::size_t at = kHeader; at < bytes.size();) {
        const std::size_t start = at;
        if (bytes.size() - at < kFieldHead)
            return Unexpected(RecordFault::Truncated);
        const auto tag = ReadU16(bytes, at);
        const std::uint32_t length = ReadU32(bytes, at + 2);
        at += kFieldHead;
        if (length > bytes.size() - at)
            return Unexpected(RecordFault::Truncated);
        const std::span<const std::byte> value = bytes.subspan(at, length);
        at += length;

        const bool isText = tag == kInstallerName || tag == kDisplayName || tag == kFileName;
        if (tag < next || tag > kRecordDigest || (next < kFileName && tag != next))
            return Unexpected(RecordFault::UnknownField);
        if (isText && length % 2 != 0)
            return Unexpected(RecordFault::BadText);
        // Every file name the header announces before any digest, so a record cut short never
        // passes for a smaller package.
        if (tag > kFileName && files != fileCount)
            return Unexpected(RecordFault::Truncated);
        next = tag;
        switch (tag) {
        case kInstallerName:
            manifest.InstallerName = TextFromUtf16(value);
            next = kDisplayName;
            break;
        case kDisplayName:
            manifest.DisplayName = TextFromUtf16(value);
            next = kFileName;
            break;
        case kFileName:
            if (files == fileCount)
                return Unexpected(RecordFault::TooManyFiles);
            manifest.FileNames[files++] = TextFromUtf16(value);
            break;
        case kPayloadDigest: {
            if (length != kEntryIndexBytes + sizeof(Sha256Digest))
                return Unexpected(RecordFault::BadDigest);
            const std::size_t entry = ReadU16(value, 0);
            if (entry < digests || entry >= kFileCount)
                return Unexpected(RecordFault::BadDigest);
            digests = entry + 1;
            Sha256Digest& digest = manifest.PayloadDigests[entry].emplace();
            std::copy_n(value.begin() + kEntryIndexBytes, digest.size(), digest.begin());
            break;
        }
        case kRecordDigest:
            if (length != sizeof(Sha256Digest))
                return Unexpected(RecordFault::BadDigest);
            if (at != bytes.size())
                return Unexpected(RecordFault::UnknownField);
            if (const Sha256Digest digest = Sha256Of(bytes.first(start));
                !std::equal(digest.begin(), digest.end(), value.begin(), value.end()))
                return Unexpected(RecordFault::Damaged);
            return manifest;
        default:
            return Unexpected(RecordFault::UnknownField);
        }
    }
    // No digest of its own: the record ends before its last field.
    return Unexpected(RecordFault::Truncated);
}

} // namespace tazel
