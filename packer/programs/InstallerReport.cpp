#include "packer/programs/InstallerReport.h"
#include "core/Text.h"

#include <algorithm>
#include <array>
#include <new>
#include <optional>
#include <vector>

#include "core/CodedEntry.h"
#include "core/ManifestFormat.h"
#include "core/PackageManifest.h"
#include "core/PayloadCheck.h"
#include "core/Utf.h"
#include "packer/Description.h"
#include "packer/FastSha256.h"
#include "packer/image/ImageReader.h"
#include "packer/image/PeImage.h"
#include "packer/machine/Machine.h"

namespace tazel::pack {
namespace {

// An installer is at most the 1 GiB it can map, and a signature appended to it some kilobytes.
constexpr std::uint64_t kLargestInstallerFile = kLargestImage + (16u << 20);

// The codes the check's failures carry: ERROR_RESOURCE_DATA_NOT_FOUND for an entry that is not
// there, ERROR_FILE_CORRUPT for one the way to which is damaged.
constexpr std::uint32_t kEntryMissing = 1812;
constexpr std::uint32_t kEntryDamaged = 1392;

std::string Utf8(std::wstring_view text)
{
    return Utf16ToUtf8(Utf16Units(text));
}

std::string Hex(const Sha256Digest& digest)
{
    std::string text;
    for (const std::byte b : digest)
        text += HexDigits(std::to_integer<unsigned>(b), 2);
    return text;
}

std::string RecordFaultText(RecordFault fault)
{
    switch (fault) {
    case RecordFault::NotARecord:
        return "is not a package record this packer reads (no TZPK mark, or another format)";
    case RecordFault::Truncated:
        return "is cut short: a field runs past its end, or it ends before its own digest";
    case RecordFault::UnknownField:
        return "has a field this format does not have, or one out of its place";
    case RecordFault::BadText:
        return "has a text of an odd number of bytes";
    case RecordFault::TooManyFiles:
        return "has more file names than it announces, or than an installer carries";
    case RecordFault::BadDigest:
        return "has a digest field of the wrong size, or for an entry out of range or order";
    case RecordFault::BadStorage:
        return "names a way of storing the files that there is not";
    case RecordFault::Damaged:
        return "does not match its own digest";
    }
    return "cannot be read";
}

std::u16string EntryType(PayloadStorage storage)
{
    return Utf16Units(storage == PayloadStorage::Raw ? kPayloadResourceType : kCompressedPayloadResourceType);
}

std::string EntryName(PayloadStorage storage, std::size_t index)
{
    return Utf16ToUtf8(EntryType(storage)) + " " + std::to_string(kFirstPayloadResourceId + index);
}

// The installer's payload entries as the check fetches them, from the image read back.
class ImageEntries final : public PayloadSource {
public:
    explicit ImageEntries(const ImageReader& image) : image_(image) {}

