#pragma once
// The package maker's one job: a package and a kit in, a finished installer out.

#include <array>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "packer/Description.h"
#include "packer/Kit.h"
#include "packer/PackError.h"

namespace tazel::pack {

struct PackageFile {
    std::string name;                            // UTF-8, the name the file gets
    std::optional<std::filesystem::path> source; // none: no payload entry at all (test packages)
};

// What goes into an installer, texts in UTF-8. The rest is the publisher's own, and its defaults
// are the product's.
struct Package {
    std::string installerName;
    std::string displayName;
    std::vector<PackageFile> files;
    std::array<std::uint16_t, 4> version{2, 0, 0, 4};
    std::string versionText{kProductVersionText};
    std::string company{kProductCompany};
    std::string copyright;                              // empty: none in the version block
    std::optional<std::filesystem::path> icon;          // none: the kit's
    std::optional<std::filesystem::path> windowPicture; // none: the kit's
    bool compressed = false;                            // the entries stored with LZMA, in the kit's other stub
};

// The installer's bytes: the kit's stub with a resource section holding the package record, the
// payload entries, the icon, the window picture, the application manifest and the version block.
// Each source is read straight into its place in the image, and its size is checked again there;
// the icon and the picture are read whole and checked again as the description's check does.
// Running out of memory is a refusal too.
[[nodiscard]] Expected<std::vector<std::byte>> MakeInstaller(const Package& package, const Kit& kit);

// The package a checked description names, its sources under `sources`. `read`, when given, gets
// every file it names.
[[nodiscard]] Package PackageOf(const Description& described, const std::filesystem::path& sources,
                                std::vector<std::filesystem::path>* read = nullptr);

} // namespace tazel::pack
