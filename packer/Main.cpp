// tazelpack: a package description and its files in, a finished installer out.
//
//     tazelpack DESCRIPTION [--sources FOLDER] [--out FOLDER]
//
// Writes <out>/<installer name>.exe (default: the current folder) and prints its path. A bad
// description is reported line by line, and nothing is written.

#include "packer/Commands.h"
#include "packer/HostFiles.h"
#include "packer/Inspection.h"

namespace tazel::pack {
namespace {

constexpr char kUsageText[] =
    "usage: tazelpack DESCRIPTION [--sources FOLDER] [--out FOLDER]\n"
    "  Makes the installer a package description names (docs/package-description.md) and writes it\n"
    "  as <installer name>.exe into FOLDER (--out; default: the current folder).\n"
    "  --sources FOLDER  the folder the description's sources are relative to (default: its own)\n";

int Run(const Arguments& arguments)
{
    if (!arguments.empty() && arguments[0] == "--inspect")
        return InspectCommand(std::span(arguments).subspan(1));
    std::optional<std::string> description, sources, out;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        if (argument == "-h" || argument == "--help") {
            PrintOut(kUsageText);
            return kPacked;
        }
        if (argument == "--sources" || argument == "--out") {
            if (i + 1 == arguments.size()) {
                Complain(argument + " needs a folder");
                return kUsage;
            }
            (argument == "--sources" ? sources : out) = arguments[++i];
            continue;
        }
        if (argument.starts_with("-") && argument != "-") {
            Complain("unknown option '" + argument + "'");
            PrintError(kUsageText);
            return kUsage;
        }
        if (description) {
            Complain("one description at a time ('" + *description + "' and '" + argument + "')");
            return kUsage;
        }
        description = argument;
    }
    if (!description) {
        PrintError(kUsageText);
        return kUsage;
    }

    const auto package = PackageFromDescription(PathFrom(*description), sources ? PathFrom(*sources) : std::filesystem::path());
    if (!package)
        return kRefused;
    return WriteInstaller(*package, BuiltInKit(), out ? PathFrom(*out) : std::filesystem::path("."),
                          package->installerName);
}

} // namespace
} // namespace tazel::pack

#ifdef _WIN32
#include <string_view>

#include "core/Utf.h"

int wmain(int count, wchar_t** values)
{
    tazel::pack::Arguments arguments;
    for (int i = 1; i < count; ++i) {
        const std::wstring_view value(values[i]);
        arguments.push_back(tazel::Utf16ToUtf8(std::u16string(value.begin(), value.end())));
    }
    return tazel::pack::Run(arguments);
}
#else
int main(int count, char** values)
{
    return tazel::pack::Run(tazel::pack::Arguments(values + 1, values + count));
}
#endif
