#pragma once
// What the browser's page does to the machine layer beyond packer/machine/Machine.h: it hands the
// files over, names the folder paths are relative to, takes what was printed, and watches the
// progress of long work. Only the page's entry (packer/web/) calls these. A file written (the
// installer) goes to the module's JavaScript, Module.written = {name, bytes}, outside the module's
// memory: the page takes it from there.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace tazel::pack::web {

// Room in the module's memory for the file at `path` ('/' between its parts, relative to the top
// of what the page hands over) of `size` bytes, which the page then fills; it takes the place of
// an earlier file of that path. Null when the memory cannot be had: nothing is held then.
[[nodiscard]] std::byte* HoldFile(std::string_view path, std::size_t size);

// Lets go of every file handed over.
void ForgetFiles();

// The folder relative paths start from, as a publisher's current folder is for tazelpack: the
// description's own.
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

} // namespace tazel::pack::web
