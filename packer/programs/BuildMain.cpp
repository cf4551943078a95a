// tazelpack-build: the build's own packer, never shipped. The shipped packer's code, given the
// stub on its command line (the build makes several: the product's and the test builds'), and,
// for test packages that exercise the installer's failure paths, a route around the checks.
//
//     tazelpack-build --stub FILE [--lzma-stub FILE] --out FOLDER --output-name NAME [--depfile FILE]
//                     (DESCRIPTION [--sources FOLDER]
//                      | --unchecked --installer-name=NAME --display-name=NAME --file=NAME=SOURCE ...)
//
// --lzma-stub names the stub with the decoder, for a package whose description asks for compression.
// --depfile writes, for the build's dependency scan, the files the installer was made from.
// --file=NAME= gives an entry no payload resource; --file==SOURCE an empty file name.

#include <string_view>

#include "packer/machine/Machine.h"
#include "packer/programs/Commands.h"

namespace tazel::pack {
namespace {

// A path as a Makefile rule spells it.
std::string RulePath(const std::filesystem::path& path)
{
    std::string spelt;
    for (const char c : ShownPath(AbsolutePath(path))) {
        if (c == ' ' || c == '#' || c == '\\')
            spelt += '\\';
        if (c == '$')
            spelt += '$';
        spelt += c;
    }
    return spelt;
}

int Run(const Arguments& arguments)
{
    std::string stub, lzmaStub, out, outputName, depfile, sources, description;
    bool unchecked = false;
    Package given;
    const auto value = [&](std::string_view argument, std::string_view option) -> std::optional<std::string> {
        if (argument.starts_with(option) && argument.size() > option.size() && argument[option.size()] == '=')
            return std::string(argument.substr(option.size() + 1));
        return std::nullopt;
    };
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        const bool hasNext = i + 1 < arguments.size();
        if (argument == "--stub" && hasNext)
            stub = arguments[++i];
        else if (argument == "--lzma-stub" && hasNext)
            lzmaStub = arguments[++i];
        else if (argument == "--out" && hasNext)
            out = arguments[++i];
        else if (argument == "--output-name" && hasNext)
            outputName = arguments[++i];
        else if (argument == "--depfile" && hasNext)
            depfile = arguments[++i];
        else if (argument == "--sources" && hasNext)
            sources = arguments[++i];
        else if (argument == "--unchecked")
            unchecked = true;
        else if (const auto name = value(argument, "--installer-name"))
            given.installerName = *name;
        else if (const auto name = value(argument, "--display-name"))
            given.displayName = *name;
        else if (const auto file = value(argument, "--file")) {
            const std::size_t equals = file->find('=');
            if (equals == std::string::npos) {
                Complain("--file takes NAME=SOURCE");
                return kUsage;
            }
            const std::string source = file->substr(equals + 1);
            given.files.push_back(
                {file->substr(0, equals), source.empty() ? std::nullopt : std::optional(PathFromUtf8(source))});
        } else if (!argument.starts_with("-") && description.empty())
            description = argument;
        else {
            Complain("unexpected argument '" + argument + "' (see packer/BuildMain.cpp)");
            return kUsage;
        }
    }
    if (stub.empty() || out.empty() || outputName.empty() || unchecked == !description.empty()) {
        Complain("usage: see packer/BuildMain.cpp");
        return kUsage;
    }

    std::vector<std::filesystem::path> read;
    std::optional<Package> package;
    if (unchecked) {
        package = given;
        for (const PackageFile& file : given.files)
            if (file.source)
                read.push_back(*file.source);
    } else {
        package = PackageFromDescription(PathFromUtf8(description), PathFromUtf8(sources), &read);
        if (!package)
            return kRefused;
    }

    const auto stubBytes = ReadWholeFile(PathFromUtf8(stub));
    if (!stubBytes) {
        Complain(stubBytes.error().message);
        return kRefused;
    }
    Kit kit = BuiltInKit();
    kit.stub = *stubBytes;
    std::vector<std::byte> lzmaStubBytes;
    if (!lzmaStub.empty()) {
        auto bytes = ReadWholeFile(PathFromUtf8(lzmaStub));
        if (!bytes) {
            Complain(bytes.error().message);
            return kRefused;
        }
        lzmaStubBytes = std::move(*bytes);
        kit.lzmaStub = lzmaStubBytes;
    }
    const int status = WriteInstaller(*package, kit, PathFromUtf8(out), outputName);
    if (status != kPacked || depfile.empty())
        return status;

    std::string rule = RulePath(Joined(PathFromUtf8(out), outputName + ".exe")) + ":";
    for (const auto& path : read) {
        rule += ' ';
        rule += RulePath(path);
    }
    const std::string text = rule + "\n";
    if (auto written = WriteWholeFile(PathFromUtf8(depfile), std::as_bytes(std::span(text))); !written) {
        Complain(written.error().message);
        return kRefused;
    }
    return kPacked;
}

} // namespace
} // namespace tazel::pack

int main(int count, char** values)
{
    return tazel::pack::Run(tazel::pack::Arguments(values + 1, values + count));
}
