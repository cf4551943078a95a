// The installer's decoder of compressed entries: the head, the LZMA chunks and the row filter. The
// head the packer writes for what was read is the head that was read, and the installer's undoing of
// the row filter undoes the packer's filter of any bytes.

#include <algorithm>
#include <memory>
#include <vector>

#include "tests/fuzz/Fuzz.h"

namespace {

// The installer maps pages of the length the head gives, and only decoding touches them; here
// memory that is not cleared stands for them. Past this the campaign's bounds on memory and time
// would speak, not the decoder, which reads a long entry's bytes as it does a short one's.
constexpr std::uint32_t kLargestDecoded = 16u << 20;

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace tazel;
    const auto stored = fuzz::Bytes(data, size);
    const auto entry = ParseCodedEntry(stored);
    if (!entry)
        return 0;
    std::vector<std::byte> head(CodedEntryHeadSize(entry->chunkCount));
    WriteCodedEntryHead(*entry, head);
    FUZZ_CHECK(std::ranges::equal(head, stored.first(head.size())));
    if (entry->length > kLargestDecoded)
        return 0;

    const auto pages = std::make_unique_for_overwrite<std::byte[]>(entry->length);
    const std::span<std::byte> out(pages.get(), entry->length);
    if (!fuzz::DecodeEntry(*entry, out))
        return 0;
    const std::vector<std::byte> decoded(out.begin(), out.end());
    ApplyDelta(out, entry->deltaDistance);
    UndoDelta(out, entry->deltaDistance);
    FUZZ_CHECK(std::ranges::equal(out, decoded));
    return 0;
}
