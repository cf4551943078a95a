#pragma once
// The package maker's one interface to the machine it runs on: its files, its standard streams and
// its processors. One implementation a machine (MachinePosix.cpp, MachineWin32.cpp, or
// MachineMemory.cpp where the build gives no file system), chosen by the build; the rest of the
// packer calls no file system of its own. Paths stay std::filesystem paths, wide on Windows and
// never narrowed through the ANSI code page; a failure carries the system's code and text, which
// the messages quote.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include "core/Expected.h"
#include "packer/PackError.h"

namespace tazel::pack {

struct SystemError {
    std::error_code code;
    std::string description;
};

// The system's last failure: errno, or on Windows GetLastError() with the system's own text.
[[nodiscard]] SystemError LastSystemError();

// A path from UTF-8 text (a command line's, a description's), never through the ANSI code page.
[[nodiscard]] std::filesystem::path PathFromUtf8(std::string_view utf8);

// `relative` (UTF-8, '/' or the system's separator between its parts) under `folder`.
[[nodiscard]] std::filesystem::path Joined(const std::filesystem::path& folder, std::string_view relative);

// The folder a file's path names it in: "." for a bare name.
[[nodiscard]] std::filesystem::path FolderOf(const std::filesystem::path& path);

// The path from the top of the file system, against the current folder.
[[nodiscard]] std::filesystem::path AbsolutePath(const std::filesystem::path& path);

// Every path reaches the system through this: on Windows this toolchain's C++ library reads
// \\?\C:\x as folders under the current drive and keeps the 260-character limit, so it is handed
// no path to open, inspect or make.
// The path the system is handed for `path`: on Windows absolute, as Windows makes it (C:dir\file
// against its drive's current folder), in the \\?\ form that passes 260 characters; a path given
// in a \\?\ form keeps its root, what was joined to it ("art/x.cbx") made whole: '/' a separator,
// "." and ".." resolved. Elsewhere the path as given.
[[nodiscard]] std::filesystem::path SystemPath(const std::filesystem::path& path);

// A path as messages show it, in UTF-8: the system's separator between the parts, without empty
// or "." parts. On Windows its root as given (C:, \\?\C:, \\server\share) and ".." resolved as
// Windows resolves it; elsewhere ".." stays, since only the file system knows where it leads.
[[nodiscard]] std::string ShownPath(const std::filesystem::path& path);

// The device Windows opens in place of a file of this name ("NUL" for nul.package), by the core's
// name rules; on Windows only: elsewhere such a name is an ordinary file's, and this is empty.
[[nodiscard]] std::optional<std::string> DeviceNamed(const std::filesystem::path& path);

// Makes the folder `path` and every missing folder above it.
[[nodiscard]] tazel::Expected<void, SystemError> MakeFolders(const std::filesystem::path& path);

enum class FileKind { Regular, Folder, Other };

struct FileFacts {
    FileKind kind = FileKind::Other;
    std::uintmax_t size = 0; // regular files only
};

// What the file system says of `path`, links followed, as opening it would.
[[nodiscard]] tazel::Expected<FileFacts, SystemError> Inspect(const std::filesystem::path& path);

// A file open for reading.
class InputFile {
public:
    [[nodiscard]] static tazel::Expected<InputFile, SystemError> Open(const std::filesystem::path& path);

    // Fills `buffer`, fewer bytes only at the end of the file.
    [[nodiscard]] tazel::Expected<std::size_t, SystemError> Read(std::span<std::byte> buffer);

    InputFile(InputFile&&) noexcept = default;
    InputFile& operator=(InputFile&&) noexcept = default;
    InputFile(const InputFile&) = delete;
    InputFile& operator=(const InputFile&) = delete;
    ~InputFile() = default;

private:
    struct Closer {
        void operator()(std::FILE* file) const noexcept { std::fclose(file); }
    };
    explicit InputFile(std::FILE* file) : file_(file) {}
    std::unique_ptr<std::FILE, Closer> file_;
};

// Reading --------------------------------------------------------------------------------------

// Up to `limit` + 1 bytes of the file: one more than `limit` says it is larger than that.
[[nodiscard]] tazel::Expected<std::vector<std::byte>, SystemError> ReadUpTo(const std::filesystem::path& path,
                                                                            std::size_t limit);

// The bytes of a file, read whole; refused with the system's reason.
[[nodiscard]] Expected<std::vector<std::byte>> ReadWholeFile(const std::filesystem::path& path);

// Fills `place` from the file, which must hold exactly that many bytes: one that grew or shrank
// since its size was taken is refused, never packed in part.
[[nodiscard]] Expected<void> ReadFileInto(const std::filesystem::path& path, std::span<std::byte> place);

// Writing, printing, working ----------------------------------------------------------------------

// Writes `bytes` as the file `target`, whole or not at all: into a temporary file beside it,
// flushed to the disk, which then takes the target's place in one step. On any failure, and when
// the packer is interrupted meanwhile, the temporary file goes and an earlier target stays as it was.
[[nodiscard]] Expected<void> WriteWholeFile(const std::filesystem::path& target, std::span<const std::byte> bytes);

// Standard output and standard error, UTF-8 text (on a Windows console, shown as such).
void PrintOut(const std::string& text);
void PrintError(const std::string& text);

// How far long work has come, `done` of `total` (bytes compressed): the page shows it as it goes;
// the command-line packers say nothing. Called from any of the jobs' threads.
void ReportProgress(std::uint64_t done, std::uint64_t total);

// Runs job(context, i) for every i below `count`, spread over the machine's processors, and
// returns once all have. The jobs must not throw, and each must touch only what is its own.
using Job = void (*)(void* context, std::size_t index) noexcept;
void RunJobs(std::size_t count, Job job, void* context);

} // namespace tazel::pack
