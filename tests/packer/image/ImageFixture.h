#pragma once
// What the image tests share with the sample writer: a minimal stub made in memory (the real
// stub is a product of the Windows build), resources shaped like an installer's, the three
// steps of packer/PeImage.h in one call, and a reader of the resource tree that knows nothing
// of how the packer lays it out.

#include <algorithm>
#include <compare>
#include <cstddef>
#include <cstdint>
#include <span>
#include <stdexcept>
#include <string>
#include <utility>
#include <variant>
#include <vector>

#include "core/LittleEndian.h"
#include "packer/image/PeImage.h"
#include "packer/image/ResourceSection.h"
#include "packer/image/VersionBlock.h"

namespace tazel::pack::test {

// Stub layout: DOS header, "PE\0\0" at 0x80, two sections (.text, .data) of one page each.
inline constexpr std::size_t kPeAt = 0x80;
inline constexpr std::size_t kFileHeaderAt = kPeAt + 4;
inline constexpr std::size_t kOptionalAt = kFileHeaderAt + 20;
inline constexpr std::size_t kDirectoriesAt = kOptionalAt + 96;
inline constexpr std::size_t kSectionTableAt = kOptionalAt + 224;
inline constexpr std::uint32_t kPage = 0x1000;

inline std::vector<std::byte> MinimalStub()
{
    std::vector<std::byte> stub(3 * kPage);
    const std::span<std::byte> s(stub);
    WriteU16(s, 0, 0x5A4D);
    WriteU32(s, 0x3C, kPeAt);
    WriteU32(s, kPeAt, 0x00004550);
    WriteU16(s, kFileHeaderAt, 0x014C);
    WriteU16(s, kFileHeaderAt + 2, 2);
    WriteU16(s, kFileHeaderAt + 16, 224);
    WriteU16(s, kFileHeaderAt + 18, 0x0102); // executable, 32-bit
    WriteU16(s, kOptionalAt, 0x010B);
    WriteU32(s, kOptionalAt + 4, kPage);      // code
    WriteU32(s, kOptionalAt + 8, kPage);      // initialised data
    WriteU32(s, kOptionalAt + 16, 0x1000);    // entry point
    WriteU32(s, kOptionalAt + 28, 0x400000);  // image base
    WriteU32(s, kOptionalAt + 32, kPage);     // section alignment
    WriteU32(s, kOptionalAt + 36, kPage);     // file alignment
    WriteU16(s, kOptionalAt + 40, 6);         // OS version
    WriteU16(s, kOptionalAt + 48, 6);         // subsystem version
    WriteU32(s, kOptionalAt + 56, 3 * kPage); // image size
    WriteU32(s, kOptionalAt + 60, kPage);     // headers' size
    WriteU16(s, kOptionalAt + 68, 2);         // GUI
    WriteU32(s, kOptionalAt + 92, 16);
    const auto section = [&](std::size_t index, const char* name, std::uint32_t size, std::uint32_t flags) {
        const std::size_t at = kSectionTableAt + 40 * index;
        for (std::size_t i = 0; name[i] != '\0'; ++i)
            s[at + i] = static_cast<std::byte>(name[i]);
        WriteU32(s, at + 8, size);
        WriteU32(s, at + 12, kPage * static_cast<std::uint32_t>(index + 1));
        WriteU32(s, at + 16, kPage);
        WriteU32(s, at + 20, kPage * static_cast<std::uint32_t>(index + 1));
        WriteU32(s, at + 36, flags);
    };
    section(0, ".text", 0x10, 0x60000020);
    section(1, ".data", 0x20, 0xC0000040);
    // Recognisable section contents, to see them arrive unchanged.
    for (std::size_t i = 0; i < 2 * kPage; ++i)
        stub[kPage + i] = static_cast<std::byte>(i * 7 + 1);
    return stub;
}

// The product's version block as cmake/Package.rc.in states it.
inline VersionInfo ProductVersion(const std::u16string& installerName, const std::u16string& displayName)
{
    VersionInfo info;
    info.fixed.fileVersion = {2, 0, 0, 4};
    info.fixed.productVersion = {2, 0, 0, 4};
    info.tableKey = u"040904B0";
    info.strings = {
        {u"CompanyName", u"Tazel Deck Project"},
        {u"FileDescription", displayName + u" installer for Ombrix"},
        {u"FileVersion", u"2.00.0004"},
        {u"InternalName", installerName},
        {u"OriginalFilename", installerName + u".exe"},
        {u"ProductName", u"Ombrix"},
        {u"ProductVersion", u"2.00.0004"},
    };
    info.translations = {{0x409, 1200}};
    return info;
}

struct SampleResource {
    Resource resource;
    std::vector<std::byte> data;
};

inline std::vector<std::byte> Pattern(std::size_t size, unsigned seed)
{
    std::vector<std::byte> data(size);
    for (std::size_t i = 0; i < size; ++i)
        data[i] = static_cast<std::byte>((i * 131 + seed * 17 + (i >> 8)) & 0xFF);
    return data;
}

// An installer's resources (odd sizes, so that the padding shows), out of order, with two more
// named types, one of them given in lower case.
inline std::vector<SampleResource> SampleResources(std::vector<std::byte> versionBlock)
{
    std::vector<SampleResource> resources;
    const auto add = [&](ResourceId type, ResourceId name, std::uint16_t language, std::vector<std::byte> data) {
        resources.push_back(
            {{std::move(type), std::move(name), language, static_cast<std::uint32_t>(data.size())}, std::move(data)});
    };
    add(kTypeVersion, std::uint16_t{1}, kLanguageUsEnglish, std::move(versionBlock));
    for (std::uint16_t i = 8; i >= 1; --i)
        add(u"CUSTOM", std::uint16_t(100 + i), kLanguageUsEnglish, Pattern(1000u * i + i, i));
    add(kTypeIcon, std::uint16_t{30001}, kLanguageNeutral, Pattern(3240, 20));
    add(kTypeGroupIcon, std::uint16_t{1}, kLanguageNeutral, Pattern(20, 21));
    add(kTypeRcData, std::uint16_t{201}, kLanguageNeutral, Pattern(8541, 22));
    add(kTypeManifest, std::uint16_t{1}, kLanguageNeutral, Pattern(1909, 23));
    add(u"zeta", u"Second", 0x0407, Pattern(3, 24));
    add(u"zeta", u"FIRST", 0x0407, Pattern(0, 25));
    add(u"ALPHA_B", std::uint16_t{7}, kLanguageNeutral, Pattern(5, 26));
    add(u"ALPHA", std::uint16_t{7}, kLanguageUsEnglish, Pattern(6, 27));
    add(u"ALPHA", std::uint16_t{7}, kLanguageNeutral, Pattern(7, 28));
    return resources;
}

// The finished image, or why it was refused.
inline Expected<std::vector<std::byte>> Compose(std::span<const std::byte> stubBytes,
                                                const std::vector<SampleResource>& resources)
{
    auto stub = ParseStub(stubBytes);
    if (!stub)
        return Unexpected(stub.error());
    std::vector<Resource> list;
    for (const auto& r : resources)
        list.push_back(r.resource);
    auto layout = LayOutResources(list, stub->sectionRva);
    if (!layout)
        return Unexpected(layout.error());
    auto image = AddResourceSection(*stub, layout->sectionSize);
    if (!image)
        return Unexpected(image.error());
    const std::span<std::byte> section = image->Section();
    std::ranges::copy(layout->directory, section.begin());
    for (std::size_t i = 0; i < resources.size(); ++i)
        std::ranges::copy(resources[i].data, section.begin() + layout->dataOffsets[i]);
    SealImage(*image);
    return std::move(image->bytes);
}

// One resource as the directory records it, in the directory's order.
struct FoundResource {
    ResourceId type;
    ResourceId name;
    std::uint16_t language = 0;
    std::uint32_t rva = 0;
    std::vector<std::byte> data;

