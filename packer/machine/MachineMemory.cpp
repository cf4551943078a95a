// The machine layer held in memory (MachineMemory.h): files by path in a map, the current folder
// the top one, paths resolved lexically (there are no links to follow), printing into strings and
// the jobs run one after another. It needs nothing of the system but the C library's streams over
// memory (fmemopen, in glibc and musl alike), which give InputFile its FILE*.

#include "packer/machine/MachineMemory.h"

#include <cerrno>
#include <cstdio>
#include <map>
#include <set>
#include <system_error>

#include "packer/machine/Machine.h"

namespace tazel::pack {
namespace {

struct Machine {
    std::map<std::string, std::vector<std::byte>> files;
    std::set<std::string> folders{"/"};
    std::string out;
    std::string error;
};

Machine& State()
{
    static Machine machine;
    return machine;
}

// A path as the machine files it: from the top, '/' between its parts, "." and ".." resolved.
std::string Key(const std::filesystem::path& path)
{
    std::string key = (std::filesystem::path("/") / path).lexically_normal().generic_string();
    while (key.size() > 1 && key.back() == '/')
        key.pop_back();
    return key;
}

std::string Parent(const std::string& key)
{
    return std::filesystem::path(key).parent_path().generic_string();
}

SystemError Failure(std::errc code)
{
    const std::error_code error = std::make_error_code(code);
    return {error, error.message()};
}

} // namespace

namespace memory {

void PutFile(const std::filesystem::path& path, std::vector<std::byte> bytes)
{
    const std::string key = Key(path);
    for (std::string folder = Parent(key); State().folders.insert(folder).second; folder = Parent(folder)) {
    }
    State().files[key] = std::move(bytes);
}

const std::vector<std::byte>* FileAt(const std::filesystem::path& path)
{
    const auto file = State().files.find(Key(path));
    return file == State().files.end() ? nullptr : &file->second;
}

const std::string& PrintedOut()
{
    return State().out;
}

const std::string& PrintedError()
{
    return State().error;
}

void Clear()
{
    State() = Machine();
}

} // namespace memory

SystemError LastSystemError()
{
    const std::error_code error(errno, std::generic_category());
    return {error, error.message()};
}

std::filesystem::path SystemPath(const std::filesystem::path& path)
{
    return path;
}

std::filesystem::path AbsolutePath(const std::filesystem::path& path)
{
    return Key(path);
}

std::string ShownPath(const std::filesystem::path& path)
{
    std::string shown = path.lexically_normal().generic_string();
    while (shown.size() > 1 && shown.back() == '/')
        shown.pop_back();
    return shown.empty() ? "." : shown;
}

std::optional<std::string> DeviceNamed(const std::filesystem::path&)
{
    return std::nullopt;
}

tazel::Expected<void, SystemError> MakeFolders(const std::filesystem::path& path)
{
    std::vector<std::string> missing;
    for (std::string folder = Key(path); !State().folders.contains(folder); folder = Parent(folder)) {
        if (State().files.contains(folder))
            return Unexpected(Failure(std::errc::not_a_directory));
        missing.push_back(folder);
    }
    State().folders.insert(missing.begin(), missing.end());
    return {};
}

tazel::Expected<FileFacts, SystemError> Inspect(const std::filesystem::path& path)
{
    const std::string key = Key(path);
    if (const auto file = State().files.find(key); file != State().files.end())
        return FileFacts{FileKind::Regular, file->second.size()};
    if (State().folders.contains(key))
        return FileFacts{FileKind::Folder};
    return Unexpected(Failure(std::errc::no_such_file_or_directory));
}

tazel::Expected<InputFile, SystemError> InputFile::Open(const std::filesystem::path& path)
{
    const std::string key = Key(path);
    const auto file = State().files.find(key);
    if (file == State().files.end())
        return Unexpected(Failure(State().folders.contains(key) ? std::errc::is_a_directory
                                                                 : std::errc::no_such_file_or_directory));
    // Read-only streams over the file's own bytes. musl refuses a stream of no bytes: an empty
    // file is a stream of one byte, read from its end.
    static char nothing[1];
    std::vector<std::byte>& bytes = file->second;
    errno = 0;
    std::FILE* stream = bytes.empty() ? fmemopen(nothing, 1, "rb") : fmemopen(bytes.data(), bytes.size(), "rb");
    if (!stream)
        return Unexpected(LastSystemError());
    InputFile opened(stream);
    if (bytes.empty() && std::fseek(stream, 0, SEEK_END) != 0)
        return Unexpected(LastSystemError());
    return opened;
}

// Whole or not at all, as on a disk: the bytes are the file's only once they are all there.
Expected<void> WriteWholeFile(const std::filesystem::path& target, std::span<const std::byte> bytes)
{
    const std::string key = Key(target);
    const std::string folder = Parent(key);
    if (!State().folders.contains(folder))
        return Refuse("cannot write into " + ShownPath(FolderOf(target)) + " (" +
                      Failure(std::errc::no_such_file_or_directory).description + ")");
    if (State().folders.contains(key))
        return Refuse("cannot put the installer in place as " + ShownPath(target) + " (" +
                      Failure(std::errc::is_a_directory).description + ")");
    std::vector<std::byte> copy(bytes.begin(), bytes.end());
    State().files[key] = std::move(copy);
    return {};
}

void PrintOut(const std::string& text)
{
    State().out += text;
}

void PrintError(const std::string& text)
{
    State().error += text;
}

void RunJobs(std::size_t count, Job job, void* context)
{
    for (std::size_t i = 0; i < count; ++i)
        job(context, i);
}

} // namespace tazel::pack
