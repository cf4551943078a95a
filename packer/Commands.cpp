#include "packer/Commands.h"

#include <new>

#include "packer/Description.h"
#include "packer/Files.h"
#include "packer/HostFiles.h"

namespace tazel::pack {

std::filesystem::path PathFrom(const std::string& utf8)
{
    return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}

void Complain(const std::string& text)
{
    PrintError("tazelpack: " + text + "\n");
}

std::optional<Package> PackageFromDescription(const std::filesystem::path& description,
                                              std::filesystem::path sources,
                                              std::vector<std::filesystem::path>* read)
{
    if (sources.empty())
        sources = description.parent_path().empty() ? std::filesystem::path(".") : description.parent_path();
    const auto described = ReadDescription(description, sources);
    if (!described) {
        PrintError(ProblemReport(Shown(description), described.error()));
        return std::nullopt;
    }
    PrintError(Summary(*described));

    Package package;
    package.installerName = described->installerName;
    package.displayName = described->displayName;
    if (read)
        read->push_back(description);
    if (!described->version.empty()) {
        package.version = VersionNumbers(described->version).value_or(package.version);
        package.versionText = described->version;
    }
    if (!described->company.empty())
        package.company = described->company;
    package.copyright = described->copyright;
    package.compressed = described->compression == "lzma";
    const auto art = [&](const std::string& source, std::optional<std::filesystem::path>& path) {
        if (source.empty())
            return;
        path = sources / PathFrom(source);
        if (read)
            read->push_back(*path);
    };
    art(described->icon, package.icon);
    art(described->windowPicture, package.windowPicture);
    for (const DescribedFile& file : described->files) {
        package.files.push_back({file.name, sources / PathFrom(file.source)});
        if (read)
            read->push_back(*package.files.back().source);
    }
    return package;
}

int WriteInstaller(const Package& package, const Kit& kit, const std::filesystem::path& folder, const std::string& name)
{
    // Making an installer holds its whole image, and a compressed package its sources beside it:
    // a 32-bit packer may run out of room for that, which is a refusal like any other.
    Expected<std::vector<std::byte>> installer = Refuse("");
    try {
        installer = MakeInstaller(package, kit);
    } catch (const std::bad_alloc&) {
        installer = Refuse("not enough memory to make the installer");
    }
    if (!installer) {
        Complain(installer.error().message + "; no installer was written");
        return kRefused;
    }
    if (const auto made = MakeFolders(folder); !made) {
        Complain("cannot make the folder " + Shown(folder) + " (" + made.error().description +
                 "); no installer was written");
        return kRefused;
    }
    const std::filesystem::path target = folder / PathFrom(name + ".exe");
    if (auto written = WriteWholeFile(target, *installer); !written) {
        Complain(written.error().message + "; no installer was written");
        return kRefused;
    }
    PrintOut(Shown(target) + "\n");
    return kPacked;
}

} // namespace tazel::pack
