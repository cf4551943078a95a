#include "packer/Compression.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <string>

#include "LzmaEnc.h"
#include "core/CodedEntry.h"
#include "core/LittleEndian.h"
#include "core/LzmaHeap.h"
#include "packer/machine/Machine.h"

namespace tazel::pack {
namespace {

// Below this an entry stays one chunk: decoding it is over in a few milliseconds anyway.
constexpr std::size_t kSplitFrom = 256 * 1024;
// An entry LZMA saves less than 1/this of is stored.
constexpr std::size_t kStoredBelowSaving = 8;

// The encoder's settings. Its normal mode with a binary-tree match finder (level 5); for the
// filtered bitmaps, four bits of the previous byte as literal context and no position bits, which
// suit bytes that are mostly small differences (about 1 % smaller than the defaults here).
void SettingsFor(CLzmaEncProps& settings, bool filtered, std::size_t dictionary) noexcept
{
    LzmaEncProps_Init(&settings);
    settings.level = 5;
    if (filtered) {
        settings.lc = 4;
        settings.lp = 0;
        settings.pb = 0;
    }
    // The same for every chunk of an entry, covering the largest: a decoder refuses any match
    // farther back than the dictionary its properties name. At most the level's own 16 MiB, which
    // holds the encoder to some 200 MB a thread whatever the file.
    settings.dictSize = static_cast<UInt32>(std::clamp<std::size_t>(dictionary, 1u << 12, 1u << 24));
    settings.numThreads = 1;
}

struct ChunkJob {
    std::span<const std::byte> bytes; // filtered
    bool filtered = false;
    std::size_t dictionary = 0;
    std::vector<std::byte> stream; // room for the worst case, cut to size by the job
    std::array<std::byte, kLzmaPropertiesSize> properties = {};
    int result = SZ_OK;
};

// The jobs, and the bytes of them compressed so far, for the progress the page shows.
struct ChunkJobs {
    std::vector<ChunkJob>& jobs;
    std::uint64_t total = 0;
    std::atomic<std::uint64_t> done{0};
};

void Compress(void* context, std::size_t index) noexcept
{
    ChunkJobs& all = *static_cast<ChunkJobs*>(context);
    ChunkJob& job = all.jobs[index];
    CLzmaEncProps settings;
    SettingsFor(settings, job.filtered, job.dictionary);
    SizeT written = job.stream.size();
    SizeT propertiesSize = kLzmaPropertiesSize;
    job.result =
        LzmaEncode(reinterpret_cast<Byte*>(job.stream.data()), &written,
                   reinterpret_cast<const Byte*>(job.bytes.data()), job.bytes.size(), &settings,
                   reinterpret_cast<Byte*>(job.properties.data()), &propertiesSize, 0, nullptr, &lzmaHeap, &lzmaHeap);
    if (job.result == SZ_OK && propertiesSize != kLzmaPropertiesSize)
        job.result = SZ_ERROR_PARAM;
    // Shrinking keeps the capacity: no allocation, so nothing here can throw.
    job.stream.resize(job.result == SZ_OK ? written : 0);
    ReportProgress(all.done += job.bytes.size(), all.total);
}

} // namespace

std::uint32_t DeltaDistanceFor(std::span<const std::byte> bytes) noexcept
{
    // A Windows bitmap file of at least the 40-byte information header, one plane, 8 to 32 bits a
    // pixel, stored without compression or with bit fields. Rows are padded to 4 bytes.
    constexpr std::size_t kPixelsAt = 14 + 40;
    if (bytes.size() < kPixelsAt || bytes[0] != std::byte{'B'} || bytes[1] != std::byte{'M'})
        return 0;
    const std::uint32_t header = ReadU32(bytes, 14);
    const auto width = static_cast<std::int32_t>(ReadU32(bytes, 18));
    const std::uint16_t planes = ReadU16(bytes, 26);
    const std::uint16_t bits = ReadU16(bytes, 28);
    const std::uint32_t compression = ReadU32(bytes, 30);
    if (header < 40 || width <= 0 || width > (1 << 20) || planes != 1 ||
        (bits != 8 && bits != 16 && bits != 24 && bits != 32) || (compression != 0 && compression != 3))
        return 0;
    const std::uint64_t row = (static_cast<std::uint64_t>(width) * bits + 31) / 32 * 4;
    return row < bytes.size() ? static_cast<std::uint32_t>(row) : 0;
}

Expected<std::vector<std::vector<std::byte>>> CompressEntries(std::span<const std::span<const std::byte>> sources)
{
    struct Entry {
        CodedEntry coded;
        std::vector<std::byte> filtered;
        std::size_t firstJob = 0;
    };
    std::vector<Entry> entries(sources.size());
    std::vector<ChunkJob> jobs;
    for (std::size_t e = 0; e < sources.size(); ++e) {
        Entry& entry = entries[e];
        const auto source = sources[e];
        if (source.size() > kLargestCodedEntry)
            return Refuse("a file of " + std::to_string(source.size()) + " bytes is too large to compress");
        entry.coded.length = static_cast<std::uint32_t>(source.size());
        entry.coded.deltaDistance = DeltaDistanceFor(source);
        // Only a filtered entry needs bytes of its own.
        std::span<const std::byte> filtered = source;
        if (entry.coded.deltaDistance != 0) {
            entry.filtered.assign(source.begin(), source.end());
            ApplyDelta(entry.filtered, entry.coded.deltaDistance);
            filtered = entry.filtered;
        }

        // Two chunks cut at a row's end, or one.
        std::size_t cut = source.size();
        if (source.size() >= kSplitFrom) {
            const std::size_t row = std::max<std::size_t>(entry.coded.deltaDistance, 1);
            cut = source.size() / 2 / row * row;
        }
        entry.coded.chunkCount = cut == source.size() ? 1 : 2;
        entry.firstJob = jobs.size();
        const std::size_t dictionary = std::max(cut, source.size() - cut);
        for (std::size_t c = 0; c < entry.coded.chunkCount; ++c) {
            ChunkJob job;
            job.bytes = c == 0 ? filtered.first(cut) : filtered.subspan(cut);
            job.filtered = entry.coded.deltaDistance != 0;
            job.dictionary = dictionary;
            // LZMA grows bytes it cannot compress by well under an eighth.
            job.stream.resize(job.bytes.size() + job.bytes.size() / 8 + 1024);
            entry.coded.chunks[c].length = static_cast<std::uint32_t>(job.bytes.size());
            jobs.push_back(std::move(job));
        }
    }
    ChunkJobs all{jobs};
    for (const ChunkJob& job : jobs)
        all.total += job.bytes.size();
    ReportProgress(0, all.total);
    RunJobs(jobs.size(), Compress, &all);

    std::vector<std::vector<std::byte>> stored(entries.size());
    for (std::size_t e = 0; e < entries.size(); ++e) {
        Entry& entry = entries[e];
        std::size_t streams = 0;
        for (std::size_t c = 0; c < entry.coded.chunkCount; ++c) {
            const ChunkJob& job = jobs[entry.firstJob + c];
            if (job.result != SZ_OK)
                return Refuse("the LZMA encoder failed (SDK error " + std::to_string(job.result) + ")");
            if (job.properties != jobs[entry.firstJob].properties)
                return Refuse("the LZMA encoder gave the chunks of one entry different properties");
            // An empty chunk has no stream (core/CodedEntry.h).
            entry.coded.chunks[c].stream = job.bytes.empty() ? std::span<const std::byte>() : std::span(job.stream);
            streams += entry.coded.chunks[c].stream.size();
        }
        entry.coded.properties = jobs[entry.firstJob].properties;
        // What LZMA shrinks by less than an eighth is stored as it is: decoding the deck's JPEG
        // would cost the player 15 ms for 20 kB of 1.4 MB.
        if (streams > sources[e].size() - sources[e].size() / kStoredBelowSaving) {
            entry.coded = {};
            entry.coded.length = static_cast<std::uint32_t>(sources[e].size());
            entry.coded.method = CodedMethod::Stored;
            entry.coded.chunkCount = 1;
            entry.coded.chunks[0] = {entry.coded.length, sources[e]};
            streams = sources[e].size();
        }
        const std::size_t size = CodedEntryHeadSize(entry.coded.chunkCount) + streams;
        std::vector<std::byte>& out = stored[e];
        out.resize(size);
        WriteCodedEntryHead(entry.coded, out);
        std::size_t at = CodedEntryHeadSize(entry.coded.chunkCount);
        for (std::size_t c = 0; c < entry.coded.chunkCount; ++c) {
            std::copy(std::begin(entry.coded.chunks[c].stream), std::end(entry.coded.chunks[c].stream),
                      out.begin() + static_cast<std::ptrdiff_t>(at));
            at += entry.coded.chunks[c].stream.size();
        }
    }
    return stored;
}

} // namespace tazel::pack
