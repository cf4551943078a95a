#pragma once
// The packer's few file-system calls, the same on Linux and on Windows: paths stay
// std::filesystem paths (wide on Windows, never narrowed through the ANSI code page), and a
// failure carries the C library's code and text, which the messages quote.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <expected>
#include <filesystem>
#include <memory>
#include <span>
#include <string>
#include <system_error>

namespace tazel::pack {

struct SystemError {
    std::error_code code;
    std::string description;
};

enum class FileKind { Regular, Folder, Other };

struct FileFacts {
    FileKind kind = FileKind::Other;
    std::uintmax_t size = 0; // regular files only
};

// What the file system says of `path`, links followed, as opening it would.
[[nodiscard]] std::expected<FileFacts, SystemError> Inspect(const std::filesystem::path& path);

// A file open for reading.
class InputFile {
public:
    [[nodiscard]] static std::expected<InputFile, SystemError> Open(const std::filesystem::path& path);

    // Fills `buffer`, fewer bytes only at the end of the file.
    [[nodiscard]] std::expected<std::size_t, SystemError> Read(std::span<std::byte> buffer);

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