    auto operator<=>(const FoundResource&) const = default;
};

// Every resource of `image` through its resource directory, found as a loader finds it: by the
// RVAs, mapped through the section table.
inline std::vector<FoundResource> ReadResources(std::span<const std::byte> image)
{
    const std::size_t pe = ReadU32(image, 0x3C);
    const std::size_t optional = pe + 24;
    const std::size_t table = optional + ReadU16(image, pe + 20);
    const std::size_t sections = ReadU16(image, pe + 6);
    // Where `size` bytes from `rva` lie in the file: an empty resource may end a section.
    const auto fileOffset = [&](std::uint32_t rva, std::uint32_t size) -> std::size_t {
        for (std::size_t i = 0; i < sections; ++i) {
            const std::size_t at = table + 40 * i;
            const std::uint32_t start = ReadU32(image, at + 12);
            if (rva >= start && std::uint64_t{rva} + size <= std::uint64_t{start} + ReadU32(image, at + 16))
                return ReadU32(image, at + 20) + (rva - start);
        }
        throw std::runtime_error("an RVA in no section");
    };
    const std::size_t root = fileOffset(ReadU32(image, optional + 96 + 16), ReadU32(image, optional + 96 + 20));

    std::vector<FoundResource> found;
    const auto entries = [&](std::size_t directory) {
        std::vector<std::pair<ResourceId, std::uint32_t>> list;
        const std::size_t count =
            std::size_t{ReadU16(image, root + directory + 12)} + ReadU16(image, root + directory + 14);
        for (std::size_t i = 0; i < count; ++i) {
            const std::uint32_t id = ReadU32(image, root + directory + 16 + 8 * i);
            const std::uint32_t target = ReadU32(image, root + directory + 20 + 8 * i);
            if ((id & 0x80000000) == 0) {
                list.emplace_back(static_cast<std::uint16_t>(id), target & 0x7FFFFFFF);
                continue;
            }
            const std::size_t at = root + (id & 0x7FFFFFFF);
            std::u16string name(ReadU16(image, at), u'\0');
            for (std::size_t c = 0; c < name.size(); ++c)
                name[c] = static_cast<char16_t>(ReadU16(image, at + 2 + 2 * c));
            list.emplace_back(std::move(name), target & 0x7FFFFFFF);
        }
        return list;
    };
    for (const auto& [type, names] : entries(0)) {
        for (const auto& [name, languages] : entries(names)) {
            for (const auto& [language, leaf] : entries(languages)) {
                const std::uint32_t rva = ReadU32(image, root + leaf);
                const std::uint32_t size = ReadU32(image, root + leaf + 4);
                const auto data = image.subspan(fileOffset(rva, size), size);
                found.push_back({type, name, std::get<std::uint16_t>(language), rva, {data.begin(), data.end()}});
            }
        }
    }
    return found;
}

} // namespace tazel::pack::test
