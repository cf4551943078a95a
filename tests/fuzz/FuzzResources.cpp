// The packer's writers of the resource section and the version block, round trip: resources and
// version texts made of the input, written into an installer, must read back whole from it.
//
// Read back by walks that share no code with the writers: the resource tree by the tests' own
// reader (ReadResources in tests/packer/image/ImageFixture.h, which enumerates every entry), the
// version block by the walk below. Both take the format's offsets as written in them, not from
// packer/image/PeFormat.h, which the writer and the packer's ImageReader share: a wrong offset
// there would be read back as it was written. The ImageReader reads the result too, as the
// inspection would.

#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>

#include "packer/image/ImageReader.h"
#include "tests/fuzz/Fuzz.h"
#include "tests/packer/image/ImageFixture.h"

namespace tazel::pack {
namespace {

ResourceId Id(FuzzedDataProvider& input)
{
    if (input.ConsumeBool())
        return input.ConsumeIntegral<std::uint16_t>();
    const std::string name = input.ConsumeRandomLengthString(12);
    return std::u16string(name.begin(), name.end());
}

std::u16string Text(FuzzedDataProvider& input)
{
    std::u16string text;
    for (std::size_t length = input.ConsumeIntegralInRange(0, 40); length > 0; --length)
        text += input.ConsumeBool() ? static_cast<char16_t>(input.ConsumeIntegralInRange('a', 'z'))
                                    : input.ConsumeIntegral<char16_t>();
    return text;
}

// A name as the directory stores it: ASCII letters in upper case.
ResourceId Stored(const ResourceId& id)
{
    auto name = std::get_if<std::u16string>(&id);
    if (!name)
        return id;
    std::u16string upper = *name;
    for (char16_t& unit : upper)
        unit = unit >= u'a' && unit <= u'z' ? static_cast<char16_t>(unit - 32) : unit;
    return upper;
}

// The loader's order: names before numbers, each ascending.
auto Order(const ResourceId& id)
{
    return std::pair(std::holds_alternative<std::uint16_t>(id), id);
}

// A node of a version block: length (2), value length (2), type (2: 1 text, 0 binary), key to its
// NUL, padding to 4, value (text in characters, NUL included), children on 4-byte boundaries.
struct Node {
    std::u16string key;
    std::uint16_t type = 0;
    std::vector<std::byte> value;
    std::vector<Node> children;
    std::size_t end = 0;
};

Node Walk(std::span<const std::byte> block, std::size_t at)
{
    FUZZ_CHECK(at % 4 == 0 && at + 6 <= block.size());
    Node node;
    node.end = at + ReadU16(block, at);
    node.type = ReadU16(block, at + 4);
    FUZZ_CHECK(node.end <= block.size() && node.type <= 1);
    std::size_t unit = at + 6;
    for (;; unit += 2) {
        FUZZ_CHECK(unit + 2 <= node.end);
        if (ReadU16(block, unit) == 0)
            break;
        node.key += static_cast<char16_t>(ReadU16(block, unit));
    }
    const std::size_t valueAt = AlignUp(unit + 2, 4);
    const std::size_t valueEnd = valueAt + ReadU16(block, at + 2) * (node.type == 1 ? 2u : 1u);
    FUZZ_CHECK(valueEnd <= node.end);
    node.value.assign(block.begin() + valueAt, block.begin() + valueEnd);
    for (std::size_t child = AlignUp(valueEnd, 4); child < node.end; child = AlignUp(node.children.back().end, 4))
        node.children.push_back(Walk(block, child));
    return node;
}

std::vector<std::byte> Utf16z(std::u16string_view text)
{
    std::vector<std::byte> bytes;
    AppendUtf16(bytes, text);
    AppendU16(bytes, 0);
    return bytes;
}

void CheckVersionBlock(const VersionInfo& info, std::span<const std::byte> block)
{
    const Node root = Walk(block, 0);
    FUZZ_CHECK(root.end == block.size() && root.key == u"VS_VERSION_INFO" && root.children.size() == 2);
    std::vector<std::byte> fixed;
    const FixedFileInfo& f = info.fixed;
    const auto pair = [](std::uint16_t high, std::uint16_t low) { return std::uint32_t{high} << 16 | low; };
    for (const std::uint32_t field :
         {0xFEEF04BDu, 0x10000u, pair(f.fileVersion[0], f.fileVersion[1]), pair(f.fileVersion[2], f.fileVersion[3]),
          pair(f.productVersion[0], f.productVersion[1]), pair(f.productVersion[2], f.productVersion[3]),
          f.fileFlagsMask, f.fileFlags, f.fileOs, f.fileType, f.fileSubtype, 0u, 0u})
        AppendU32(fixed, field);
    FUZZ_CHECK(root.type == 0 && root.value == fixed);

    const Node& strings = root.children[0];
    FUZZ_CHECK(strings.key == u"StringFileInfo" && strings.children.size() == 1);
    const Node& table = strings.children[0];
    FUZZ_CHECK(table.key == info.tableKey && table.children.size() == info.strings.size());
    for (std::size_t i = 0; i < info.strings.size(); ++i) {
        const Node& string = table.children[i];
        FUZZ_CHECK(string.type == 1 && string.key == info.strings[i].key);
        FUZZ_CHECK(string.value == Utf16z(info.strings[i].value));
    }
    const Node& variables = root.children[1];
    FUZZ_CHECK(variables.key == u"VarFileInfo" && variables.children.size() == 1);
    std::vector<std::byte> translations;
    for (const Translation& t : info.translations) {
        AppendU16(translations, t.language);
        AppendU16(translations, t.codePage);
    }
    FUZZ_CHECK(variables.children[0].key == u"Translation" && variables.children[0].value == translations);

    // The inspection's reader of the same block.
    const auto facts = ReadVersionBlock(block);
    FUZZ_CHECK(facts && facts->fileVersion == f.fileVersion && facts->strings.size() == info.strings.size());
    for (std::size_t i = 0; i < info.strings.size(); ++i)
        FUZZ_CHECK(facts->strings[i].first == info.strings[i].key && facts->strings[i].second == info.strings[i].value);
}

void CheckImage(const std::vector<test::SampleResource>& given, std::span<const std::byte> image)
{
    const std::vector<test::FoundResource> found = test::ReadResources(image);
    FUZZ_CHECK(found.size() == given.size());
    for (std::size_t i = 0; i < found.size(); ++i) {
        const test::FoundResource& f = found[i];
        FUZZ_CHECK(f.rva % 8 == 0);
        if (i > 0) {
            const test::FoundResource& e = found[i - 1];
            FUZZ_CHECK(std::tuple(Order(e.type), Order(e.name), e.language) <
                       std::tuple(Order(f.type), Order(f.name), f.language));
        }
        const auto same = [&](const test::SampleResource& r) {
            return Stored(r.resource.type) == f.type && Stored(r.resource.name) == f.name &&
                   r.resource.language == f.language;
        };
        const auto source = std::find_if(given.begin(), given.end(), same);
        FUZZ_CHECK(source != given.end() && source->data == f.data);
    }
    const auto read = ImageReader::Read(image);
    FUZZ_CHECK(read);
    for (const test::SampleResource& r : given) {
        const auto* name = std::get_if<std::uint16_t>(&r.resource.name);
        if (!name)
            continue;
        const auto bytes = read->Resource(Stored(r.resource.type), *name, r.resource.language);
        FUZZ_CHECK(bytes && *bytes && std::ranges::equal(**bytes, r.data));
    }
}

} // namespace
} // namespace tazel::pack

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace tazel::pack;
    FuzzedDataProvider input(data, size);
    VersionInfo info;
    for (std::uint16_t& number : info.fixed.fileVersion)
        number = input.ConsumeIntegral<std::uint16_t>();
    info.fixed.productVersion = info.fixed.fileVersion;
    info.fixed.fileFlags = input.ConsumeIntegral<std::uint32_t>();
    info.tableKey = Text(input);
    for (std::size_t count = input.ConsumeIntegralInRange(0, 10); count > 0; --count)
        info.strings.push_back({Text(input), Text(input)});
    for (std::size_t count = input.ConsumeIntegralInRange(0, 3); count > 0; --count)
        info.translations.push_back({input.ConsumeIntegral<std::uint16_t>(), input.ConsumeIntegral<std::uint16_t>()});
    const auto block = BuildVersionBlock(info);
    if (block)
        CheckVersionBlock(info, *block);

    std::vector<test::SampleResource> resources;
    if (block)
        resources.push_back(
            {{kTypeVersion, std::uint16_t{1}, kLanguageUsEnglish, std::uint32_t(block->size())}, *block});
    for (std::size_t count = input.ConsumeIntegralInRange(0, 40); count > 0; --count) {
        const ResourceId type = Id(input);
        const ResourceId name = Id(input);
        const auto language = input.ConsumeIntegral<std::uint16_t>();
        const auto length = input.ConsumeIntegralInRange<std::uint32_t>(0, 300);
        const auto seed = static_cast<unsigned>(resources.size());
        resources.push_back({{type, name, language, length}, test::Pattern(length, seed)});
    }
    static const std::vector<std::byte> stub = test::MinimalStub();
    const auto image = test::Compose(stub, resources);
    if (image)
        CheckImage(resources, *image);
    return 0;
}
