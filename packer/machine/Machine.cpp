// What every machine shares: paths made from UTF-8, and reading a file, on top of each machine's
// Inspect and InputFile.

#include "packer/machine/Machine.h"

#include <cerrno>

namespace tazel::pack {

std::filesystem::path PathFromUtf8(std::string_view utf8)
{
    return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}

std::filesystem::path Joined(const std::filesystem::path& folder, std::string_view relative)
{
    return folder / PathFromUtf8(relative);
}

std::filesystem::path FolderOf(const std::filesystem::path& path)
{
    return path.parent_path().empty() ? std::filesystem::path(".") : path.parent_path();
}

tazel::Expected<std::size_t, SystemError> InputFile::Read(std::span<std::byte> buffer)
{
    errno = 0;
    const std::size_t count = std::fread(buffer.data(), 1, buffer.size(), file_.get());
    if (count < buffer.size() && std::ferror(file_.get())) {
        const std::error_code error(errno, std::generic_category());
        return Unexpected(SystemError{error, error.message()});
    }
    return count;
}

tazel::Expected<std::vector<std::byte>, SystemError> ReadUpTo(const std::filesystem::path& path, std::size_t limit)
{
    auto file = InputFile::Open(path);
    if (!file)
        return Unexpected(file.error());
    std::vector<std::byte> bytes;
    std::byte piece[64 * 1024];
    while (bytes.size() <= limit) {
        const auto count = file->Read(piece);
        if (!count)
            return Unexpected(count.error());
        bytes.insert(bytes.end(), piece, piece + *count);
        if (*count < sizeof piece)
            break;
    }
    return bytes;
}

Expected<std::vector<std::byte>> ReadWholeFile(const std::filesystem::path& path)
{
    const auto facts = Inspect(path);
    if (!facts)
        return Refuse(ShownPath(path) + " cannot be read (" + facts.error().description + ")");
    if (facts->kind != FileKind::Regular)
        return Refuse(ShownPath(path) + " is not a file");
    std::vector<std::byte> bytes(static_cast<std::size_t>(facts->size));
    if (auto read = ReadFileInto(path, bytes); !read)
        return Unexpected(read.error());
    return bytes;
}

Expected<void> ReadFileInto(const std::filesystem::path& path, std::span<std::byte> place)
{
    auto file = InputFile::Open(path);
    if (!file)
        return Refuse(ShownPath(path) + " cannot be read (" + file.error().description + ")");
    const auto read = file->Read(place);
    if (!read)
        return Refuse(ShownPath(path) + " cannot be read (" + read.error().description + ")");
    if (*read != place.size())
        return Refuse(ShownPath(path) + " changed while it was read: it is shorter than it was");
    std::byte more[1];
    const auto beyond = file->Read(more);
    if (!beyond || *beyond != 0)
        return Refuse(ShownPath(path) + " changed while it was read: it is longer than it was");
    return {};
}

} // namespace tazel::pack
