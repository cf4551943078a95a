// Writing the installer and printing, on Windows: wide paths throughout, never the ANSI code page,
// and handed to the system in their \\?\ form (packer/Files.h).

#include <windows.h>

#include "packer/HostFiles.h"

#include <algorithm>
#include <utility>

#include "core/Utf.h"
#include "packer/Files.h"

namespace tazel::pack {
namespace {

// The temporary file being written, for the console's Ctrl-C handler to remove.
wchar_t pendingTemporary[32768];

BOOL WINAPI RemovePendingOnInterrupt(DWORD) noexcept
{
    if (pendingTemporary[0] != L'\0')
        DeleteFileW(pendingTemporary);
    return FALSE; // and then the default handler ends the process
}

class PendingTemporary {
public:
    explicit PendingTemporary(const std::wstring& path) noexcept
    {
        if (path.size() >= std::size(pendingTemporary))
            return;
        path.copy(pendingTemporary, path.size());
        pendingTemporary[path.size()] = L'\0';
        SetConsoleCtrlHandler(RemovePendingOnInterrupt, TRUE);
    }
    PendingTemporary(const PendingTemporary&) = delete;
    PendingTemporary& operator=(const PendingTemporary&) = delete;
    ~PendingTemporary()
    {
        SetConsoleCtrlHandler(RemovePendingOnInterrupt, FALSE);
        pendingTemporary[0] = L'\0';
    }
};

class UniqueFile {
public:
    explicit UniqueFile(HANDLE handle) noexcept : handle_(handle) {}
    UniqueFile(const UniqueFile&) = delete;
    UniqueFile& operator=(const UniqueFile&) = delete;
    ~UniqueFile() { Close(); }
    [[nodiscard]] HANDLE get() const noexcept { return handle_; }
    explicit operator bool() const noexcept { return handle_ != INVALID_HANDLE_VALUE; }
    bool Close() noexcept
    {
        return handle_ == INVALID_HANDLE_VALUE || CloseHandle(std::exchange(handle_, INVALID_HANDLE_VALUE));
    }

private:
    HANDLE handle_;
};

Unexpected<PackError> SystemRefusal(const std::string& what)
{
    return Refuse(what + " (" + LastSystemError().description + ")");
}

void Print(DWORD which, const std::string& text)
{
    const HANDLE stream = GetStdHandle(which);
    if (stream == nullptr || stream == INVALID_HANDLE_VALUE)
        return;
    DWORD mode = 0;
    if (GetConsoleMode(stream, &mode)) {
        // A console shows UTF-16 as it is, whatever its code page.
        const std::u16string wide = Utf8ToUtf16(text).value_or(u"?");
        DWORD written = 0;
        WriteConsoleW(stream, wide.data(), static_cast<DWORD>(wide.size()), &written, nullptr);
        return;
    }
    DWORD written = 0;
    WriteFile(stream, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
}

} // namespace

Expected<void> WriteWholeFile(const std::filesystem::path& target, std::span<const std::byte> bytes)
{
    const std::filesystem::path folder = target.parent_path().empty() ? L"." : target.parent_path();
    const std::string shownFolder = Shown(folder);
    const std::filesystem::path system = SystemPath(target);
    const std::wstring temporary = (system.parent_path() / (L"." + system.filename().wstring() + L"." +
                                                             std::to_wstring(GetCurrentProcessId()) + L".tmp"))
                                       .wstring();

    const PendingTemporary pending(temporary);
    UniqueFile file(CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!file)
        return SystemRefusal("cannot write into " + shownFolder);
    const auto fail = [&](const std::string& what) {
        auto refusal = SystemRefusal(what);
        file.Close();
        DeleteFileW(temporary.c_str());
        return refusal;
    };
    for (std::size_t done = 0; done < bytes.size();) {
        const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size() - done, 1u << 24));
        DWORD written = 0;
        if (!WriteFile(file.get(), bytes.data() + done, chunk, &written, nullptr) || written != chunk)
            return fail("cannot write the installer into " + shownFolder);
        done += written;
    }
    // On the disk before it takes the old installer's place.
    if (!FlushFileBuffers(file.get()))
        return fail("cannot write the installer into " + shownFolder);
    if (!file.Close()) {
        auto refusal = SystemRefusal("cannot write the installer into " + shownFolder);
        DeleteFileW(temporary.c_str());
        return refusal;
    }
    if (!MoveFileExW(temporary.c_str(), system.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        auto refusal = SystemRefusal("cannot put the installer in place as " + Shown(target));
        DeleteFileW(temporary.c_str());
        return refusal;
    }
    return {};
}

void PrintOut(const std::string& text)
{
    Print(STD_OUTPUT_HANDLE, text);
}

void PrintError(const std::string& text)
{
    Print(STD_ERROR_HANDLE, text);
}

namespace {

struct Jobs {
    std::size_t count;
    Job job;
    void* context;
    volatile LONG next = 0;

    void Work() noexcept
    {
        for (auto i = static_cast<std::size_t>(InterlockedIncrement(&next) - 1); i < count;
             i = static_cast<std::size_t>(InterlockedIncrement(&next) - 1))
            job(context, i);
    }
};

DWORD WINAPI JobThread(void* jobs) noexcept
{
    static_cast<Jobs*>(jobs)->Work();
    return 0;
}

// The job threads started, waited for and closed however RunJobs is left.
class JobThreads {
public:
    static constexpr std::size_t kMost = 64;

    JobThreads() noexcept = default;
    JobThreads(const JobThreads&) = delete;
    JobThreads& operator=(const JobThreads&) = delete;
    ~JobThreads()
    {
        for (std::size_t i = 0; i < count_; ++i) {
            WaitForSingleObject(handles_[i], INFINITE);
            CloseHandle(handles_[i]);
        }
    }

    bool Start(Jobs& jobs) noexcept
    {
        if (count_ == kMost)
            return false;
        const HANDLE thread = CreateThread(nullptr, 0, JobThread, &jobs, 0, nullptr);
        if (!thread)
            return false;
        handles_[count_++] = thread;
        return true;
    }

private:
    HANDLE handles_[kMost] = {};
    std::size_t count_ = 0;
};

} // namespace

// Threads of the system's own: this toolchain's C++ library has no std::thread for Windows.
void RunJobs(std::size_t count, Job job, void* context)
{
    Jobs jobs{count, job, context};
    SYSTEM_INFO system = {};
    GetNativeSystemInfo(&system);
    const std::size_t processors = std::max<DWORD>(1, system.dwNumberOfProcessors);
    {
        JobThreads threads;
        // No more threads to be had: the ones there are do the rest.
        for (std::size_t i = 1; i < std::min(processors, count) && threads.Start(jobs); ++i) {
        }
        jobs.Work();
    }
}

} // namespace tazel::pack
