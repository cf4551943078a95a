// The installer that unpacks compressed packages: its decoder, in the stub the packer uses for
// them alone. The product's stub links payload/NoDecoding.cpp instead and stays small.

#include "core/CodedEntry.h"
#include "payload/Payload.h"
#include "platform/Owners.h"
#include "platform/Win32Error.h"

namespace tazel::win32 {
namespace {

// The chunks after the first, decoded by a thread of the process's pool while the first is
// decoded on the installer's, where the machine has a second processor. The pool keeps its thread
// from one entry to the next, so only the first entry waits for one to start: under Wine that
// takes milliseconds, since every loaded DLL hears of a new thread, and a thread made for each
// entry made decoding the deck slower than one thread alone (97 ms against 72 here; the pool's,
// 55). Touches nothing but its own chunks and their parts of the entry.
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

void CALLBACK DecodeLaterChunksWork(PTP_CALLBACK_INSTANCE, void* work, PTP_WORK) noexcept
{
    DecodeLaterChunks(*static_cast<LaterChunks*>(work));
}

[[nodiscard]] bool HasProcessorToSpare() noexcept
{
    SYSTEM_INFO system = {};
    GetSystemInfo(&system);
    return system.dwNumberOfProcessors > 1;
}

// The entry decoded last: one at a time. Its later chunks, and the pool's work that decodes them,
// made at the first entry of two chunks and kept; the work goes first, once no callback runs.
UniquePages decoded;
LaterChunks later;
UniqueThreadpoolWork laterWork;

} // namespace

const wchar_t* PayloadResourceType(PayloadStorage storage) noexcept
{
    return storage == PayloadStorage::Raw ? kPayloadResourceType : kCompressedPayloadResourceType;
}

Expected<PayloadBytes, Failure> DecodePayload(PayloadBytes stored)
{
    // The digests matched, so a head or stream that does not decode was never a good one.
    const auto entry = ParseCodedEntry(stored);
    if (!entry)
        return Unexpected(Win32Failure(ERROR_FILE_CORRUPT));
    decoded.reset();
    // Stored as it is: written straight from the executable's own bytes.
    if (entry->method == CodedMethod::Stored)
        return entry->chunks[0].stream;
    if (entry->length == 0)
        return PayloadBytes{};
    decoded.reset(VirtualAlloc(nullptr, entry->length, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
    if (!decoded)
        return Unexpected(LastErrorFailure());
    const std::span<std::byte> bytes(static_cast<std::byte*>(decoded.get()), entry->length);

    later = {&*entry, bytes, true};
    bool submitted = false;
    if (entry->chunkCount > 1 && HasProcessorToSpare()) {
        if (!laterWork)
            laterWork.reset(CreateThreadpoolWork(DecodeLaterChunksWork, &later, nullptr));
        if (laterWork) {
            SubmitThreadpoolWork(laterWork.get());
            submitted = true;
        }
    }
    // On one processor, or with no pool to be had, the later chunks are decoded here.
    if (!submitted)
        DecodeLaterChunks(later);
    const bool first = DecodeChunk(entry->chunks[0], entry->properties, PartOf(*entry, bytes, 0));
    // Returns once the later chunks are done: only then may the entry's pages or `later` change.
    if (submitted)
        WaitForThreadpoolWorkCallbacks(laterWork.get(), FALSE);
    if (!first || !later.decoded)
        return Unexpected(Win32Failure(ERROR_FILE_CORRUPT));
    UndoDelta(bytes, entry->deltaDistance);
    return PayloadBytes(bytes);
}

} // namespace tazel::win32
