#include "packer/HostFiles.h"

#include "packer/Files.h"

namespace tazel::pack {

std::string Shown(const std::filesystem::path& path)
{
    const std::u8string text = path.u8string();
    return {text.begin(), text.end()};
}

Expected<std::vector<std::byte>> ReadWholeFile(const std::filesystem::path& path)
{
    const auto facts = Inspect(path);
    if (!facts)
        return Refuse(Shown(path) + " cannot be read (" + facts.error().description + ")");
    if (facts->kind != FileKind::Regular)
        return Refuse(Shown(path) + " is not a file");
    std::vector<std::byte> bytes(static_cast<std::size_t>(facts->size));
    if (auto read = ReadFileInto(path, bytes); !read)
        return Unexpected(read.error());
    return bytes;
}

Expected<void> ReadFileInto(const std::filesystem::path& path, std::span<std::byte> place)
{
    auto file = InputFile::Open(path);
    if (!file)
        return Refuse(Shown(path) + " cannot be read (" + file.error().description + ")");
    const auto read = file->Read(place);
    if (!read)
        return Refuse(Shown(path) + " cannot be read (" + read.error().description + ")");
    if (*read != place.size())
        return Refuse(Shown(path) + " changed while it was read: it is shorter than it was");
    std::byte more[1];
    const auto beyond = file->Read(more);
    if (!beyond || *beyond != 0)
        return Refuse(Shown(path) + " changed while it was read: it is longer than it was");
    return {};
}

} // namespace tazel::pack
