#pragma once
// A compressed payload entry as it travels inside an installer: the packer writes it, and the
// installer built with the decoder reads it back. One rule for both sides.
//
//   offset      size  field (little-endian)
//   0           4     the entry's length as written to its file
//   4           4     the delta filter's distance, 0 for none
//   8           1     method: 1 LZMA, 0 stored as it is (what LZMA hardly shrinks: a JPEG, a PNG)
//   9           5     the LZMA properties its streams share; zero when stored
//   14          1     chunk count n, 1 to kMaxChunks (1 when stored)
//   15 + 8i     4     chunk i: the length it decodes to
//   19 + 8i     4     chunk i: the length of its stream
//   15 + 8n     ...   the streams, back to back: LZMA without end marks, or the stored bytes
//
// Each chunk is a stream of its own, so one entry's chunks decode at the same time, each into its
// part of the entry. The delta filter stores each byte less the one `distance` before it: a
// bitmap's rows become their differences from the row below (distance: the row's length).

#include "core/Expected.h"
#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

namespace tazel {

inline constexpr std::size_t kMaxChunks = 4;
inline constexpr std::size_t kLzmaPropertiesSize = 5;
// No entry decodes to more than this, the largest file an installer may carry.
inline constexpr std::uint32_t kLargestCodedEntry = 1u << 30;

struct CodedChunk {
    std::uint32_t length = 0; // what it decodes to
    std::span<const std::byte> stream;
};

enum class CodedMethod : std::uint8_t { Stored = 0, Lzma = 1 };

struct CodedEntry {
    std::uint32_t length = 0;
    std::uint32_t deltaDistance = 0;
    CodedMethod method = CodedMethod::Lzma;
    std::array<std::byte, kLzmaPropertiesSize> properties = {};
    std::size_t chunkCount = 0;
    std::array<CodedChunk, kMaxChunks> chunks = {};
};

enum class CodedEntryFault {
    Truncated,     // shorter than its head says
    BadHead,       // no chunks or too many, lengths that do not add up, bytes past the last stream,
                   // a method there is not
    TooLarge,      // decodes to more than an installer may carry
    BadProperties, // LZMA properties this decoder does not take
    BadStream,     // a stream that does not decode to its chunk's exact length
};

// The head's size for `chunkCount` chunks.
[[nodiscard]] constexpr std::size_t CodedEntryHeadSize(std::size_t chunkCount) noexcept
{
    return 4 + 4 + 1 + kLzmaPropertiesSize + 1 + 8 * chunkCount;
}

// Checks the head and the chunks' bounds; the streams themselves only decoding checks.
[[nodiscard]] Expected<CodedEntry, CodedEntryFault> ParseCodedEntry(std::span<const std::byte> stored) noexcept;

// The head the packer writes in front of the streams; `entry`'s chunk streams give only their sizes.
void WriteCodedEntryHead(const CodedEntry& entry, std::span<std::byte> head) noexcept;

// Decodes one chunk's stream into `out`, exactly its size: false on anything else, whatever the
// bytes. Safe to run on several threads at once, for different chunks.
[[nodiscard]] bool DecodeChunk(const CodedChunk& chunk, const std::array<std::byte, kLzmaPropertiesSize>& properties,
                               std::span<std::byte> out) noexcept;

// The delta filter and its undoing, in place.
void ApplyDelta(std::span<std::byte> bytes, std::uint32_t distance) noexcept;
void UndoDelta(std::span<std::byte> bytes, std::uint32_t distance) noexcept;

} // namespace tazel
