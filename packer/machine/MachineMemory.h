#pragma once
// The machine layer held in memory (MachineMemory.cpp), for a build that gives the packer no file
// system of its own: a fuzz target, a browser's page. Its files are put here by path; what the
// packer writes lands here too, and what it prints is kept. One set for the whole process, as a
// machine's file system is; the packer's jobs run one after another.

#include <cstddef>
#include <filesystem>
#include <string>
#include <vector>

namespace tazel::pack::memory {

// The file at `path`, replacing any there; the folders above it exist from then on. Paths are
// taken lexically: "a/b", "./a/b" and "a/c/../b" name one file. A file must not be replaced or
// taken away while the packer holds it open.
void PutFile(const std::filesystem::path& path, std::vector<std::byte> bytes);

// The file at `path`, such as an installer the packer wrote; null when there is none.
[[nodiscard]] const std::vector<std::byte>* FileAt(const std::filesystem::path& path);

// What PrintOut and PrintError gave since the last Clear.
[[nodiscard]] const std::string& PrintedOut();
[[nodiscard]] const std::string& PrintedError();

// No file, no folder but the top and the current one, nothing printed.
void Clear();

} // namespace tazel::pack::memory
