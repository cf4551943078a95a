#include "core/CodedEntry.h"
#include "core/LittleEndian.h"
#include "core/LzmaHeap.h"

#include <algorithm>

#include "LzmaDec.h"

namespace tazel {
namespace {

constexpr std::size_t kLengthAt = 0;
constexpr std::size_t kDistanceAt = 4;
constexpr std::size_t kMethodAt = 8;
constexpr std::size_t kPropertiesAt = 9;
constexpr std::size_t kChunkCountAt = kPropertiesAt + kLzmaPropertiesSize;
constexpr std::size_t kChunksAt = kChunkCountAt + 1;

} // namespace

Expected<CodedEntry, CodedEntryFault> ParseCodedEntry(std::span<const std::byte> stored) noexcept
{
    if (stored.size() < kChunksAt)
        return Unexpected(CodedEntryFault::Truncated);
    CodedEntry entry;
    entry.length = ReadU32(stored, kLengthAt);
    entry.deltaDistance = ReadU32(stored, kDistanceAt);
    for (std::size_t i = 0; i < kLzmaPropertiesSize; ++i)
        entry.properties[i] = stored[kPropertiesAt + i];
    entry.chunkCount = static_cast<std::size_t>(stored[kChunkCountAt]);
    entry.method = static_cast<CodedMethod>(stored[kMethodAt]);
    if (entry.chunkCount == 0 || entry.chunkCount > kMaxChunks ||
        (entry.method != CodedMethod::Lzma && (entry.method != CodedMethod::Stored || entry.chunkCount != 1)))
        return Unexpected(CodedEntryFault::BadHead);
    if (entry.length > kLargestCodedEntry)
        return Unexpected(CodedEntryFault::TooLarge);
    // lc, lp and pb in one byte, then the dictionary's size, which decoding into the whole entry
    // does not use. Only the small literal tables the packer writes are taken: at most 28 kB of
    // model a chunk, whatever the bytes say.
    const auto modes = static_cast<unsigned>(entry.properties[0]);
    const unsigned lc = modes % 9;
    const unsigned lp = (modes / 9) % 5;
    if (entry.method == CodedMethod::Lzma && (modes >= 9 * 5 * 5 || lc + lp > 4))
        return Unexpected(CodedEntryFault::BadProperties);

    const std::size_t headSize = CodedEntryHeadSize(entry.chunkCount);
    if (stored.size() < headSize)
        return Unexpected(CodedEntryFault::Truncated);
    std::size_t at = headSize;
    std::uint64_t decoded = 0;
    for (std::size_t i = 0; i < entry.chunkCount; ++i) {
        CodedChunk& chunk = entry.chunks[i];
        chunk.length = ReadU32(stored, kChunksAt + 8 * i);
        const std::uint32_t streamLength = ReadU32(stored, kChunksAt + 8 * i + 4);
        if (streamLength > stored.size() - at)
            return Unexpected(CodedEntryFault::Truncated);
        chunk.stream = stored.subspan(at, streamLength);
        at += streamLength;
        decoded += chunk.length;
    }
    if (decoded != entry.length || at != stored.size())
        return Unexpected(CodedEntryFault::BadHead);
    // Stored bytes are the entry's own.
    if (entry.method == CodedMethod::Stored && entry.chunks[0].stream.size() != entry.length)
        return Unexpected(CodedEntryFault::BadHead);
    return entry;
}

void WriteCodedEntryHead(const CodedEntry& entry, std::span<std::byte> head) noexcept
{
    WriteU32(head, kLengthAt, entry.length);
    WriteU32(head, kDistanceAt, entry.deltaDistance);
    head[kMethodAt] = static_cast<std::byte>(entry.method);
    for (std::size_t i = 0; i < kLzmaPropertiesSize; ++i)
        head[kPropertiesAt + i] = entry.properties[i];
    head[kChunkCountAt] = static_cast<std::byte>(entry.chunkCount);
    for (std::size_t i = 0; i < entry.chunkCount; ++i) {
        WriteU32(head, kChunksAt + 8 * i, entry.chunks[i].length);
        WriteU32(head, kChunksAt + 8 * i + 4, static_cast<std::uint32_t>(entry.chunks[i].stream.size()));
    }
}

bool DecodeChunk(const CodedChunk& chunk, const std::array<std::byte, kLzmaPropertiesSize>& properties,
                 std::span<std::byte> out) noexcept
{
    if (out.size() != chunk.length)
        return false;
    // An empty chunk has no stream: the decoder would not read the one an encoder makes of nothing.
    if (chunk.length == 0)
        return chunk.stream.empty();
    SizeT written = out.size();
    SizeT read = chunk.stream.size();
    ELzmaStatus status = LZMA_STATUS_NOT_SPECIFIED;
    const SRes result = LzmaDecode(
        reinterpret_cast<Byte*>(out.data()), &written, reinterpret_cast<const Byte*>(chunk.stream.data()), &read,
        reinterpret_cast<const Byte*>(properties.data()), kLzmaPropertiesSize, LZMA_FINISH_END, &status, &lzmaHeap);
    // The whole chunk out and the whole stream used, no more and no less: a stream that stops
    // early, runs on, or ends in bytes it never reads is not the one the packer wrote.
    return result == SZ_OK && written == out.size() && read == chunk.stream.size() &&
           (status == LZMA_STATUS_FINISHED_WITH_MARK || status == LZMA_STATUS_MAYBE_FINISHED_WITHOUT_MARK);
}

void ApplyDelta(std::span<std::byte> bytes, std::uint32_t distance) noexcept
{
    if (distance == 0)
        return;
    for (std::size_t i = bytes.size(); i > distance; --i)
        bytes[i - 1] = static_cast<std::byte>(static_cast<unsigned>(bytes[i - 1]) -
                                              static_cast<unsigned>(bytes[i - 1 - distance]));
}

void UndoDelta(std::span<std::byte> bytes, std::uint32_t distance) noexcept
{
    if (distance == 0)
        return;
    // A run of `distance` bytes at a time, each depending only on the run before it: the compiler
    // adds a run to the next many bytes at once.
    auto* data = reinterpret_cast<unsigned char*>(bytes.data());
    for (std::size_t at = distance; at < bytes.size(); at += distance) {
        const std::size_t run = std::min<std::size_t>(distance, bytes.size() - at);
        unsigned char* __restrict current = data + at;
        const unsigned char* __restrict previous = data + at - distance;
        for (std::size_t i = 0; i < run; ++i)
            current[i] = static_cast<unsigned char>(current[i] + previous[i]);
    }
}

} // namespace tazel
