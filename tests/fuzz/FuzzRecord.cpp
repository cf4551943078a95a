// The installer's reader of its package record. What it reads, the packer's writer writes back to
// the same record: byte for byte, but for file names past the last one given, which the writer
// leaves out.

#include <algorithm>

#include "core/ManifestFormat.h"
#include "tests/fuzz/Fuzz.h"

namespace tazel {
namespace {

constexpr std::size_t kDigestField = 6 + sizeof(Sha256Digest);

bool Same(const PackageManifest& a, const PackageManifest& b)
{
    return a.InstallerName == b.InstallerName && a.DisplayName == b.DisplayName && a.FileNames == b.FileNames &&
           a.PayloadDigests == b.PayloadDigests && a.Storage == b.Storage;
}

void Check(std::span<const std::byte> bytes)
{
    const auto manifest = DecodePackageRecord(bytes);
    if (!manifest)
        return;
    const std::vector<std::byte> again = EncodePackageRecord(*manifest);
    const auto reread = DecodePackageRecord(again);
    FUZZ_CHECK(reread && Same(*reread, *manifest));
    const auto announced = std::to_integer<std::size_t>(bytes[6]);
    if (announced == 0 || !manifest->FileNames[announced - 1].empty())
        FUZZ_CHECK(std::ranges::equal(again, bytes));
}

} // namespace
} // namespace tazel

// The record ends in a digest of itself, which no mutation comes upon: each input is read as it
// is, and again sealed as the packer seals it, its last 32 bytes the digest of those before its
// last field, so that the fields before the digest are read to the end.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const auto bytes = tazel::fuzz::Bytes(data, size);
    tazel::Check(bytes);
    if (size < tazel::kDigestField)
        return 0;
    std::vector<std::byte> sealed(bytes.begin(), bytes.end());
    const tazel::Sha256Digest digest = tazel::Sha256Of(bytes.first(size - tazel::kDigestField));
    std::copy(digest.begin(), digest.end(), sealed.end() - static_cast<std::ptrdiff_t>(digest.size()));
    tazel::Check(sealed);
    return 0;
}
