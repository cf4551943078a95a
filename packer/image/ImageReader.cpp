#include "packer/image/ImageReader.h"

#include <algorithm>

#include "core/LittleEndian.h"
#include "packer/image/PeFormat.h"

namespace tazel::pack {
namespace {

using namespace pe;

constexpr std::uint32_t kFixedSignature = 0xFEEF04BD;
constexpr std::size_t kFixedSize = 52;
constexpr std::uint16_t kText = 1;

Unexpected<ImageProblem> NotAnImage(std::string message)
{
    return Unexpected(ImageProblem{ImageFault::NotAnImage, std::move(message)});
}

Unexpected<ImageProblem> Damaged(std::string message)
{
    return Unexpected(ImageProblem{ImageFault::Damaged, std::move(message)});
}

// True when `size` bytes from `at` lie within `bytes`, in 64 bits so no sum wraps.
bool Holds(std::span<const std::byte> bytes, std::uint64_t at, std::uint64_t size)
{
    return at <= bytes.size() && size <= bytes.size() - at;
}

std::string Shown(const ResourceId& id)
{
    if (const auto* number = std::get_if<std::uint16_t>(&id))
        return std::to_string(*number);
    std::string text;
    for (const char16_t unit : std::get<std::u16string>(id))
        text += unit < 0x80 ? static_cast<char>(unit) : '?';
    return text;
}

// One level of the resource tree: the table at `at` in the directory, its entries checked to lie
// within the directory; gives the entry that names `id`, none when no entry does.
ImageExpected<std::optional<std::uint64_t>> FindEntry(std::span<const std::byte> directory, std::uint64_t at,
                                                      const ResourceId& id, const std::string& what)
{
    if (!Holds(directory, at, kTableSize))
        return Damaged("the resource table of " + what + " at " + Hex(at) + " lies outside the resource directory");
    const std::uint64_t named = ReadU16(directory, at + 12);
    const std::uint64_t numbered = ReadU16(directory, at + 14);
    if (!Holds(directory, at + kTableSize, kEntrySize * (named + numbered)))
        return Damaged("the resource table of " + what + " at " + Hex(at) + " runs past the resource directory");
    // Named entries come first, then numbered ones: only the kind of `id` is searched.
    const auto* name = std::get_if<std::u16string>(&id);
    const std::uint64_t first = name ? 0 : named;
    const std::uint64_t count = name ? named : numbered;
    for (std::uint64_t i = first; i < first + count; ++i) {
        const std::uint64_t entry = at + kTableSize + kEntrySize * i;
        const std::uint32_t key = ReadU32(directory, entry);
        if (!name) {
            if ((key & kHighBit) == 0 && key == std::get<std::uint16_t>(id))
                return entry;
            continue;
        }
        if ((key & kHighBit) == 0)
            return Damaged("a named resource entry of " + what + " has no name");
        const std::uint64_t nameAt = key & ~kHighBit;
        if (!Holds(directory, nameAt, 2) ||
            !Holds(directory, nameAt + 2, 2 * std::uint64_t{ReadU16(directory, nameAt)}))
            return Damaged("a resource name of " + what + " at " + Hex(nameAt) + " runs past the resource directory");
        const std::size_t length = ReadU16(directory, nameAt);
        if (length != name->size())
            continue;
        bool equal = true;
        for (std::size_t c = 0; c < length && equal; ++c)
            equal = ReadU16(directory, nameAt + 2 + 2 * c) == (*name)[c];
        if (equal)
            return entry;
    }
    return std::optional<std::uint64_t>();
}

// A version block node: its head, key and where its value and children lie, within `end`.
struct Node {
    std::u16string key;
    std::uint16_t type = 0;
    std::uint64_t valueAt = 0;
    std::uint64_t valueLength = 0; // as the head gives it: characters for text, bytes otherwise
    std::uint64_t childrenAt = 0;
    std::uint64_t end = 0;
};

ImageExpected<Node> ReadNode(std::span<const std::byte> block, std::uint64_t at, std::uint64_t end)
{
    constexpr std::uint64_t kHead = 6;
    if (at > end || end - at < kHead)
        return Damaged("the version block has a node cut short at " + Hex(at));
    Node node;
    const std::uint64_t length = ReadU16(block, at);
    node.valueLength = ReadU16(block, at + 2);
    node.type = ReadU16(block, at + 4);
    if (length < kHead || length > end - at)
        return Damaged("the version block has a node at " + Hex(at) + " of " + std::to_string(length) +
                       " bytes, outside its parent");
    node.end = at + length;
    std::uint64_t unit = at + kHead;
    for (;; unit += 2) {
        if (unit + 2 > node.end)
            return Damaged("the version block has a key without its end at " + Hex(at));
        const std::uint16_t c = ReadU16(block, unit);
        if (c == 0)
            break;
        node.key += static_cast<char16_t>(c);
    }
    node.valueAt = std::min(AlignUp(unit + 2, 4), node.end);
    const std::uint64_t valueBytes = node.type == kText ? 2 * node.valueLength : node.valueLength;
    node.childrenAt = std::min(AlignUp(node.valueAt + valueBytes, 4), node.end);
    return node;
}

// The nodes directly below `parent`, each within it; the next starts 4-aligned after the last.
ImageExpected<std::vector<Node>> Children(std::span<const std::byte> block, const Node& parent)
{
    std::vector<Node> children;
    for (std::uint64_t at = parent.childrenAt; at < parent.end;) {
        auto child = ReadNode(block, at, parent.end);
        if (!child)
            return Unexpected(child.error());
        at = AlignUp(child->end, 4);
        children.push_back(std::move(*child));
    }
    return children;
}

// A text value: its units up to the first NUL, or to the node's end.
std::u16string TextValue(std::span<const std::byte> block, const Node& node)
{
    std::u16string text;
    for (std::uint64_t at = node.valueAt; at + 2 <= node.end; at += 2) {
        const std::uint16_t c = ReadU16(block, at);
        if (c == 0)
            break;
        text += static_cast<char16_t>(c);
    }
    return text;
}

} // namespace

ImageExpected<ImageReader> ImageReader::Read(std::span<const std::byte> bytes)
{
    if (bytes.size() < 0x40 || ReadU16(bytes, 0) != 0x5A4D)
        return NotAnImage("it is not an executable (no MZ header)");
    const std::uint64_t peAt = ReadU32(bytes, 0x3C);
    if (!Holds(bytes, peAt, 4 + kFileHeaderSize + 2) || ReadU32(bytes, peAt) != 0x00004550)
        return NotAnImage("it is not a Windows executable (no PE header)");
    const std::uint64_t fh = peAt + 4;
    const std::uint64_t oh = fh + kFileHeaderSize;
    if (const auto machine = ReadU16(bytes, fh); machine != kMachineI386)
        return NotAnImage("it is built for machine " + Hex(machine) + ", not for i386 as an installer is");
    const std::uint16_t magic = ReadU16(bytes, oh);
    if (magic != kMagicPe32)
        return NotAnImage(magic == kMagicPe32Plus ? "it is a 64-bit image, an installer is 32-bit"
                                                  : "its optional header has magic " + Hex(magic) + ", not PE32's");

    ImageReader image;
    image.bytes_ = bytes;
    const std::uint64_t optionalSize = ReadU16(bytes, fh + 16);
    if (optionalSize < kOptionalHeaderFixedSize || !Holds(bytes, oh, optionalSize))
        return Damaged("its optional header of " + std::to_string(optionalSize) + " bytes is cut short");
    const std::uint64_t directories = ReadU32(bytes, oh + kNumberOfRvaAndSizes);
    if (directories > 16 || optionalSize < kOptionalHeaderFixedSize + 8 * directories)
        return Damaged("its optional header of " + std::to_string(optionalSize) + " bytes does not hold " +
                       std::to_string(directories) + " data directories");

    const std::uint64_t count = ReadU16(bytes, fh + 2);
    const std::uint64_t tableAt = oh + optionalSize;
    if (!Holds(bytes, tableAt, kSectionHeaderSize * count))
        return Damaged("its section table runs past the end of the file");
    for (std::uint64_t i = 0; i < count; ++i) {
        const std::uint64_t at = tableAt + kSectionHeaderSize * i;
        const std::uint32_t virtualSize = ReadU32(bytes, at + 8);
        const std::uint32_t rawAt = ReadU32(bytes, at + 20);
        const std::uint32_t rawSize = ReadU32(bytes, at + 16);
        if (rawSize != 0 && !Holds(bytes, rawAt, rawSize))
            return Damaged("it is cut short: section " + std::to_string(i + 1) + " runs to " +
                           Hex(std::uint64_t{rawAt} + rawSize) + ", past the end of the file at " + Hex(bytes.size()));
        // Raw bytes past a section's size in memory are not loaded: the next section's RVAs may
        // lie there, and its bytes are found in its own raw data.
        const std::uint32_t mapped = virtualSize != 0 ? std::min(virtualSize, rawSize) : rawSize;
        image.sections_.push_back({ReadU32(bytes, at + 12), rawAt, mapped});
    }

    if (directories <= kResourceDirectory)
        return image;
    const std::uint64_t entry = oh + kOptionalHeaderFixedSize + 8 * kResourceDirectory;
    const std::uint32_t rva = ReadU32(bytes, entry);
    const std::uint32_t size = ReadU32(bytes, entry + 4);
    if (rva == 0 && size == 0)
        return image;
    const auto directory = image.Mapped(rva, size);
    if (!directory || size < kTableSize)
        return Damaged("its resource directory (RVA " + Hex(rva) + ", " + std::to_string(size) +
                       " bytes) lies outside its sections' bytes");
    image.directory_ = *directory;
    return image;
}

std::optional<std::span<const std::byte>> ImageReader::Mapped(std::uint32_t rva, std::uint32_t size) const
{
    for (const Section& section : sections_) {
        // An empty resource may lie at the very end of a section's bytes; at that RVA anything
        // larger starts in the next section.
        const std::uint64_t offset = std::uint64_t{rva} - section.rva;
        if (rva < section.rva || offset > section.mapped || (offset == section.mapped && size != 0) ||
            section.mapped == 0)
            continue;
        // Read checked that the raw data lies within the file.
        if (size > section.mapped - offset)
            return std::nullopt;
        return bytes_.subspan(section.rawAt + offset, size);
    }
    return std::nullopt;
}

ImageExpected<std::optional<std::span<const std::byte>>>
ImageReader::Resource(const ResourceId& type, std::uint16_t name, std::uint16_t language) const
{
    using Found = std::optional<std::span<const std::byte>>;
    if (directory_.empty())
        return Found();
    const std::string what = "type " + Shown(type);
    // Type, name, language: each found entry of the first two must lead to a table, of the last
    // to a data entry.
    std::uint64_t table = 0;
    const std::pair<ResourceId, std::string> levels[] = {
        {type, what},
        {ResourceId(name), what + ", name " + std::to_string(name)},
        {ResourceId(language), what + ", name " + std::to_string(name) + ", language " + std::to_string(language)},
    };
    for (std::size_t level = 0; level < std::size(levels); ++level) {
        const auto entry = FindEntry(directory_, table, levels[level].first, levels[level].second);
        if (!entry)
            return Unexpected(entry.error());
        if (!*entry)
            return Found();
        const std::uint32_t target = ReadU32(directory_, **entry + 4);
        const bool isTable = (target & kHighBit) != 0;
        if (isTable != (level + 1 < std::size(levels)))
            return Damaged("the resource entry of " + levels[level].second + " leads to " +
                           (isTable ? "a table where its data belongs" : "data where a table belongs"));
        table = target & ~kHighBit;
    }
    if (!Holds(directory_, table, kDataEntrySize))
        return Damaged("the data entry of resource " + levels[2].second + " lies outside the resource directory");
    const std::uint32_t dataRva = ReadU32(directory_, table);
    const std::uint32_t dataSize = ReadU32(directory_, table + 4);
    const auto data = Mapped(dataRva, dataSize);
    if (!data)
        return Damaged("the bytes of resource " + levels[2].second + " (" + std::to_string(dataSize) + " at RVA " +
                       Hex(dataRva) + ") lie outside the file's sections");
    return Found(*data);
}

std::optional<std::u16string> VersionFacts::String(std::u16string_view key) const
{
    const auto found = std::find_if(std::begin(strings), std::end(strings),
                                    [&](const auto& string) { return std::u16string_view(string.first) == key; });
    if (found == strings.end())
        return std::nullopt;
    return found->second;
}

ImageExpected<VersionFacts> ReadVersionBlock(std::span<const std::byte> block)
{
    const auto root = ReadNode(block, 0, block.size());
    if (!root)
        return Unexpected(root.error());
    if (root->key != u"VS_VERSION_INFO")
        return Damaged("the version block does not start with VS_VERSION_INFO");
    if (root->valueLength < kFixedSize || root->valueAt + kFixedSize > root->end ||
        ReadU32(block, root->valueAt) != kFixedSignature)
        return Damaged("the version block has no fixed file information");
    VersionFacts facts;
    const std::uint32_t high = ReadU32(block, root->valueAt + 8);
    const std::uint32_t low = ReadU32(block, root->valueAt + 12);
    facts.fileVersion = {static_cast<std::uint16_t>(high >> 16), static_cast<std::uint16_t>(high),
                         static_cast<std::uint16_t>(low >> 16), static_cast<std::uint16_t>(low)};

    const auto parts = Children(block, *root);
    if (!parts)
        return Unexpected(parts.error());
    for (const Node& part : *parts) {
        if (part.key != u"StringFileInfo")
            continue;
        const auto tables = Children(block, part);
        if (!tables)
            return Unexpected(tables.error());
        if (tables->empty())
            break;
        const auto strings = Children(block, tables->front());
        if (!strings)
            return Unexpected(strings.error());
        for (const Node& string : *strings)
            facts.strings.emplace_back(string.key, TextValue(block, string));
        break;
    }
    return facts;
}

} // namespace tazel::pack
