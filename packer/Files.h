#pragma once
// The packer's few file-system calls, the same on Linux and on Windows: paths stay
// std::filesystem paths (wide on Windows, never narrowed through the ANSI code page), and a
// failure carries the system's code and text, which the messages quote.
//
// Every path reaches the system through SystemPath, here and in HostFiles: this toolchain's C++
// library on Windows reads \\?\C:\x as folders under the current drive and keeps the 260-character
// limit, so it is handed no path to open, inspect or make.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include "core/Expected.h"
#include <filesystem>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <system_error>

namespace tazel::pack {

struct SystemError {
    std::error_code code;
    std::string description;
};

// The system's last failure: errno, or on Windows GetLastError() with the system's own text.
[[nodiscard]] SystemError LastSystemError();

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

} // namespace tazel::pack
