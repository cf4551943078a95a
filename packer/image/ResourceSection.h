#pragma once
// The resource section the package maker adds to the installer stub: its directory laid out as
// the GNU resource compiler and linker lay it out, the resources' own bytes left to the caller,
// who writes them straight into the finished image at the offsets given here. The payload is
// several megabytes and is held once, in the output buffer.

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <variant>
#include <vector>

#include "packer/PackError.h"

namespace tazel::pack {

// A resource type or name: a 16-bit number or a name (UTF-16, such as u"CUSTOM").
using ResourceId = std::variant<std::uint16_t, std::u16string>;

inline constexpr std::uint16_t kTypeIcon = 3;
inline constexpr std::uint16_t kTypeRcData = 10;
inline constexpr std::uint16_t kTypeGroupIcon = 14;
inline constexpr std::uint16_t kTypeVersion = 16;
inline constexpr std::uint16_t kTypeManifest = 24;

inline constexpr std::uint16_t kLanguageNeutral = 0;
inline constexpr std::uint16_t kLanguageUsEnglish = 1033;

struct Resource {
    ResourceId type;
    ResourceId name;
    std::uint16_t language = kLanguageNeutral;
    std::uint32_t size = 0;
};

struct ResourceLayout {
    // The section's first bytes: the directory tables, the names and the data entries.
    std::vector<std::byte> directory;
    // Where each resource's bytes go, from the section's start, in the order the resources were given.
    std::vector<std::uint32_t> dataOffsets;
    // From the directory through the last resource's bytes and their padding.
    std::uint32_t sectionSize = 0;
};

// The layout of a resource section that will sit at `sectionRva` in the image (the data entries
// hold the resources' RVAs). Refused: a type or name that cannot be looked up (number 0, an
// empty or non-ASCII name, a name starting with #, names that sort otherwise in lower case than
// in upper case), two resources with the same type, name and language, a section beyond what
// the format can address.
[[nodiscard]] Expected<ResourceLayout> LayOutResources(std::span<const Resource> resources, std::uint32_t sectionRva);

} // namespace tazel::pack
