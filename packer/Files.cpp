#include "packer/Files.h"

#include <cerrno>

namespace tazel::pack {
namespace {

SystemError ErrnoFailure(int code)
{
    const std::error_code error(code, std::generic_category());
    return {error, error.message()};
}

} // namespace

std::expected<FileFacts, SystemError> Inspect(const std::filesystem::path& path)
{
    std::error_code error;
    const std::filesystem::file_status status = std::filesystem::status(path, error);
    if (error)
        return std::unexpected(SystemError{error, error.message()});
    if (std::filesystem::is_directory(status))
        return FileFacts{FileKind::Folder};
    if (!std::filesystem::is_regular_file(status))
        return FileFacts{FileKind::Other};
    const std::uintmax_t size = std::filesystem::file_size(path, error);
    if (error)
        return std::unexpected(SystemError{error, error.message()});
    return FileFacts{FileKind::Regular, size};
}

std::expected<InputFile, SystemError> InputFile::Open(const std::filesystem::path& path)
{
    errno = 0;
#ifdef _WIN32
    std::FILE* file = _wfopen(path.c_str(), L"rb");
#else
    std::FILE* file = std::fopen(path.c_str(), "rb");
#endif
    if (!file)
        return std::unexpected(ErrnoFailure(errno));
    return InputFile(file);
}

std::expected<std::size_t, SystemError> InputFile::Read(std::span<std::byte> buffer)
{
    errno = 0;
    const std::size_t count = std::fread(buffer.data(), 1, buffer.size(), file_.get());
    if (count < buffer.size() && std::ferror(file_.get()))
        return std::unexpected(ErrnoFailure(errno));
    return count;
}

} // namespace tazel::pack
