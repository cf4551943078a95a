#pragma once
// What the two packer programs share: the shipped tazelpack and the build's tazelpack-build.

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "packer/Kit.h"
#include "packer/Packer.h"

namespace tazel::pack {

// Exit statuses.
inline constexpr int kPacked = 0;  // made, checked good, or told what was asked
inline constexpr int kRefused = 1; // a bad description, or an installer that could not be made
inline constexpr int kUsage = 2;

// The program's arguments in UTF-8, whatever the platform gave.
using Arguments = std::vector<std::string>;

// Reads and checks a description; on problems prints them, line by line, and gives nothing.
// `sources` empty: the description's own folder. The publisher's summary goes to standard error.
[[nodiscard]] std::optional<Package> PackageFromDescription(const std::filesystem::path& description,
                                                            std::filesystem::path sources,
                                                            std::vector<std::filesystem::path>* read = nullptr);

// Checks a description and its files as packing does, making the installer in memory, and writes
// nothing: the publisher's summary on standard output when good, else the problems line by line
// (or what stopped the making) on standard error. Gives the exit status.
[[nodiscard]] int CheckOnly(const std::filesystem::path& description, std::filesystem::path sources, const Kit& kit);

// Makes the installer and writes it as `<folder>/<name>.exe`, whole or not at all; prints its
// path on standard output, or what stopped it on standard error. Gives the exit status.
[[nodiscard]] int WriteInstaller(const Package& package, const Kit& kit, const std::filesystem::path& folder,
                                 const std::string& name);

// Prints "tazelpack: <text>" on standard error.
void Complain(const std::string& text);

} // namespace tazel::pack
