#pragma once
// A compressed payload entry as it travels inside an installer: the packer writes it, and the
// installer built with the decoder reads it back. One rule for both sides.
//
// Little-endian throughout: the entry's length as written to its file (32 bits), the distance of
// its delta filter (32 bits, 0 for none), its method (8 bits: 1 LZMA, 0 stored as it is), the 5
// bytes of LZMA properties its streams share (zero when stored), the count of its chunks (8 bits,
// 1 to kMaxChunks; one when stored), then per chunk the length it decodes to and the length of its
// stream (32 bits each), and last the chunks' streams, in order, back to back: LZMA streams with
// no end marks, or the stored bytes themselves. Each chunk is a stream of its own, so the chunks of
// one entry can be decoded at the same time, each into its own part of the entry.
//
// Stored: an entry LZMA hardly shrinks (a JPEG, a PNG), whose decoding would cost the player more
// time than the bytes it saves are worth to the download.
//
// The delta filter: each byte is stored less the byte `distance` before it, which turns the rows
// of a bitmap into their differences from the row below (distance: the row's length).

#include <array>
#include <cstddef>
#include <cstdint>
#include "core/Expected.h"
#include <span>

namespace tazel {

inline constexpr std::size_t kMaxChunks = 4;
inline constexpr std::size_t kLzmaPropertiesSize = 5;
// No entry decodes to more than this, the largest file an installer may carry.
inline constexpr std::uint32_t kLargestCodedEntry = 1u << 30;

struct CodedChunk {
    std::uint32_t length = 0;             // what it decodes to
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
    Truncated,       // shorter than its head says
    BadHead,         // no chunks or too many, lengths that do not add up, bytes past the last stream,
                     // a method there is not
    TooLarge,        // decodes to more than an installer may carry
    BadProperties,   // LZMA properties this decoder does not take
    BadStream,       // a stream that does not decode to its chunk's exact length
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
