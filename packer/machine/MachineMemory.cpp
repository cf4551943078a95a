// The machine layer held in memory (MachineMemory.h): files by path in a map, paths resolved
// lexically (there are no links to follow), printing into strings. It needs nothing of the system
// but the C library's streams over memory (fmemopen, in glibc and musl alike), which give
// InputFile its FILE*. Paths, errors and jobs are as on POSIX (MachinePosixPaths.cpp,
// MachineThreads.cpp).

#include "packer/machine/MachineMemory.h"

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <map>
#include <mutex>
#include <new>
#include <set>
#include <system_error>
#include <utility>

#include "packer/machine/Machine.h"

namespace tazel::pack {
namespace {

struct Machine {
    std::map<std::string, std::vector<std::byte>> files;
    std::set<std::string> folders{"/"};
    std::string current = "/";
};

Machine& State()
{
    static Machine machine;
    return machine;
}

// Printing and progress come from any thread: the page checks a description while it packs.
std::mutex printedLock;
memory::Printed printed;
std::atomic<std::uint64_t> progressDone{0};
std::atomic<std::uint64_t> progressTotal{0};
memory::WriteSink writeSink = nullptr;
memory::ProgressListener progressListener = nullptr;

// A path as the machine files it: from the top, '/' between its parts, "." and ".." resolved.
std::string KeyFrom(const std::string& folder, const std::filesystem::path& path)
{
    std::string key = (std::filesystem::path(folder) / path).lexically_normal().generic_string();
    while (key.size() > 1 && key.back() == '/')
        key.pop_back();
    return key;
}

std::string Key(const std::filesystem::path& path)
{
    return KeyFrom(State().current, path);
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

std::vector<std::byte>& Filed(const std::string& key)
{
    for (std::string folder = Parent(key); State().folders.insert(folder).second; folder = Parent(folder)) {}
    return State().files[key];
}

} // namespace

namespace memory {

void PutFile(const std::filesystem::path& path, std::vector<std::byte> bytes)
{
    Filed(KeyFrom("/", path)) = std::move(bytes);
}

std::byte* HoldFile(std::string_view path, std::size_t size)
{
    const std::string key = KeyFrom("/", std::filesystem::path(path));
    State().files.erase(key);
    try {
        std::vector<std::byte>& bytes = Filed(key);
        bytes.resize(size);
        // One byte's room at least: the caller's address of an empty file is then a real one.
        bytes.reserve(1);
        return bytes.data();
    } catch (const std::bad_alloc&) {
        State().files.erase(key);
        return nullptr;
    }
}

const std::vector<std::byte>* FileAt(const std::filesystem::path& path)
{
    const auto file = State().files.find(Key(path));
    return file == State().files.end() ? nullptr : &file->second;
}

void SetCurrentFolder(std::string_view folder)
{
    State().current = KeyFrom("/", std::filesystem::path(folder));
}

Printed TakePrinted()
{
    const std::lock_guard<std::mutex> locked(printedLock);
    return std::exchange(printed, {});
}

Progress CurrentProgress()
{
    return {progressDone.load(), progressTotal.load()};
}

void ResetProgress()
{
    progressDone = 0;
    progressTotal = 0;
}

void SetWriteSink(WriteSink sink)
{
    writeSink = sink;
}

void SetProgressListener(ProgressListener listener)
{
    progressListener = listener;
}

void Clear()
{
    State().files.clear();
    State().folders = {"/"};
    (void)TakePrinted();
    ResetProgress();
}

} // namespace memory

std::filesystem::path AbsolutePath(const std::filesystem::path& path)
{
    return Key(path);
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
        return Unexpected(
            Failure(State().folders.contains(key) ? std::errc::is_a_directory : std::errc::no_such_file_or_directory));
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
    if (!State().folders.contains(Parent(key)))
        return Refuse("cannot write into " + ShownPath(FolderOf(target)) + " (" +
                      Failure(std::errc::no_such_file_or_directory).description + ")");
    if (State().folders.contains(key))
        return Refuse("cannot put the installer in place as " + ShownPath(target) + " (" +
                      Failure(std::errc::is_a_directory).description + ")");
    if (writeSink) {
        if (!writeSink(ShownPath(target), bytes))
            return Refuse("not enough memory to hand over the installer of " + std::to_string(bytes.size()) + " bytes");
        return {};
    }
    State().files[key] = std::vector<std::byte>(bytes.begin(), bytes.end());
    return {};
}

void PrintOut(const std::string& text)
{
    const std::lock_guard<std::mutex> locked(printedLock);
    printed.out += text;
}

void PrintError(const std::string& text)
{
    const std::lock_guard<std::mutex> locked(printedLock);
    printed.error += text;
}

void ReportProgress(std::uint64_t done, std::uint64_t total)
{
    progressTotal = total;
    // Chunks finish out of order on several threads: the figure only grows.
    for (std::uint64_t seen = progressDone.load(); seen < done && !progressDone.compare_exchange_weak(seen, done);) {}
    if (progressListener)
        progressListener(done, total);
}

} // namespace tazel::pack
