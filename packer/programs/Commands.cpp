#include "packer/programs/Commands.h"

#include <new>

#include "packer/Description.h"
#include "packer/machine/Machine.h"

namespace tazel::pack {

void Complain(const std::string& text)
{
    PrintError("tazelpack: " + text + "\n");
}

namespace {

std::filesystem::path SourcesFor(const std::filesystem::path& description, std::filesystem::path sources)
{
    if (sources.empty())
        sources = FolderOf(description);
    return sources;
}

// The description read and checked, or nothing when its problems have been printed.
std::optional<Description> Described(const std::filesystem::path& description, const std::filesystem::path& sources)
{
    auto described = ReadDescription(description, sources);
    if (!described) {
        PrintError(ProblemReport(ShownPath(description), described.error()));
        return std::nullopt;
    }
    return std::move(*described);
}

} // namespace

std::optional<Package> PackageFromDescription(const std::filesystem::path& description, std::filesystem::path sources,
                                              std::vector<std::filesystem::path>* read)
{
    sources = SourcesFor(description, std::move(sources));
    const auto described = Described(description, sources);
    if (!described)
        return std::nullopt;
    PrintError(Summary(*described));
    if (read)
        read->push_back(description);
    return PackageOf(*described, sources, read);
}

int CheckOnly(const std::filesystem::path& description, std::filesystem::path sources, const Kit& kit)
{
    sources = SourcesFor(description, std::move(sources));
    const auto described = Described(description, sources);
    if (!described)
        return kRefused;
    // Made in memory as packing makes it, so that "good" means packing will not refuse it either
    // (the installer's size in all is known only then).
    if (const auto installer = MakeInstaller(PackageOf(*described, sources, nullptr), kit); !installer) {
        Complain(installer.error().message + "; the installer cannot be made");
        return kRefused;
    }
    PrintOut(Summary(*described));
    return kPacked;
}

int WriteInstaller(const Package& package, const Kit& kit, const std::filesystem::path& folder, const std::string& name)
{
    const auto installer = MakeInstaller(package, kit);
    if (!installer) {
        Complain(installer.error().message + "; no installer was written");
        return kRefused;
    }
    if (const auto made = MakeFolders(folder); !made) {
        Complain("cannot make the folder " + ShownPath(folder) + " (" + made.error().description +
                 "); no installer was written");
        return kRefused;
    }
    const std::filesystem::path target = Joined(folder, name + ".exe");
    if (auto written = WriteWholeFile(target, *installer); !written) {
        Complain(written.error().message + "; no installer was written");
        return kRefused;
    }
    PrintOut(ShownPath(target) + "\n");
    return kPacked;
}

} // namespace tazel::pack
