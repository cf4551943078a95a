// The machine layer on Linux and other POSIX systems: paths go to the system as they are given
// (MachinePosixPaths.cpp), jobs to the C++ library's threads (MachineThreads.cpp).

#include "packer/machine/Machine.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <iterator>
#include <system_error>
#include <utility>
#include <vector>

namespace tazel::pack {

std::filesystem::path AbsolutePath(const std::filesystem::path& path)
{
    std::error_code error;
    const std::filesystem::path absolute = std::filesystem::absolute(path, error);
    return error ? path : absolute;
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

namespace {

// The temporary file being written, for the signal handler to remove; a fixed buffer, since a
// handler may call nothing that allocates.
char pendingTemporary[4096];

extern "C" void RemovePendingAndQuit(int signal)
{
    if (pendingTemporary[0] != '\0')
        unlink(pendingTemporary);
    ::signal(signal, SIG_DFL);
    raise(signal);
}

// While it lives, an interrupting signal removes the temporary file before the process ends.
class PendingTemporary {
public:
    explicit PendingTemporary(const std::string& path)
    {
        if (path.size() >= sizeof pendingTemporary)
            return;
        std::memcpy(pendingTemporary, path.c_str(), path.size() + 1);
        for (std::size_t i = 0; i < std::size(kSignals); ++i)
            previous_[i] = ::signal(kSignals[i], RemovePendingAndQuit);
    }
    PendingTemporary(const PendingTemporary&) = delete;
    PendingTemporary& operator=(const PendingTemporary&) = delete;
    ~PendingTemporary()
    {
        for (std::size_t i = 0; i < std::size(kSignals); ++i)
            ::signal(kSignals[i], previous_[i]);
        pendingTemporary[0] = '\0';
    }

private:
    static constexpr int kSignals[] = {SIGINT, SIGTERM, SIGHUP};
    sighandler_t previous_[3] = {SIG_DFL, SIG_DFL, SIG_DFL};
};

class UniqueDescriptor {
public:
    explicit UniqueDescriptor(int descriptor) noexcept : descriptor_(descriptor) {}
    UniqueDescriptor(const UniqueDescriptor&) = delete;
    UniqueDescriptor& operator=(const UniqueDescriptor&) = delete;
    ~UniqueDescriptor() { Close(); }
    [[nodiscard]] int get() const noexcept { return descriptor_; }
    explicit operator bool() const noexcept { return descriptor_ >= 0; }
    // The close of a written file can report a failed write: its result counts.
    bool Close() noexcept { return descriptor_ < 0 || ::close(std::exchange(descriptor_, -1)) == 0; }

private:
    int descriptor_;
};

Unexpected<PackError> SystemRefusal(const std::string& what)
{
    return Refuse(what + " (" + std::strerror(errno) + ")");
}

void WriteAll(int descriptor, const std::string& text)
{
    for (std::size_t done = 0; done < text.size();) {
        const ssize_t written = ::write(descriptor, text.data() + done, text.size() - done);
        if (written <= 0 && errno != EINTR)
            return;
        if (written > 0)
            done += static_cast<std::size_t>(written);
    }
}

} // namespace

Expected<void> WriteWholeFile(const std::filesystem::path& target, std::span<const std::byte> bytes)
{
    const std::filesystem::path folder = target.parent_path().empty() ? "." : target.parent_path();
    // Appended piece by piece: GCC 12 warns falsely of an overlap in the chained form.
    std::string name = ".";
    name += target.filename().string();
    name += '.';
    name += std::to_string(getpid());
    name += ".tmp";
    const std::string temporary = (folder / name).string();
    const std::string shownFolder = ShownPath(folder);

    const PendingTemporary pending(temporary);
    // Executable where the umask allows, as a linker leaves a program.
    UniqueDescriptor file(::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0777));
    if (!file)
        return SystemRefusal("cannot write into " + shownFolder);
    const auto fail = [&](const std::string& what) {
        auto refusal = SystemRefusal(what);
        file.Close();
        unlink(temporary.c_str());
        return refusal;
    };
    for (std::size_t done = 0; done < bytes.size();) {
        const ssize_t written = ::write(file.get(), bytes.data() + done, bytes.size() - done);
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return fail("cannot write the installer into " + shownFolder);
        done += static_cast<std::size_t>(written);
    }
    // On the disk before it takes the old installer's place.
    if (fsync(file.get()) != 0)
        return fail("cannot write the installer into " + shownFolder);
    if (!file.Close()) {
        auto refusal = SystemRefusal("cannot write the installer into " + shownFolder);
        unlink(temporary.c_str());
        return refusal;
    }
    if (std::rename(temporary.c_str(), target.c_str()) != 0) {
        auto refusal = SystemRefusal("cannot put the installer in place as " + ShownPath(target));
        unlink(temporary.c_str());
        return refusal;
    }
    // The new name itself on the disk too.
    if (const UniqueDescriptor directory(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)); directory)
        fsync(directory.get());
    return {};
}

void PrintOut(const std::string& text)
{
    WriteAll(STDOUT_FILENO, text);
}

void PrintError(const std::string& text)
{
    WriteAll(STDERR_FILENO, text);
}

void ReportProgress(std::uint64_t, std::uint64_t)
{
}

} // namespace tazel::pack
