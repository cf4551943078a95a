// The description reader, with the files a description names held in memory (Framing.h,
// packer/machine/MachineMemory.h). What it refuses, it refuses in lines a publisher can read, in
// order; what it passes, the packer makes into an installer, in which the installer's own readers
// find the names, the files and the version described.

#include <algorithm>

#include "core/ManifestFormat.h"
#include "core/Utf.h"
#include "packer/Description.h"
#include "packer/Packer.h"
#include "packer/image/ImageReader.h"
#include "packer/machine/Machine.h"
#include "packer/machine/MachineMemory.h"
#include "tests/fuzz/Framing.h"
#include "tests/fuzz/Fuzz.h"
#include "tests/packer/image/ImageFixture.h"

namespace tazel::pack {
namespace {

// The kit's art goes into the image as it is; its manifest is read for the two places the
// package's identity goes.
const Kit& FuzzKit()
{
    static const std::vector<std::byte> stub = test::MinimalStub();
    static const std::string_view manifest = "<assembly><assemblyIdentity name=\"x\" version=\"2.0.0.4\"/>"
                                             "<description>x</description></assembly>";
    static const std::byte art[] = {std::byte{1}, std::byte{2}, std::byte{3}};
    static const Kit kit{stub, stub, art, art, art, std::as_bytes(std::span(manifest))};
    return kit;
}

void CheckRefusal(std::string_view description, const std::vector<Problem>& problems)
{
    const auto lines = std::count(description.begin(), description.end(), '\n') + 1;
    FUZZ_CHECK(!problems.empty());
    for (const Problem& problem : problems)
        FUZZ_CHECK(problem.line >= 0 && problem.line <= lines && !problem.text.empty() && DecodeUtf8(problem.text));
    FUZZ_CHECK(std::is_sorted(problems.begin(), problems.end(), [](const Problem& a, const Problem& b) {
        return a.line != b.line ? a.line < b.line : a.text < b.text;
    }));
}

std::wstring Wide(std::string_view utf8)
{
    return WideUnits(Utf8ToUtf16(utf8).value_or(u""));
}

// A compressed package is made only up to this many bytes of files: past it the campaign's bound
// of a second an input would meet the LZMA encoder's time, which grows with them, not a reader's.
constexpr std::size_t kLargestCompressed = std::size_t{1} << 20;

void CheckInstaller(const Description& described)
{
    const bool compressed = described.compression == "lzma";
    std::size_t sources = 0;
    for (const DescribedFile& file : described.files)
        sources += memory::FileAt(Joined(".", file.source))->size();
    if (compressed && sources > kLargestCompressed)
        return;
    const auto made = MakeInstaller(PackageOf(described, "."), FuzzKit());
    if (!made)
        std::fprintf(stderr, "refused: %s\n", made.error().message.c_str());
    FUZZ_CHECK(made);
    const auto image = ImageReader::Read(*made);
    FUZZ_CHECK(image);
    const auto stored = image->Resource(std::u16string(u"PACKAGE"), 1, kLanguageNeutral);
    FUZZ_CHECK(stored && *stored);
    const auto record = DecodePackageRecord(**stored);
    FUZZ_CHECK(record);
    FUZZ_CHECK(record->InstallerName == Wide(described.installerName));
    FUZZ_CHECK(record->DisplayName == Wide(described.displayName));
    FUZZ_CHECK(record->Storage == (compressed ? PayloadStorage::Lzma : PayloadStorage::Raw));
    for (std::size_t i = 0; i < described.files.size(); ++i) {
        FUZZ_CHECK(record->FileNames[i] == WideUnits(described.files[i].units));
        const auto entry = image->Resource(std::u16string(compressed ? u"LZMA" : u"CUSTOM"),
                                           static_cast<std::uint16_t>(kFirstPayloadResourceId + i), kLanguageUsEnglish);
        FUZZ_CHECK(entry && *entry && record->PayloadDigests[i] == Sha256Of(**entry));
        std::vector<std::byte> installed((**entry).begin(), (**entry).end());
        if (compressed) {
            const auto coded = ParseCodedEntry(**entry);
            FUZZ_CHECK(coded);
            installed.assign(coded->length, std::byte{0});
            FUZZ_CHECK(fuzz::DecodeEntry(*coded, installed));
        }
        FUZZ_CHECK(installed == *memory::FileAt(Joined(".", described.files[i].source)));
    }
    const auto block = image->Resource(kTypeVersion, 1, kLanguageUsEnglish);
    FUZZ_CHECK(block && *block);
    const auto version = ReadVersionBlock(**block);
    FUZZ_CHECK(version);
    const std::string_view text = described.version.empty() ? kProductVersionText : described.version;
    FUZZ_CHECK(version->String(u"FileVersion") == Utf8ToUtf16(text));
}

} // namespace
} // namespace tazel::pack

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace tazel::pack;
    const auto framed = tazel::fuzz::Unframe({reinterpret_cast<const char*>(data), size});
    memory::Clear();
    for (const auto& [name, bytes] : framed.files)
        memory::PutFile(PathFromUtf8(name), {reinterpret_cast<const std::byte*>(bytes.data()),
                                             reinterpret_cast<const std::byte*>(bytes.data() + bytes.size())});
    // In an allocation of its own, so that a read past the description is caught.
    const std::vector<char> text(framed.description.begin(), framed.description.end());
    const auto described = CheckDescription(std::as_bytes(std::span(text)), ".");
    if (!described)
        CheckRefusal(framed.description, described.error());
    else
        CheckInstaller(*described);
    return 0;
}
