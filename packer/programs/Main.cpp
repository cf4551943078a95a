// tazelpack: a package description and its files in, a finished installer out.
//
//     tazelpack DESCRIPTION [--sources FOLDER] [--out FOLDER]
//     tazelpack --check DESCRIPTION [--sources FOLDER]
//     tazelpack --new KIND
//     tazelpack --inspect INSTALLER
//     tazelpack --help | --version
//
// Writes <out>/<installer name>.exe (default: the current folder) and prints its path. A bad
// description is reported line by line, and nothing is written. The packer explains itself to a
// publisher who has nothing else: --help gives the description's form, --new a starter to fill in.

#include "core/Expected.h"
#include <algorithm>
#include <string_view>

#include "packer/Guide.h"
#include "packer/PackerVersion.h"
#include "packer/machine/Machine.h"
#include "packer/programs/Commands.h"
#include "packer/programs/InstallerReport.h"

namespace tazel::pack {
namespace {

constexpr char kUsageText[] = "usage: tazelpack DESCRIPTION [--sources FOLDER] [--out FOLDER]\n"
                              "       tazelpack --check DESCRIPTION [--sources FOLDER]\n"
                              "       tazelpack --new KIND\n"
                              "       tazelpack --inspect INSTALLER\n"
                              "       tazelpack --help | --version\n";

// What the command line asks for. A new one is a value here, its options' rows and its case in Run.
enum class Mode { Pack, Check, New, Inspect, Help, Version };

struct Request {
    Mode mode = Mode::Pack;
    std::optional<std::string> description, sources, out, kind, installer;
};

struct Option {
    std::string_view name;
    Mode mode;                                  // the mode it asks for; Pack: none of its own
    std::optional<std::string> Request::*value; // where its value goes; none: it takes no value
    std::string_view needs;                     // its value, as "--out needs a folder" names it
};

constexpr Option kOptions[] = {
    {"--sources", Mode::Pack, &Request::sources, "a folder"},
    {"--out", Mode::Pack, &Request::out, "a folder"},
    {"--check", Mode::Check, nullptr, ""},
    {"--new", Mode::New, &Request::kind, "a kind"},
    {"--inspect", Mode::Inspect, &Request::installer, "an installer"},
    {"--help", Mode::Help, nullptr, ""},
    {"-h", Mode::Help, nullptr, ""},
    {"--version", Mode::Version, nullptr, ""},
};

std::string HelpText()
{
    return std::string(kUsageText) +
           "Makes the installer a package description names, and writes it as\n"
           "<installer name>.exe into FOLDER (--out; default: the current folder). A bad\n"
           "description is reported line by line, and nothing is written.\n"
           "  --sources FOLDER  the folder the sources are relative to (default: the\n"
           "                    description's own)\n"
           "  --check           checks the description and its files, makes the installer\n"
           "                    in memory and writes nothing; sums the package up if good\n"
           "  --new KIND        prints a starter description of a " +
           KindNames() +
           " package,\n"
           "                    each line explained: tazelpack --new deck > MyDeck.package\n"
           "  --inspect FILE    tells what an installer made by tazelpack carries and\n"
           "                    whether it is intact; writes nothing\n"
           "  --version         prints the packer's version\n"
           "\n" +
           DescriptionGuide();
}

// The request, or what is wrong with the command line (empty: the usage alone says it).
tazel::Expected<Request, std::string> Parse(const Arguments& arguments)
{
    Request request;
    std::string_view modeOption;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        const auto option = std::find_if(std::begin(kOptions), std::end(kOptions),
                                         [&](const Option& item) { return item.name == argument; });
        if (option == std::end(kOptions)) {
            if (argument.starts_with("-") && argument != "-")
                return Unexpected("unknown option '" + argument + "'");
            if (request.description)
                return Unexpected("one description at a time ('" + *request.description + "' and '" + argument + "')");
            request.description = argument;
            continue;
        }
        // Help and the version are told whatever else the line holds.
        if (option->mode == Mode::Help || option->mode == Mode::Version) {
            Request told;
            told.mode = option->mode;
            return told;
        }
        if (option->mode != Mode::Pack) {
            if (!modeOption.empty() && modeOption != option->name)
                return Unexpected(std::string(modeOption) + " and " + std::string(option->name) + " go one at a time");
            modeOption = option->name;
            request.mode = option->mode;
        }
        if (option->value) {
            if (i + 1 == arguments.size())
                return Unexpected(argument + " needs " + std::string(option->needs));
            request.*option->value = arguments[++i];
        }
    }

    switch (request.mode) {
    case Mode::New:
        if (request.description || request.sources || request.out)
            return Unexpected("--new takes no description, --sources or --out: it prints its description on "
                              "standard output (tazelpack --new " +
                              *request.kind + " > NAME.package)");
        break;
    case Mode::Inspect:
        if (request.description || request.sources || request.out)
            return Unexpected("--inspect takes one installer, and no description, --sources or --out");
        break;
    case Mode::Check:
        if (request.out)
            return Unexpected("--check writes nothing, so --out has no place beside it");
        [[fallthrough]];
    case Mode::Pack:
        if (!request.description)
            return Unexpected("");
        break;
    case Mode::Help:
    case Mode::Version:
        break;
    }
    return request;
}

int Run(const Arguments& arguments)
{
    const auto request = Parse(arguments);
    if (!request) {
        if (!request.error().empty())
            Complain(request.error());
        PrintError(kUsageText);
        return kUsage;
    }
    const auto path = [](const std::optional<std::string>& given) {
        return given ? PathFromUtf8(*given) : std::filesystem::path();
    };
    switch (request->mode) {
    case Mode::Help:
        PrintOut(HelpText());
        return kPacked;
    case Mode::Version:
        PrintOut("tazelpack " TAZEL_PACKER_VERSION_TEXT "\n");
        return kPacked;
    case Mode::New: {
        const auto starter = StarterDescription(*request->kind);
        if (!starter) {
            Complain("--new takes " + KindNames() + ", not '" + *request->kind + "'");
            return kUsage;
        }
        PrintOut(*starter);
        return kPacked;
    }
    case Mode::Inspect:
        return InspectCommand(*request->installer);
    case Mode::Check:
        return CheckOnly(PathFromUtf8(*request->description), path(request->sources), BuiltInKit());
    case Mode::Pack:
        break;
    }
    const auto package = PackageFromDescription(PathFromUtf8(*request->description), path(request->sources));
    if (!package)
        return kRefused;
    return WriteInstaller(*package, BuiltInKit(),
                          request->out ? PathFromUtf8(*request->out) : std::filesystem::path("."),
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
