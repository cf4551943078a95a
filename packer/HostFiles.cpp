#include "packer/HostFiles.h"

#include <fstream>

namespace tazel::pack {

std::string Shown(const std::filesystem::path& path)
{
    const std::u8string text = path.u8string();
    return {text.begin(), text.end()};
}

Expected<std::vector<std::byte>> ReadWholeFile(const std::filesystem::path& path)
{
    std::error_code error;
    const auto size = std::filesystem::file_size(path, error);
    if (error)
        return Refuse(Shown(path) + " cannot be read (" + error.message() + ")");
    std::vector<std::byte> bytes(static_cast<std::size_t>(size));
    if (auto read = ReadFileInto(path, bytes); !read)
        return std::unexpected(read.error());
    return bytes;
}

Expected<void> ReadFileInto(const std::filesystem::path& path, std::span<std::byte> place)
{
    std::ifstream file(path, std::ios::binary);
    if (!file)
        return Refuse(Shown(path) + " cannot be read");
    file.read(reinterpret_cast<char*>(place.data()), static_cast<std::streamsize>(place.size()));
    if (static_cast<std::size_t>(file.gcount()) != place.size())
        return Refuse(Shown(path) + " changed while it was read: it is shorter than it was");
    if (file.peek() != std::ifstream::traits_type::eof())
        return Refuse(Shown(path) + " changed while it was read: it is longer than it was");
    return {};
}

} // namespace tazel::pack
