// The installer that unpacks compressed packages: its decoder, in the stub the packer uses for
// them alone. The product's stub links payload/NoDecoding.cpp instead and stays small.

#include "core/CodedEntry.h"
#include "payload/Payload.h"
#include "platform/Owners.h"
#include "platform/Win32Error.h"

namespace tazel::win32 {
namespace {

// The chunks after the first, decoded on a thread of their own while the first is decoded on
// the installer's: on two processors an entry takes half the time. Touches nothing but its own
// chunks and their parts of the entry.
struct LaterChunks {
    const CodedEntry* entry = nullptr;
    std::span<std::byte> bytes;
    bool decoded = false;
};

// Where chunk `index` of `entry` goes in the entry's bytes.
std::span<std::byte> PartOf(const CodedEntry& entry, std::span<std::byte> bytes, std::size_t index) noexcept
{
    std::size_t at = 0;
    for (std::size_t i = 0; i < index; ++i)
        at += entry.chunks[i].length;
    return bytes.subspan(at, entry.chunks[index].length);
}

void DecodeLaterChunks(LaterChunks& work) noexcept
{
    work.decoded = true;
    for (std::size_t i = 1; i < work.entry->chunkCount; ++i)
        work.decoded = DecodeChunk(work.entry->chunks[i], work.entry->properties, PartOf(*work.entry, work.bytes, i)) &&
                       work.decoded;
}

DWORD WINAPI LaterChunksThread(void* parameter) noexcept
{
    DecodeLaterChunks(*static_cast<LaterChunks*>(parameter));
    return 0;
}

// The decoder needs little stack: a small reservation keeps the thread cheap to make.
constexpr SIZE_T kWorkerStack = 64 * 1024;

// The entry decoded last: one at a time.
UniquePages decoded;

} // namespace

const wchar_t* PayloadResourceType(PayloadStorage storage) noexcept
{
    return storage == PayloadStorage::Raw ? kPayloadResourceType : kCompressedPayloadResourceType;
}

std::expected<PayloadBytes, Failure> DecodePayload(PayloadBytes stored)
{
    // The digests matched, so a head or stream that does not decode was never a good one.
    const auto entry = ParseCodedEntry(stored);
    if (!entry)
        return std::unexpected(Win32Failure(ERROR_FILE_CORRUPT));
    decoded.reset();
    if (entry->length == 0)
        return PayloadBytes{};
    decoded.reset(VirtualAlloc(nullptr, entry->length, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
    if (!decoded)
        return std::unexpected(LastErrorFailure());
    const std::span<std::byte> bytes(static_cast<std::byte*>(decoded.get()), entry->length);

    LaterChunks later{&*entry, bytes, true};
    UniqueHandle worker;
    if (entry->chunkCount > 1) {
        worker.reset(CreateThread(nullptr, kWorkerStack, LaterChunksThread, &later, STACK_SIZE_PARAM_IS_A_RESERVATION,
                                  nullptr));
        // No thread to be had: the later chunks are decoded here, after the first.
        if (!worker)
            DecodeLaterChunks(later);
    }
    const bool first = DecodeChunk(entry->chunks[0], entry->properties, PartOf(*entry, bytes, 0));
    // A wait on a thread this function holds returns once the thread has ended, and only then
    // may `later` go.
    if (worker)
        WaitForSingleObject(worker.get(), INFINITE);
    if (!first || !later.decoded)
        return std::unexpected(Win32Failure(ERROR_FILE_CORRUPT));
    UndoDelta(bytes, entry->deltaDistance);
    return PayloadBytes(bytes);
}

} // namespace tazel::win32
