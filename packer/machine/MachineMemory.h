#pragma once
// The machine layer held in memory (MachineMemory.cpp), for a build that gives the packer no file
// system of its own: the fuzz targets and the browser's page. Its files are put here by path; what
// the packer writes lands here too, or with the host's sink, and what it prints is kept. One set
// for the whole process, as a machine's file system is.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace tazel::pack::memory {

// Paths are taken lexically, from the top: "a/b", "/a/b" and "a/c/../b" name one file. The folders
// above a file exist from then on. A file must not be replaced or taken away while the packer
// holds it open, nor while another thread checks a description.
void PutFile(const std::filesystem::path& path, std::vector<std::byte> bytes);

// Room for the file at `path` of `size` bytes, which the caller then fills, replacing any there.
// Null when the memory cannot be had: nothing is held then.
[[nodiscard]] std::byte* HoldFile(std::string_view path, std::size_t size);

// The file at `path`, such as an installer the packer wrote; null when there is none.
[[nodiscard]] const std::vector<std::byte>* FileAt(const std::filesystem::path& path);

// The folder the packer's relative paths start from, as a current folder does: the top at first.
void SetCurrentFolder(std::string_view folder);

// What was printed on standard output and on standard error since the last call, and cleared.
struct Printed {
    std::string out;
    std::string error;
};
[[nodiscard]] Printed TakePrinted();

// How far the long work reported through ReportProgress has come; both 0 before any.
struct Progress {
    std::uint64_t done = 0;
    std::uint64_t total = 0;
};
[[nodiscard]] Progress CurrentProgress();
void ResetProgress();

// What a host does beyond the memory, set once before any work. A sink takes each file written
// in place of the memory (false: it had no room); a listener hears progress from any thread.
using WriteSink = bool (*)(const std::string& shownPath, std::span<const std::byte> bytes) noexcept;
using ProgressListener = void (*)(std::uint64_t done, std::uint64_t total) noexcept;
void SetWriteSink(WriteSink sink);
void SetProgressListener(ProgressListener listener);

// No file, no folder but the top, nothing printed, no progress. The current folder stays, as the
// page names it apart from its files, and so do the host's sink and listener.
void Clear();

} // namespace tazel::pack::memory
