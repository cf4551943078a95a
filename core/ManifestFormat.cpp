#include "core/ManifestFormat.h"

#include <algorithm>
#include <string>
#include <string_view>

namespace tazel {
namespace {

constexpr std::byte kMagic[] = {std::byte{'T'}, std::byte{'Z'}, std::byte{'P'}, std::byte{'K'}};
constexpr std::uint16_t kFormatVersion = 1;

// In the order they must stand; a file name may repeat, up to kFileCount times.
enum Tag : std::uint16_t { kInstallerName = 1, kDisplayName = 2, kFileName = 3 };

void PutLittle(std::vector<std::byte>& out, std::uint32_t value, int bytes)
{
    for (int i = 0; i < bytes; ++i)
        out.push_back(static_cast<std::byte>((value >> (8 * i)) & 0xFF));
}

// UTF-16 in the record. A wchar_t beyond 16 bits (UTF-32 text, where wchar_t is that wide) is
// written as its surrogate pair.
std::vector<std::byte> Utf16Bytes(std::wstring_view text)
{
    std::vector<std::byte> bytes;
    const auto unit = [&](std::uint32_t u) { PutLittle(bytes, u, 2); };
    for (const wchar_t c : text) {
        const auto code = static_cast<std::uint32_t>(c);
        if (code > 0xFFFF) {
            unit(0xD800 + ((code - 0x10000) >> 10));
            unit(0xDC00 + ((code - 0x10000) & 0x3FF));
        } else {
            unit(code);
        }
    }
    return bytes;
}

// One wchar_t a UTF-16 unit, on every build: where wchar_t is 32 bits wide, surrogates stay
// undecoded, as the core's other rules hold names.
std::wstring TextFromUtf16(std::span<const std::byte> bytes)
{
    std::wstring text;
    text.reserve(bytes.size() / 2);
    for (std::size_t i = 0; i + 1 < bytes.size(); i += 2)
        text.push_back(static_cast<wchar_t>(static_cast<std::uint32_t>(bytes[i]) |
                                            (static_cast<std::uint32_t>(bytes[i + 1]) << 8)));
    return text;
}

void PutField(std::vector<std::byte>& out, Tag tag, const std::vector<std::byte>& value)
{
    PutLittle(out, tag, 2);
    PutLittle(out, static_cast<std::uint32_t>(value.size()), 4);
    out.insert(out.end(), value.begin(), value.end());
}

std::uint32_t Little(std::span<const std::byte> bytes, std::size_t at, int count)
{
    std::uint32_t value = 0;
    for (int i = 0; i < count; ++i)
        value |= static_cast<std::uint32_t>(bytes[at + static_cast<std::size_t>(i)]) << (8 * i);
    return value;
}

} // namespace

std::vector<std::byte> EncodePackageRecord(const PackageManifest& manifest)
{
    std::vector<std::byte> out(std::begin(kMagic), std::end(kMagic));
    PutLittle(out, kFormatVersion, 2);
    // Trailing empty names are not written: the installer never reads an entry past its kind's last.
    std::size_t count = kFileCount;
    while (count > 0 && manifest.FileNames[count - 1].empty())
        --count;
    PutLittle(out, static_cast<std::uint32_t>(count), 2);
    PutField(out, kInstallerName, Utf16Bytes(manifest.InstallerName));
    PutField(out, kDisplayName, Utf16Bytes(manifest.DisplayName));
    for (std::size_t i = 0; i < count; ++i)
        PutField(out, kFileName, Utf16Bytes(manifest.FileNames[i]));
    return out;
}

std::expected<PackageManifest, RecordFault> DecodePackageRecord(std::span<const std::byte> bytes)
{
    constexpr std::size_t kHeader = sizeof(kMagic) + 4;
    if (bytes.size() < kHeader || !std::equal(std::begin(kMagic), std::end(kMagic), bytes.begin()) ||
        Little(bytes, sizeof(kMagic), 2) != kFormatVersion)
        return std::unexpected(RecordFault::NotARecord);
    const std::size_t fileCount = Little(bytes, sizeof(kMagic) + 2, 2);
    if (fileCount > kFileCount)
        return std::unexpected(RecordFault::TooManyFiles);

    PackageManifest manifest;
    std::uint16_t expected = kInstallerName;
    std::size_t files = 0;
    for (std::size_t at = kHeader; at < bytes.size();) {
        if (bytes.size() - at < 6)
            return std::unexpected(RecordFault::Truncated);
        const auto tag = static_cast<std::uint16_t>(Little(bytes, at, 2));
        const std::uint32_t length = Little(bytes, at + 2, 4);
        at += 6;
        if (length > bytes.size() - at)
            return std::unexpected(RecordFault::Truncated);
        if (length % 2 != 0)
            return std::unexpected(RecordFault::BadText);
        const std::wstring text = TextFromUtf16(bytes.subspan(at, length));
        at += length;

        if (tag != expected)
            return std::unexpected(RecordFault::UnknownField);
        switch (tag) {
        case kInstallerName:
            manifest.InstallerName = text;
            expected = kDisplayName;
            break;
        case kDisplayName:
            manifest.DisplayName = text;
            expected = kFileName;
            break;
        case kFileName:
            if (files == fileCount)
                return std::unexpected(RecordFault::TooManyFiles);
            manifest.FileNames[files++] = text;
            break;
        default:
            return std::unexpected(RecordFault::UnknownField);
        }
    }
    // Every field the header announces, so a record cut short never passes for a smaller package.
    if (expected != kFileName || files != fileCount)
        return std::unexpected(RecordFault::Truncated);
    return manifest;
}

} // namespace tazel
