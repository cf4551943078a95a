#include "packer/Packer.h"

#include <algorithm>
#include <cstring>

#include "core/ManifestFormat.h"
#include "core/PackageManifest.h"
#include "core/Sha256.h"
#include "core/Utf.h"
#include "packer/Compression.h"
#include "packer/FastSha256.h"
#include "packer/image/Icon.h"
#include "packer/image/PeImage.h"
#include "packer/image/Picture.h"
#include "packer/image/ResourceSection.h"
#include "packer/image/VersionBlock.h"
#include "packer/machine/Machine.h"
#include "resources/ResourceIds.h"

namespace tazel::pack {
namespace {

// The numbers the installer's window looks its icon and picture up by.
constexpr std::uint16_t kIconGroupId = IDI_TAZEL_GROUP;
constexpr std::uint16_t kWindowPictureId = IDR_WINDOW_PICTURE;
constexpr std::uint16_t kApplicationManifestId = 1; // CREATEPROCESS_MANIFEST_RESOURCE_ID
constexpr std::uint16_t kVersionId = 1;

Expected<std::u16string> Utf16(const std::string& text, const char* what)
{
    auto converted = Utf8ToUtf16(text);
    if (!converted)
        return Refuse(std::string("the ") + what + " is not UTF-8 text");
    return std::move(*converted);
}

// The version block: the publisher's version and names (the product's by default), the package's.
Expected<std::vector<std::byte>> VersionBlockFor(const Package& package, const std::u16string& installerName,
                                                 const std::u16string& displayName)
{
    const auto versionText = Utf16(package.versionText, "version");
    const auto company = Utf16(package.company, "company");
    const auto copyright = Utf16(package.copyright, "copyright");
    if (!versionText || !company || !copyright)
        return Unexpected(!versionText ? versionText.error() : !company ? company.error() : copyright.error());
    VersionInfo info;
    info.fixed.fileVersion = package.version;
    info.fixed.productVersion = package.version;
    info.tableKey = u"040904B0";
    // In the order the product's resource script listed them, which is alphabetical.
    info.strings = {
        {u"CompanyName", *company},
        {u"FileDescription", displayName + u" installer for Ombrix"},
        {u"FileVersion", *versionText},
        {u"InternalName", installerName},
    };
    if (!copyright->empty())
        info.strings.push_back({u"LegalCopyright", *copyright});
    info.strings.insert(info.strings.end(), {
                                                {u"OriginalFilename", installerName + u".exe"},
                                                {u"ProductName", u"Ombrix"},
                                                {u"ProductVersion", *versionText},
                                            });
    info.translations = {{0x409, 1200}};
    return BuildVersionBlock(info);
}

// Text as XML element content or an attribute's value carries it. XML 1.0 has no way to write
// the control characters but tab, line feed and carriage return, not even as references.
Expected<std::string> XmlEscaped(std::string_view text, const char* what)
{
    std::string escaped;
    for (const char c : text) {
        if (static_cast<unsigned char>(c) < 0x20 && c != '\t' && c != '\n' && c != '\r')
            return Refuse(std::string("the ") + what +
                          " holds a control character, which an application manifest "
                          "cannot carry");
        const char* reference = c == '&'    ? "&amp;"
                                : c == '<'  ? "&lt;"
                                : c == '>'  ? "&gt;"
                                : c == '"'  ? "&quot;"
                                : c == '\'' ? "&apos;"
                                            : nullptr;
        if (reference != nullptr)
            escaped += reference;
        else
            escaped += c;
    }
    return escaped;
}

// The kit's application manifest with the package's own identity: its version in the assembly
// identity, its display name in the description, written as the version block's file description.
// The product's own package gives the kit's manifest byte for byte.
Expected<std::string> ApplicationManifestFor(const Package& package, std::span<const std::byte> kitManifest)
{
    std::string manifest(reinterpret_cast<const char*>(kitManifest.data()), kitManifest.size());
    const auto fail = [](const char* what) {
        return Refuse(std::string("the packer's application manifest has no ") + what + " to give the package's");
    };
    const std::size_t identity = manifest.find("<assemblyIdentity ");
    const std::size_t identityEnd = manifest.find('>', identity);
    const std::size_t versionAt = manifest.find(" version=\"", identity);
    if (identity == std::string::npos || identityEnd == std::string::npos || versionAt > identityEnd)
        return fail("assembly version");
    const std::size_t versionStart = versionAt + std::strlen(" version=\"");
    const std::size_t versionEnd = manifest.find('"', versionStart);
    if (versionEnd > identityEnd)
        return fail("assembly version");
    std::string version;
    for (const std::uint16_t number : package.version) {
        if (!version.empty())
            version += '.';
        version += std::to_string(number);
    }
    manifest.replace(versionStart, versionEnd - versionStart, version);

    constexpr std::string_view kOpen = "<description>", kClose = "</description>";
    const std::size_t open = manifest.find(kOpen);
    const std::size_t close = manifest.find(kClose, open);
    if (open == std::string::npos || close == std::string::npos)
        return fail("description");
    const auto name = XmlEscaped(package.displayName, "display name");
    if (!name)
        return Unexpected(name.error());
    manifest.replace(open + kOpen.size(), close - open - kOpen.size(), *name + " installer for Ombrix");
    return manifest;
}

// A publisher's icon or picture, read whole (it is small) and checked as the description's
// check does: the file may have changed since.
Expected<std::vector<std::byte>> ReadArt(const std::filesystem::path& path, const char* what)
{
    if (const auto facts = Inspect(path); facts && facts->kind == FileKind::Regular && facts->size > kLargestSource)
        return Refuse(std::string("the ") + what + " " + ShownPath(path) +
                      " is too large: " + std::to_string(facts->size) + " bytes");
    return ReadWholeFile(path);
}

// The icon's resources: the kit's, or each image of the publisher's icon and a group of them.
struct Icon {
    std::vector<std::byte> file;
    std::vector<IconImage> images;
    std::vector<std::byte> group;
};

Expected<Icon> ReadPublisherIcon(const std::filesystem::path& path)
{
    Icon icon;
    auto file = ReadArt(path, "icon");
    if (!file)
        return Unexpected(file.error());
    icon.file = std::move(*file);
    auto images = ReadIcon(icon.file);
    if (!images)
        return Refuse("the icon " + ShownPath(path) + " " + images.error());
    icon.images = std::move(*images);
    icon.group = IconGroup(icon.images, kFirstIconImageId);
    return icon;
}

// A resource whose bytes the packer already holds, or a source file read into place.
struct Item {
    Resource resource;
    std::span<const std::byte> held;
    std::optional<std::filesystem::path> source;
    std::optional<std::size_t> entry; // the payload entry it is
};

Item Held(ResourceId type, std::uint16_t name, std::uint16_t language, std::span<const std::byte> bytes)
{
    return {
        {std::move(type), name, language, static_cast<std::uint32_t>(bytes.size())}, bytes, std::nullopt, std::nullopt};
}

// The package record with a slot for each entry's digest, of a fixed size: the record's size is
// known before the sources are read, and its digests are filled in once they have been.
Expected<PackageManifest> RecordOf(const Package& package)
{
    if (package.files.size() > kFileCount)
        return Refuse("a package holds at most " + std::to_string(kFileCount) + " files");
    const auto installerName = Utf16(package.installerName, "installer name");
    if (!installerName)
        return Unexpected(installerName.error());
    const auto displayName = Utf16(package.displayName, "display name");
    if (!displayName)
        return Unexpected(displayName.error());
    PackageManifest manifest;
    manifest.InstallerName = WideUnits(*installerName);
    manifest.DisplayName = WideUnits(*displayName);
    for (std::size_t i = 0; i < package.files.size(); ++i) {
        const auto name = Utf16(package.files[i].name, "file name");
        if (!name)
            return Unexpected(name.error());
        manifest.FileNames[i] = WideUnits(*name);
        if (package.files[i].source)
            manifest.PayloadDigests[i].emplace();
    }
    if (package.compressed)
        manifest.Storage = PayloadStorage::Lzma;
    return manifest;
}

// What the package adds around its files: the publisher's icon and picture (or nothing, for the
// kit's), the application manifest and the version block.
struct Dress {
    std::optional<Icon> icon;
    std::optional<std::vector<std::byte>> picture;
    std::string applicationManifest;
    std::vector<std::byte> version;
};

Expected<Dress> DressOf(const Package& package, const Kit& kit, const PackageManifest& record)
{
    Dress dress;
    const auto version = VersionBlockFor(package, Utf16Units(record.InstallerName), Utf16Units(record.DisplayName));
    if (!version)
        return Unexpected(version.error());
    dress.version = *version;
    auto applicationManifest = ApplicationManifestFor(package, kit.applicationManifest);
    if (!applicationManifest)
        return Unexpected(applicationManifest.error());
    dress.applicationManifest = std::move(*applicationManifest);
    if (package.icon) {
        auto icon = ReadPublisherIcon(*package.icon);
        if (!icon)
            return Unexpected(icon.error());
        dress.icon = std::move(*icon);
    }
    if (package.windowPicture) {
        auto picture = ReadArt(*package.windowPicture, "window picture");
        if (!picture)
            return Unexpected(picture.error());
        if (const auto problem = WindowPictureProblem(*picture))
            return Refuse("the window picture " + ShownPath(*package.windowPicture) + " " + *problem);
        dress.picture = std::move(*picture);
    }
    return dress;
}

// The payload entries' resources. A raw entry is read later, straight into its place in the image;
// a compressed one is read and compressed here, into `stored`, which the items then point into.
Expected<std::vector<Item>> PayloadItems(const Package& package, std::vector<std::vector<std::byte>>& stored)
{
    std::vector<Item> items;
    std::vector<std::vector<std::byte>> read;
    for (std::size_t i = 0; i < package.files.size(); ++i) {
        const auto& source = package.files[i].source;
        if (!source)
            continue;
        const auto facts = Inspect(*source);
        if (!facts)
            return Refuse(ShownPath(*source) + " cannot be read (" + facts.error().description + ")");
        if (facts->kind != FileKind::Regular)
            return Refuse(ShownPath(*source) + " is not a file");
        const std::uintmax_t size = facts->size;
        if (size > kLargestSource)
            return Refuse(ShownPath(*source) + " is too large: " + std::to_string(size) +
                          " bytes; a file the installer carries may hold at most " + std::to_string(kLargestSource));
        const auto id = static_cast<std::uint16_t>(kFirstPayloadResourceId + i);
        if (!package.compressed) {
            items.push_back(
                {{std::u16string(u"CUSTOM"), id, kLanguageUsEnglish, static_cast<std::uint32_t>(size)}, {}, source, i});
            continue;
        }
        // Of the size just checked: a source that changes while it is read is refused.
        std::vector<std::byte>& bytes = read.emplace_back(static_cast<std::size_t>(size));
        if (auto copied = ReadFileInto(*source, bytes); !copied)
            return Unexpected(copied.error());
        items.push_back({{std::u16string(u"LZMA"), id, kLanguageUsEnglish, 0}, {}, std::nullopt, i});
    }
    if (!package.compressed)
        return items;
    const std::vector<std::span<const std::byte>> sources(read.begin(), read.end());
    auto compressed = CompressEntries(sources);
    if (!compressed)
        return Unexpected(compressed.error());
    stored = std::move(*compressed);
    for (std::size_t i = 0; i < stored.size(); ++i) {
        items[i].held = stored[i];
        items[i].resource.size = static_cast<std::uint32_t>(stored[i].size());
    }
    return items;
}

// Every resource but the payload's, the package record last: its bytes go in once the digests
// are known.
void AddDress(std::vector<Item>& items, const Dress& dress, const Kit& kit, std::size_t recordSize)
{
    if (dress.icon) {
        for (std::size_t i = 0; i < dress.icon->images.size(); ++i)
            items.push_back(Held(kTypeIcon, static_cast<std::uint16_t>(kFirstIconImageId + i), kLanguageNeutral,
                                 dress.icon->images[i].bytes));
        items.push_back(Held(kTypeGroupIcon, kIconGroupId, kLanguageNeutral, dress.icon->group));
    } else {
        items.push_back(Held(kTypeIcon, kFirstIconImageId, kLanguageNeutral, kit.iconImage));
        items.push_back(Held(kTypeGroupIcon, kIconGroupId, kLanguageNeutral, kit.iconGroup));
    }
    items.push_back(Held(kTypeRcData, kWindowPictureId, kLanguageNeutral,
                         dress.picture ? std::span<const std::byte>(*dress.picture) : kit.windowPicture));
    items.push_back(Held(kTypeManifest, kApplicationManifestId, kLanguageNeutral,
                         std::as_bytes(std::span(dress.applicationManifest))));
    items.push_back(Held(kTypeVersion, kVersionId, kLanguageUsEnglish, dress.version));
    items.push_back(Held(std::u16string(u"PACKAGE"), kPackageRecordResourceId, kLanguageNeutral, {}));
    items.back().resource.size = static_cast<std::uint32_t>(recordSize);
}

// The stub with a resource section of the items: each read or copied into its place, the
// payload hashed where it lies (so the digest is of the very bytes the installer carries), then
// the record, whose fields keep their sizes: only the digests' bytes are new.
Expected<std::vector<std::byte>> Assemble(std::span<const std::byte> stubBytes, const std::vector<Item>& items,
                                          PackageManifest& record)
{
    const auto stub = ParseStub(stubBytes);
    if (!stub)
        return Refuse("the installer stub is not usable: " + stub.error().message);
    std::vector<Resource> resources;
    for (const Item& item : items)
        resources.push_back(item.resource);
    const auto layout = LayOutResources(resources, stub->sectionRva);
    if (!layout)
        return Unexpected(layout.error());
    auto image = AddResourceSection(*stub, layout->sectionSize);
    if (!image)
        return Unexpected(image.error());

    const std::span<std::byte> section = image->Section();
    std::copy(layout->directory.begin(), layout->directory.end(), section.begin());
    for (std::size_t i = 0; i + 1 < items.size(); ++i) {
        const std::span<std::byte> place = section.subspan(layout->dataOffsets[i], items[i].resource.size);
        if (items[i].source) {
            if (auto copied = ReadFileInto(*items[i].source, place); !copied)
                return Unexpected(copied.error());
        } else {
            std::copy(items[i].held.begin(), items[i].held.end(), place.begin());
        }
        if (items[i].entry)
            record.PayloadDigests[*items[i].entry] = FastSha256Of(place);
    }
    const std::vector<std::byte> recordBytes = EncodePackageRecord(record);
    std::copy(recordBytes.begin(), recordBytes.end(),
              section.subspan(layout->dataOffsets[items.size() - 1], recordBytes.size()).begin());
    SealImage(*image);
    return std::move(image->bytes);
}

Expected<std::vector<std::byte>> Make(const Package& package, const Kit& kit)
{
    auto record = RecordOf(package);
    if (!record)
        return Unexpected(record.error());
    const auto dress = DressOf(package, kit, *record);
    if (!dress)
        return Unexpected(dress.error());
    std::vector<std::vector<std::byte>> compressed;
    auto items = PayloadItems(package, compressed);
    if (!items)
        return Unexpected(items.error());
    AddDress(*items, *dress, kit, EncodePackageRecord(*record).size());
    if (package.compressed && kit.lzmaStub.empty())
        return Refuse("this packer carries no installer stub that decompresses");
    return Assemble(package.compressed ? kit.lzmaStub : kit.stub, *items, *record);
}

} // namespace

Package PackageOf(const Description& described, const std::filesystem::path& sources,
                  std::vector<std::filesystem::path>* read)
{
    Package package;
    package.installerName = described.installerName;
    package.displayName = described.displayName;
    if (!described.version.empty()) {
        package.version = VersionNumbers(described.version).value_or(package.version);
        package.versionText = described.version;
    }
    if (!described.company.empty())
        package.company = described.company;
    package.copyright = described.copyright;
    package.compressed = described.compression == "lzma";
    const auto art = [&](const std::string& source, std::optional<std::filesystem::path>& path) {
        if (source.empty())
            return;
        path = Joined(sources, source);
        if (read)
            read->push_back(*path);
    };
    art(described.icon, package.icon);
    art(described.windowPicture, package.windowPicture);
    for (const DescribedFile& file : described.files) {
        package.files.push_back({file.name, Joined(sources, file.source)});
        if (read)
            read->push_back(*package.files.back().source);
    }
    return package;
}

// Making an installer holds its whole image, and a compressed package its sources beside it:
// a 32-bit packer, or a browser's page, may run out of room for that, which is a refusal like any other.
Expected<std::vector<std::byte>> MakeInstaller(const Package& package, const Kit& kit)
{
    try {
        return Make(package, kit);
    } catch (const std::bad_alloc&) {
        return Refuse("not enough memory to make the installer");
    }
}

} // namespace tazel::pack
