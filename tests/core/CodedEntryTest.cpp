#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <vector>

#include "core/CodedEntry.h"
#include "packer/Compression.h"

// Built with the address and undefined-behaviour sanitizers, the decoder's C sources too: a read
// or write outside the bytes given fails the test where it happens.

namespace tazel::pack {
namespace {

std::vector<std::byte> Random(std::size_t size, std::uint32_t seed)
{
    std::vector<std::byte> bytes(size);
    for (std::byte& b : bytes) {
        seed = seed * 1103515245 + 12345;
        b = static_cast<std::byte>(seed >> 24);
    }
    return bytes;
}

// A 24-bit bottom-up bitmap file of soft gradients, with its row padding, as the strips are.
std::vector<std::byte> Bitmap(std::uint32_t width, std::uint32_t height)
{
    const std::uint32_t row = (width * 3 + 3) / 4 * 4;
    std::vector<std::byte> bytes(54 + static_cast<std::size_t>(row) * height);
    const auto put = [&](std::size_t at, std::uint32_t value, int count) {
        for (int i = 0; i < count; ++i)
            bytes[at + static_cast<std::size_t>(i)] = static_cast<std::byte>(value >> (8 * i));
    };
    bytes[0] = std::byte{'B'};
    bytes[1] = std::byte{'M'};
    put(2, static_cast<std::uint32_t>(bytes.size()), 4);
    put(10, 54, 4);
    put(14, 40, 4);
    put(18, width, 4);
    put(22, height, 4);
    put(26, 1, 2);
    put(28, 24, 2);
    for (std::uint32_t y = 0; y < height; ++y)
        for (std::uint32_t x = 0; x < width; ++x)
            for (std::uint32_t c = 0; c < 3; ++c)
                bytes[54 + y * row + x * 3 + c] =
                    static_cast<std::byte>((x * (c + 1) + y * (3 - c) + (x * y) / 97) & 0xFF);
    return bytes;
}

// What the installer does with a stored entry, on one thread.
std::optional<std::vector<std::byte>> Decode(std::span<const std::byte> stored)
{
    const auto entry = ParseCodedEntry(stored);
    if (!entry)
        return std::nullopt;
    if (entry->method == CodedMethod::Stored)
        return std::vector<std::byte>(entry->chunks[0].stream.begin(), entry->chunks[0].stream.end());
    std::vector<std::byte> bytes(entry->length);
    std::size_t at = 0;
    for (std::size_t i = 0; i < entry->chunkCount; ++i) {
        const CodedChunk& chunk = entry->chunks[i];
        if (!DecodeChunk(chunk, entry->properties, std::span(bytes).subspan(at, chunk.length)))
            return std::nullopt;
        at += chunk.length;
    }
    UndoDelta(bytes, entry->deltaDistance);
    return bytes;
}

std::vector<std::byte> CompressOne(const std::vector<std::byte>& source)
{
    const std::span<const std::byte> sources[] = {source};
    auto stored = CompressEntries(sources);
    EXPECT_TRUE(stored);
    return stored ? std::move((*stored)[0]) : std::vector<std::byte>{};
}

TEST(CodedEntryTest, DecodesWhatThePackerStoredByteForByte)
{
    const std::vector<std::byte> bitmap = Bitmap(301, 400); // 361,654 bytes: two chunks
    EXPECT_EQ(DeltaDistanceFor(bitmap), 904u);
    const std::vector<std::byte> sources[] = {bitmap, Random(300'000, 7), Random(5000, 1), Random(1, 2), {}};
    std::vector<std::span<const std::byte>> spans(std::begin(sources), std::end(sources));
    const auto stored = CompressEntries(spans);
    ASSERT_TRUE(stored);
    ASSERT_EQ(stored->size(), std::size(sources));
    for (std::size_t i = 0; i < std::size(sources); ++i) {
        const auto entry = ParseCodedEntry((*stored)[i]);
        ASSERT_TRUE(entry) << i;
        // Random bytes, which LZMA cannot shrink, are stored as they are, in one piece.
        EXPECT_EQ(entry->method, i == 0 || i == 4 ? CodedMethod::Lzma : CodedMethod::Stored) << i;
        EXPECT_EQ(entry->chunkCount, i == 0 ? 2u : 1u) << i;
        EXPECT_EQ(Decode((*stored)[i]), sources[i]) << i;
    }
    EXPECT_LT((*stored)[0].size(), bitmap.size() / 10);
    EXPECT_EQ((*stored)[1].size(), CodedEntryHeadSize(1) + 300'000);
}

TEST(CodedEntryTest, DamagedEntriesFailAndNeverReachBeyondTheirBytes)
{
    const std::vector<std::byte> bitmap = Bitmap(301, 400);
    const std::vector<std::byte> stored = CompressOne(bitmap);
    const auto entry = ParseCodedEntry(stored);
    ASSERT_TRUE(entry);
    ASSERT_EQ(entry->chunkCount, 2u);
    const std::size_t head = CodedEntryHeadSize(2);
    const std::size_t firstStream = entry->chunks[0].stream.size();

    // An entry whose head and streams are each sound, with its first stream as given.
    const auto withFirstStream = [&](std::vector<std::byte> stream) {
        CodedEntry changed = *entry;
        changed.chunks[0].stream = stream;
        std::vector<std::byte> bytes(head);
        WriteCodedEntryHead(changed, bytes);
        bytes.insert(bytes.end(), stream.begin(), stream.end());
        bytes.insert(bytes.end(), stored.begin() + static_cast<std::ptrdiff_t>(head + firstStream), stored.end());
        return bytes;
    };
    const std::vector<std::byte> first(stored.begin() + static_cast<std::ptrdiff_t>(head),
                                       stored.begin() + static_cast<std::ptrdiff_t>(head + firstStream));
    ASSERT_EQ(Decode(withFirstStream(first)), bitmap);

    // Short: the stream cut anywhere, its head saying so.
    for (std::size_t length = 0; length < firstStream; length += 1 + length / 3)
        EXPECT_FALSE(Decode(withFirstStream({first.begin(), first.begin() + static_cast<std::ptrdiff_t>(length)})))
            << length;
    // Long: bytes after the stream's end.
    for (const std::size_t extra : {1, 5, 4096}) {
        std::vector<std::byte> longer = first;
        const auto tail = Random(extra, static_cast<std::uint32_t>(extra));
        longer.insert(longer.end(), tail.begin(), tail.end());
        EXPECT_FALSE(Decode(withFirstStream(longer))) << extra;
    }
    // Random: streams of random bytes, and whole entries of them.
    for (std::uint32_t seed = 0; seed < 300; ++seed) {
        EXPECT_FALSE(Decode(withFirstStream(Random(1 + seed * 97 % firstStream, seed)))) << seed;
        (void)Decode(Random(seed * 13 % 200, seed));
    }
    // Single bytes changed anywhere: never a crash, and a change to the head never passes.
    for (std::size_t at = 0; at < stored.size(); at += 1 + at / 8) {
        std::vector<std::byte> changed = stored;
        changed[at] ^= std::byte{0x5A};
        const auto decoded = Decode(changed);
        // The entry's length, its method, the chunks' count and lengths.
        if (at < head && (at < 4 || at == 8 || at >= 14)) {
            EXPECT_FALSE(decoded) << at;
        }
    }
    // Heads that claim what no entry may: too large, too many chunks, literal tables past the limit.
    std::vector<std::byte> bad = stored;
    bad[3] = std::byte{0x50};
    EXPECT_EQ(ParseCodedEntry(bad).error(), CodedEntryFault::TooLarge);
    bad = stored;
    bad[14] = std::byte{5};
    EXPECT_EQ(ParseCodedEntry(bad).error(), CodedEntryFault::BadHead);
    bad = stored;
    bad[8] = std::byte{0}; // stored, in two chunks
    EXPECT_EQ(ParseCodedEntry(bad).error(), CodedEntryFault::BadHead);
    bad = stored;
    bad[9] = std::byte{8}; // lc 8
    EXPECT_EQ(ParseCodedEntry(bad).error(), CodedEntryFault::BadProperties);
}

} // namespace
} // namespace tazel::pack
