// The file layer on Linux and other POSIX systems: paths go to the system as they are given.

#include "packer/Files.h"

#include <algorithm>
#include <cerrno>
#include <string_view>

namespace tazel::pack {

SystemError LastSystemError()
{
    const std::error_code error(errno, std::generic_category());
    return {error, error.message()};
}

std::filesystem::path SystemPath(const std::filesystem::path& path)
{
    return path;
}

std::string ShownPath(const std::filesystem::path& path)
{
    const std::string text = path.string();
    std::string shown = text.starts_with('/') ? "/" : "";
    bool first = true;
    for (std::size_t start = 0; start < text.size();) {
        const std::size_t end = std::min(text.find('/', start), text.size());
        const std::string_view part = std::string_view(text).substr(start, end - start);
        start = end + 1;
        if (part.empty() || part == ".")
            continue;
        shown += first ? "" : "/";
        shown += part;
        first = false;
    }
    return shown.empty() ? "." : shown;
}

std::optional<std::string> DeviceNamed(const std::filesystem::path&)
{
    return std::nullopt;
}

tazel::Expected<void, SystemError> MakeFolders(const std::filesystem::path& path)
{
    std::error_code error;
    std::filesystem::create_directories(path, error);
    if (error)
        return Unexpected(SystemError{error, error.message()});
    return {};
}

tazel::Expected<FileFacts, SystemError> Inspect(const std::filesystem::path& path)
{
    std::error_code error;
    const std::filesystem::file_status status = std::filesystem::status(path, error);
    if (error)
        return Unexpected(SystemError{error, error.message()});
    if (std::filesystem::is_directory(status))
        return FileFacts{FileKind::Folder};
    if (!std::filesystem::is_regular_file(status))
        return FileFacts{FileKind::Other};
    const std::uintmax_t size = std::filesystem::file_size(path, error);
    if (error)
        return Unexpected(SystemError{error, error.message()});
    return FileFacts{FileKind::Regular, size};
}

tazel::Expected<InputFile, SystemError> InputFile::Open(const std::filesystem::path& path)
{
    errno = 0;
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (!file)
        return Unexpected(LastSystemError());
    return InputFile(file);
}

} // namespace tazel::pack
