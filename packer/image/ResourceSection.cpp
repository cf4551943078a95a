#include "packer/image/ResourceSection.h"
#include "core/Text.h"

#include <algorithm>
#include <compare>
#include <numeric>

#include "core/LittleEndian.h"
#include "packer/image/PeFormat.h"

namespace tazel::pack {
namespace {

using namespace pe;

constexpr std::uint64_t kLargestOffset = kHighBit - 1;
// Each resource's bytes start on an 8-byte boundary, as GNU ld places them when it merges the
// resource compiler's output (and the names' block is padded to 8 before the data entries):
// the format asks only for 2-byte alignment, but the data of a resource is read in place by
// code that expects its structures aligned (icons, version blocks).
constexpr std::uint64_t kDataAlignment = 8;

// Names are stored in upper case, as the resource compilers store them: the loader upcases the
// name it is asked for and searches the sorted names with it. Only ASCII names are taken, so
// that this upcasing and this order are exactly the loader's.
// `name` with its ASCII letters in one case: from `first` to `last` moved by `shift`.
std::u16string AsciiFolded(std::u16string_view name, char16_t first, char16_t last, int shift)
{
    std::u16string folded(name);
    for (char16_t& unit : folded) {
        if (unit >= first && unit <= last)
            unit = static_cast<char16_t>(unit + shift);
    }
    return folded;
}

std::u16string StoredName(std::u16string_view name)
{
    return AsciiFolded(name, u'a', u'z', u'A' - u'a');
}

// Names before numbers, names in ascending order of their stored units, numbers ascending.
std::strong_ordering Compare(const ResourceId& a, const ResourceId& b)
{
    if (a.index() != b.index())
        return std::holds_alternative<std::u16string>(a) ? std::strong_ordering::less : std::strong_ordering::greater;
    if (const auto* number = std::get_if<std::uint16_t>(&a))
        return *number <=> std::get<std::uint16_t>(b);
    // compare(), not <=>: one of the package maker's C++ libraries has no <=> for strings.
    return std::get<std::u16string>(a).compare(std::get<std::u16string>(b)) <=> 0;
}

std::string Describe(const ResourceId& id)
{
    if (const auto* number = std::get_if<std::uint16_t>(&id))
        return std::to_string(*number);
    std::string text = "\"";
    for (const char16_t unit : std::get<std::u16string>(id)) {
        if (unit >= 0x20 && unit < 0x7F) {
            text += static_cast<char>(unit);
            continue;
        }
        text += "\\u" + HexDigits(unit, 4);
    }
    return text + "\"";
}

std::string Describe(const Resource& resource)
{
    return "type " + Describe(resource.type) + ", name " + Describe(resource.name) + ", language " +
           std::to_string(resource.language);
}

Expected<ResourceId> Checked(const ResourceId& id, const char* what)
{
    if (const auto* number = std::get_if<std::uint16_t>(&id)) {
        // Number 0 is the null pointer a lookup by number would pass: it finds nothing.
        if (*number == 0)
            return Refuse(std::string("a resource ") + what + " cannot be number 0");
        return id;
    }
    const auto& name = std::get<std::u16string>(id);
    if (name.empty())
        return Refuse(std::string("a resource ") + what + " cannot be an empty name");
    // FindResource takes a name "#123" for the number 123: such a name is never found.
    if (name.front() == u'#')
        return Refuse(std::string("the resource ") + what + " name " + Describe(id) +
                      " starts with #, which the loader reads as a number");
    if (name.size() > 0xFFFF)
        return Refuse(std::string("the resource ") + what + " name " + Describe(id).substr(0, 40) +
                      "... is longer than 65535 characters");
    if (std::any_of(std::begin(name), std::end(name), [](char16_t unit) { return unit == 0 || unit > 0x7F; }))
        return Refuse(std::string("the resource ") + what + " name " + Describe(id) +
                      " has characters beyond ASCII (or a NUL): the loader's upper-casing of them is not "
                      "reproduced here");
    return ResourceId(StoredName(name));
}

// A stored name as ReactOS's loader compares it: folded to lower case, which puts [ \ ] ^ _ and `
// after the letters rather than before them.
std::u16string LowerCased(std::u16string_view stored)
{
    return AsciiFolded(stored, u'A', u'Z', u'a' - u'A');
}

struct Node {
    ResourceId id;
    std::size_t first = 0; // the node's span of `order`, the resources sorted
    std::size_t count = 0;
};

// The runs of equal ids among sorted resources [first, first + count) at one level of the tree.
template <typename Key>
std::vector<Node> Runs(const std::vector<std::size_t>& order, std::size_t first, std::size_t count, Key key)
{
    std::vector<Node> runs;
    for (std::size_t i = first; i < first + count; ++i) {
        ResourceId id = key(order[i]);
        if (runs.empty() || Compare(runs.back().id, id) != 0)
            runs.push_back({std::move(id), i, 0});
        ++runs.back().count;
    }
    return runs;
}

// The loaders search one table's names by halves, Windows' in upper case and ReactOS's in lower
// case: the two orders must agree, or one of them misses a name that is there.
Expected<void> CheckNameOrder(const std::vector<Node>& nodes)
{
    for (std::size_t i = 1; i < nodes.size(); ++i) {
        const auto* before = std::get_if<std::u16string>(&nodes[i - 1].id);
        const auto* after = std::get_if<std::u16string>(&nodes[i].id);
        if (before && after && LowerCased(*before) > LowerCased(*after))
            return Refuse("the resource names " + Describe(nodes[i - 1].id) + " and " + Describe(nodes[i].id) +
                          " sort one way in upper case and the other in lower case, as loaders differ in "
                          "comparing them; one of them could not be found");
    }
    return {};
}

std::uint64_t NameBytes(const ResourceId& id)
{
    const auto* name = std::get_if<std::u16string>(&id);
    return name ? 2 + 2 * static_cast<std::uint64_t>(name->size()) : 0;
}

} // namespace

Expected<ResourceLayout> LayOutResources(std::span<const Resource> resources, std::uint32_t sectionRva)
{
    std::vector<Resource> stored;
    stored.reserve(resources.size());
    for (const Resource& resource : resources) {
        auto type = Checked(resource.type, "type");
        if (!type)
            return Unexpected(type.error());
        auto name = Checked(resource.name, "name");
        if (!name)
            return Unexpected(name.error());
        stored.push_back({std::move(*type), std::move(*name), resource.language, resource.size});
    }

    std::vector<std::size_t> order(stored.size());
    std::iota(order.begin(), order.end(), std::size_t{0});
    std::stable_sort(std::begin(order), std::end(order), [&](std::size_t a, std::size_t b) {
        if (const auto type = Compare(stored[a].type, stored[b].type); type != 0)
            return type < 0;
        if (const auto name = Compare(stored[a].name, stored[b].name); name != 0)
            return name < 0;
        return stored[a].language < stored[b].language;
    });
    for (std::size_t i = 1; i < order.size(); ++i) {
        const Resource& a = stored[order[i - 1]];
        const Resource& b = stored[order[i]];
        if (Compare(a.type, b.type) == 0 && Compare(a.name, b.name) == 0 && a.language == b.language)
            return Refuse("two resources with " + Describe(b) + " (names are compared in upper case)");
    }

    // The tree: types, each with its names, each with its languages (one resource each).
    struct Type {
        Node node;
        std::vector<Node> names;
    };
    std::vector<Type> types;
    for (Node& type : Runs(order, 0, order.size(), [&](std::size_t i) { return stored[i].type; }))
        types.push_back({type, Runs(order, type.first, type.count, [&](std::size_t i) { return stored[i].name; })});
    std::vector<Node> typeNodes;
    for (const Type& type : types)
        typeNodes.push_back(type.node);
    if (auto ordered = CheckNameOrder(typeNodes); !ordered)
        return Unexpected(ordered.error());
    for (const Type& type : types)
        if (auto ordered = CheckNameOrder(type.names); !ordered)
            return Unexpected(ordered.error());

    // Sizes of the four parts, in the order GNU ld writes them: every table (depth first, each
    // table's own entries before the tables below it), the names, the data entries, the data.
    std::uint64_t tablesSize = kTableSize + kEntrySize * types.size();
    std::uint64_t namesSize = 0;
    for (const Type& type : types) {
        tablesSize += kTableSize + kEntrySize * type.names.size();
        namesSize += NameBytes(type.node.id);
        for (const Node& name : type.names) {
            tablesSize += kTableSize + kEntrySize * name.count;
            namesSize += NameBytes(name.id);
        }
    }
    const std::uint64_t dataEntriesAt = AlignUp(tablesSize + namesSize, kDataAlignment);
    const std::uint64_t directorySize = dataEntriesAt + kDataEntrySize * stored.size();
    const auto tooMany = [](const Type& type) {
        return type.names.size() > 0xFFFF || std::any_of(std::begin(type.names), std::end(type.names),
                                                         [](const Node& name) { return name.count > 0xFFFF; });
    };
    if (types.size() > 0xFFFF || std::any_of(std::begin(types), std::end(types), tooMany))
        return Refuse("more entries in one resource directory table than its 16-bit counts can hold");

    std::uint64_t dataEnd = directorySize;
    for (const Resource& resource : stored)
        dataEnd = AlignUp(dataEnd + resource.size, kDataAlignment);
    if (dataEnd > kLargestOffset || sectionRva + dataEnd > 0xFFFFFFFF)
        return Refuse("the resources come to " + std::to_string(dataEnd) +
                      " bytes, more than a resource section can address");
    ResourceLayout layout;
    layout.dataOffsets.resize(stored.size());
    layout.sectionSize = static_cast<std::uint32_t>(dataEnd);
    layout.directory.resize(static_cast<std::size_t>(directorySize));

    const std::span<std::byte> out(layout.directory);
    std::uint64_t nextTable = 0;
    std::uint64_t nextName = tablesSize;
    std::uint64_t nextDataEntry = dataEntriesAt;
    std::uint64_t nextData = directorySize;

    // A table's header, its entries reserved; returns where the first entry goes.
    const auto table = [&](const std::vector<Node>& nodes) {
        const std::uint64_t at = nextTable;
        const auto named = std::count_if(std::begin(nodes), std::end(nodes), [](const Node& node) {
            return std::holds_alternative<std::u16string>(node.id);
        });
        // Characteristics, time stamp and version stay zero: the output is the same for the same input.
        WriteU16(out, at + 12, static_cast<std::uint16_t>(named));
        WriteU16(out, at + 14, static_cast<std::uint16_t>(nodes.size() - static_cast<std::size_t>(named)));
        nextTable = at + kTableSize + kEntrySize * nodes.size();
        return at + kTableSize;
    };
    const auto entryId = [&](std::uint64_t entry, const ResourceId& id) {
        if (const auto* number = std::get_if<std::uint16_t>(&id)) {
            WriteU32(out, entry, *number);
            return;
        }
        const auto& name = std::get<std::u16string>(id);
        WriteU32(out, entry, kHighBit | static_cast<std::uint32_t>(nextName));
        WriteU16(out, nextName, static_cast<std::uint16_t>(name.size()));
        for (std::size_t c = 0; c < name.size(); ++c)
            WriteU16(out, nextName + 2 + 2 * c, static_cast<std::uint16_t>(name[c]));
        nextName += NameBytes(id);
    };
    const auto subtable = [&](std::uint64_t entry) {
        WriteU32(out, entry + 4, kHighBit | static_cast<std::uint32_t>(nextTable));
    };

    std::uint64_t typeEntry = table(typeNodes);
    for (const Type& type : types) {
        entryId(typeEntry, type.node.id);
        subtable(typeEntry);
        std::uint64_t nameEntry = table(type.names);
        for (const Node& name : type.names) {
            entryId(nameEntry, name.id);
            subtable(nameEntry);
            std::vector<Node> languages;
            for (std::size_t i = name.first; i < name.first + name.count; ++i)
                languages.push_back({stored[order[i]].language, i, 1});
            std::uint64_t languageEntry = table(languages);
            for (const Node& language : languages) {
                const std::size_t resource = order[language.first];
                WriteU32(out, languageEntry, std::get<std::uint16_t>(language.id));
                WriteU32(out, languageEntry + 4, static_cast<std::uint32_t>(nextDataEntry));
                // The data entry: RVA, size, code page 0, reserved.
                WriteU32(out, nextDataEntry, static_cast<std::uint32_t>(sectionRva + nextData));
                WriteU32(out, nextDataEntry + 4, stored[resource].size);
                layout.dataOffsets[resource] = static_cast<std::uint32_t>(nextData);
                nextDataEntry += kDataEntrySize;
                nextData = AlignUp(nextData + stored[resource].size, kDataAlignment);
                languageEntry += kEntrySize;
            }
            nameEntry += kEntrySize;
        }
        typeEntry += kEntrySize;
    }
    return layout;
}

} // namespace tazel::pack