    tazel::Expected<PayloadBytes, Failure> LoadPayload(int resourceId, PayloadStorage storage) override
    {
        const auto found =
            image_.Resource(EntryType(storage), static_cast<std::uint16_t>(resourceId), kLanguageUsEnglish);
        if (!found)
            return Unexpected(Failure{kEntryDamaged, WideUnits(Utf8ToUtf16(found.error().message).value_or(u""))});
        if (!*found)
            return Unexpected(Failure{kEntryMissing, L""});
        return **found;
    }

private:
    const ImageReader& image_;
};

// What each entry the record has a digest for came to, by the installer's own check. The check
// stops at the first entry that fails; it is started again after that one, so every entry is judged.
struct EntryVerdict {
    bool checked = false;
    bool mismatch = false;
    std::optional<Failure> failure;
};

std::array<EntryVerdict, kFileCount> CheckEntries(const PackageManifest& manifest, PayloadSource& source)
{
    std::array<EntryVerdict, kFileCount> verdicts;
    for (std::size_t i = 0; i < kFileCount; ++i)
        verdicts[i].checked = manifest.PayloadDigests[i].has_value();
    for (std::size_t first = 0; first < kFileCount;) {
        PayloadCheck check(manifest, source, first);
        while (check.Step()) {}
        if (!check.failure() && !check.damaged())
            break;
        verdicts[check.entry()].mismatch = check.damaged();
        verdicts[check.entry()].failure = check.failure();
        first = check.entry() + 1;
    }
    return verdicts;
}

// What is wrong with an entry that could not be fetched.
std::string FetchProblem(const Failure& failure, const std::string& name, const std::string& entry)
{
    if (failure.code == kEntryMissing)
        return name + " has no payload entry (" + entry + ")";
    return "the payload entry of " + name + " (" + entry + "): " + Utf8(failure.description);
}

// The file an entry becomes: its size and digest, decoded by the core's own rule when compressed.
struct InstalledFile {
    std::uint64_t size = 0;
    Sha256Digest digest{};
    bool compressedAsIs = false;
};

Expected<InstalledFile> InstalledFileOf(PayloadBytes stored, PayloadStorage storage)
{
    if (storage == PayloadStorage::Raw)
        return InstalledFile{stored.size(), FastSha256Of(stored)};
    const auto entry = ParseCodedEntry(stored);
    if (!entry)
        return Refuse("has a head the installer does not read");
    if (entry->method == CodedMethod::Stored)
        return InstalledFile{entry->length, FastSha256Of(entry->chunks[0].stream), true};
    std::vector<std::byte> bytes(entry->length);
    std::size_t at = 0;
    for (std::size_t i = 0; i < entry->chunkCount; ++i) {
        const CodedChunk& chunk = entry->chunks[i];
        if (!DecodeChunk(chunk, entry->properties, std::span(bytes).subspan(at, chunk.length)))
            return Refuse("does not decode");
        at += chunk.length;
    }
    UndoDelta(bytes, entry->deltaDistance);
    return InstalledFile{bytes.size(), FastSha256Of(bytes)};
}

std::string KindLine(const PackageManifest& manifest)
{
    if (!IsManifestUsable(manifest))
        return "none: the first file has no name, and the installer writes nothing (\"No Embedded File Info!\")";
    const auto kind = KindOf(Utf16Units(manifest.FileNames[0]));
    if (!kind)
        return "one-file: the installer writes the first file only";
    return std::string(kind->name) + ": the installer writes " + std::string(kind->count) + " files";
}

// The version block's facts; what keeps them from being read goes to `problems`: the digests do
// not cover the block, but the packer always writes a readable one.
std::optional<VersionFacts> ReadVersion(const ImageReader& image, std::vector<std::string>& problems)
{
    const auto block = image.Resource(kTypeVersion, 1, kLanguageUsEnglish);
    if (!block) {
        problems.push_back(block.error().message);
        return std::nullopt;
    }
    if (!*block) {
        problems.push_back("it has no version block");
        return std::nullopt;
    }
    auto facts = ReadVersionBlock(**block);
    if (!facts) {
        problems.push_back(facts.error().message);
        return std::nullopt;
    }
    return std::move(*facts);
}

std::string Header(const PackageManifest& manifest, const std::optional<VersionFacts>& version)
{
    const auto string = [&](std::u16string_view key) {
        if (!version)
            return std::string("unreadable");
        const auto value = version->String(key);
        return value ? Utf16ToUtf8(*value) : std::string("none");
    };
    std::string versionLine = "unreadable";
    if (version) {
        std::string numbers;
        for (const std::uint16_t number : version->fileVersion) {
            numbers += numbers.empty() ? "" : ".";
            numbers += std::to_string(number);
        }
        const auto text = version->String(u"FileVersion");
        versionLine = !text                           ? numbers
                      : Utf16ToUtf8(*text) == numbers ? numbers
                                                      : Utf16ToUtf8(*text) + " (" + numbers + ")";
    }
    return "  installer name  " + Utf8(manifest.InstallerName) + "\n" + "  display name    " +
           Utf8(manifest.DisplayName) + "\n" + "  kind            " + KindLine(manifest) + "\n" + "  version         " +
           versionLine + "\n" + "  company         " + string(u"CompanyName") + "\n" + "  copyright       " +
           string(u"LegalCopyright") + "\n" + "  compressed      " +
           (manifest.Storage != PayloadStorage::Raw ? "yes (LZMA)" : "no") + "\n";
}

// One line a file, in the record's order: the installed file's size and digest, or what is
// damaged, which also goes to `problems`. Gives the lines and how many entries matched their digests.
std::pair<std::string, std::size_t> FileLines(const PackageManifest& manifest, PayloadSource& entries,
                                              std::vector<std::string>& problems)
{
    struct Row {
        std::string name;
        std::string size; // of the installed file; empty when there is none to tell
        std::string rest;
    };
    std::size_t count = kFileCount;
    while (count > 0 && manifest.FileNames[count - 1].empty() && !manifest.PayloadDigests[count - 1])
        --count;
    const std::size_t installed =
        IsManifestUsable(manifest) ? static_cast<std::size_t>(LastFileIndexFor(manifest.FileNames[0])) + 1 : 0;
    const auto verdicts = CheckEntries(manifest, entries);
    std::vector<Row> rows;
    std::size_t matched = 0;
    for (std::size_t i = 0; i < count; ++i) {
        Row& row = rows.emplace_back();
        row.name = manifest.FileNames[i].empty() ? "(no name)" : Utf8(manifest.FileNames[i]);
        const std::string entry = EntryName(manifest.Storage, i);
        const auto payload = entries.LoadPayload(kFirstPayloadResourceId + static_cast<int>(i), manifest.Storage);
        std::optional<std::string> problem;
        if (verdicts[i].mismatch) {
            problem =
                "the payload entry of " + row.name + " (" + entry + ") does not match its digest in the package record";
        } else if (verdicts[i].failure) {
            problem = FetchProblem(*verdicts[i].failure, row.name, entry);
        } else if (!payload) {
            // No digest to check it by, and no entry: the installer would fail writing this file.
            if (i < installed)
                problem = FetchProblem(payload.error(), row.name, entry);
            else
                row.rest = "  no payload entry";
        } else if (const auto file = InstalledFileOf(*payload, manifest.Storage); !file) {
            problem = "the payload entry of " + row.name + " (" + entry + ") " + file.error().message;
        } else {
            row.size = std::to_string(file->size);
            row.rest = " bytes  sha256 " + Hex(file->digest);
            if (manifest.Storage != PayloadStorage::Raw)
                row.rest += "  stored in " + std::to_string(payload->size()) + " bytes" +
                            (file->compressedAsIs ? ", not compressed" : "");
            if (verdicts[i].checked)
                ++matched;
            else
                row.rest += "  (no digest recorded)";
        }
        if (problem) {
            problems.push_back(*problem);
            row.rest = "  damaged";
        }
        if (i >= installed)
            row.rest += "  (not installed)";
    }

    std::size_t nameWidth = 0;
    std::size_t sizeWidth = 0;
    for (const Row& row : rows) {
        nameWidth = std::max(nameWidth, row.name.size());
        sizeWidth = std::max(sizeWidth, row.size.size());
    }
    std::string lines = "  files           " + std::to_string(count) + "\n";
    for (const Row& row : rows) {
        lines += "    " + row.name;
        if (!row.size.empty())
            lines += std::string(nameWidth - row.name.size() + 2 + sizeWidth - row.size.size(), ' ') + row.size;
        lines += row.rest + "\n";
    }
    return {lines, matched};
}

int InspectInstaller(const std::filesystem::path& path)
{
    const std::string shown = ShownPath(path);
    const auto refuse = [&](const std::string& why) {
        Complain(shown + " " + why);
        return kRefused;
    };
    const auto damaged = [&](const std::string& why) {
        PrintOut(shown + ": damaged: " + why + "\n");
        return kDamaged;
    };
    const auto facts = Inspect(path);
    if (!facts)
        return refuse("cannot be read (" + facts.error().description + ")");
    if (facts->kind != FileKind::Regular)
        return refuse("is not an installer: it is not a file");
    if (facts->size > kLargestInstallerFile)
        return refuse("is not an installer: it is larger than any (" + std::to_string(facts->size) + " bytes)");
    const auto bytes = ReadWholeFile(path);
    if (!bytes) {
        Complain(bytes.error().message);
        return kRefused;
    }

    const auto image = ImageReader::Read(*bytes);
    if (!image && image.error().fault == ImageFault::NotAnImage)
        return refuse("is not an installer: " + image.error().message);
    if (!image)
        return damaged(image.error().message);
    if (!image->HasResources())
        return refuse("is not an installer made by tazelpack: it carries no package (no resources at all)");
    const auto stored = image->Resource(Utf16Units(kPackageRecordResourceType),
                                        static_cast<std::uint16_t>(kPackageRecordResourceId), kLanguageNeutral);
    if (!stored)
        return damaged(stored.error().message);
    if (!*stored)
        return refuse("is not an installer made by tazelpack: it carries no package record");
    const auto record = DecodePackageRecord(**stored);
    if (!record)
        return damaged("its package record " + RecordFaultText(record.error()));

    std::vector<std::string> problems;
    const auto version = ReadVersion(*image, problems);
    ImageEntries entries(*image);
    const auto [files, matched] = FileLines(*record, entries, problems);
    std::string report = shown + "\n" + Header(*record, version) + files;
    for (const std::string& problem : problems)
        report += "  damaged: " + problem + "\n";
    if (problems.empty())
        report +=
            "  intact: the package record and " +
            (matched == 1 ? std::string("its payload entry") : "its " + std::to_string(matched) + " payload entries") +
            " match their digests\n";
    PrintOut(report);
    return problems.empty() ? kPacked : kDamaged;
}

} // namespace

int InspectCommand(const std::string& installer)
{
    try {
        return InspectInstaller(PathFromUtf8(installer));
    } catch (const std::bad_alloc&) {
        Complain(installer + " cannot be inspected: not enough memory");
        return kRefused;
    }
}

} // namespace tazel::pack
