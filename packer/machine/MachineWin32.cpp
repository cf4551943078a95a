// The machine layer on Windows: wide paths throughout, never the ANSI code page, and every path
// handed to the system in its \\?\ form, by the system's own calls, never by the C++ library's,
// which reads a \\?\ path as folders under the current drive. Printing to the console, and threads
// of the system's own for the jobs: this toolchain's C++ library has no std::thread for Windows.

#include <windows.h>

#include <fcntl.h>
#include <io.h>

#include "packer/machine/Machine.h"

#include <algorithm>
#include <utility>
#include <vector>

#include "core/NameRules.h"
#include "core/Utf.h"

namespace tazel::pack {
namespace {

bool IsSeparator(wchar_t c)
{
    return c == L'\\' || c == L'/';
}

// A Windows path taken apart as Windows reads it.
struct Parts {
    std::wstring root;     // as given but for '\': C:  \\?\C:  \\?\UNC\server\share  \\server\share, or none
    bool rooted = false;   // a separator after the root: from the top of its drive or share
    bool verbatim = false; // \\?\ or \??\: the system takes the path as it is, resolving nothing
    std::vector<std::wstring> names;
};

Parts TakeApart(std::wstring_view text)
{
    Parts parts;
    // The next part, up to a separator, and the position after it.
    const auto next = [&text](std::size_t& at) {
        const std::size_t start = at;
        while (at < text.size() && !IsSeparator(text[at]))
            ++at;
        const std::wstring_view part = text.substr(start, at - start);
        if (at < text.size())
            ++at;
        return std::wstring(part);
    };
    std::size_t at = 0;
    const bool twoSeparators = text.size() >= 2 && IsSeparator(text[0]) && IsSeparator(text[1]);
    if (text.starts_with(L"\\\\?\\") || text.starts_with(L"\\??\\")) {
        parts.verbatim = true;
        at = 4;
        parts.root = std::wstring(text.substr(0, 4)) + next(at);
        if (CompareStringOrdinal(parts.root.c_str() + 4, -1, L"UNC", -1, TRUE) == CSTR_EQUAL) {
            parts.root += L'\\' + next(at);
            parts.root += L'\\' + next(at);
        }
        parts.rooted = true;
    } else if (twoSeparators && text.size() >= 3 && (text[2] == L'.' || text[2] == L'?') &&
               (text.size() == 3 || IsSeparator(text[3]))) {
        at = std::min<std::size_t>(4, text.size()); // \\.\ : the device namespace
        parts.root = std::wstring(L"\\\\") + text[2] + L'\\' + next(at);
        parts.rooted = true;
    } else if (twoSeparators) {
        at = 2; // \\server\share
        parts.root = L"\\\\" + next(at);
        parts.root += L'\\' + next(at);
        parts.rooted = true;
    } else if (text.size() >= 2 && text[1] == L':') {
        parts.root = text.substr(0, 2);
        at = 2;
        parts.rooted = text.size() > 2 && IsSeparator(text[2]);
    } else {
        parts.rooted = !text.empty() && IsSeparator(text[0]);
    }
    while (at < text.size()) {
        std::wstring name = next(at);
        if (name.empty() || name == L".")
            continue;
        if (name == L".." && !parts.names.empty() && parts.names.back() != L"..")
            parts.names.pop_back();
        else if (name != L".." || !parts.rooted) // nothing is above the top
            parts.names.push_back(std::move(name));
    }
    return parts;
}

std::wstring PutTogether(const Parts& parts)
{
    std::wstring text = parts.root;
    if (parts.rooted)
        text += L'\\';
    for (std::size_t i = 0; i < parts.names.size(); ++i)
        text += (i == 0 ? L"" : L"\\") + parts.names[i];
    return text;
}

std::string SystemText(DWORD code)
{
    wchar_t* buffer = nullptr;
    const DWORD length =
        FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                       nullptr, code, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    std::u16string text;
    if (length != 0)
        text.assign(buffer, buffer + length);
    LocalFree(buffer);
    while (!text.empty() &&
           (text.back() == u'\r' || text.back() == u'\n' || text.back() == u' ' || text.back() == u'.'))
        text.pop_back();
    return text.empty() ? "error " + std::to_string(code) : Utf16ToUtf8(text);
}

SystemError SystemFailure(DWORD code)
{
    // The C++ library's category tells a missing file among the system's codes.
    return {std::error_code(static_cast<int>(code), std::system_category()), SystemText(code)};
}

class UniqueHandle {
public:
    explicit UniqueHandle(HANDLE handle) noexcept : handle_(handle) {}
    UniqueHandle(const UniqueHandle&) = delete;
    UniqueHandle& operator=(const UniqueHandle&) = delete;
    ~UniqueHandle() { Close(); }
    [[nodiscard]] HANDLE get() const noexcept { return handle_; }
    HANDLE release() noexcept { return std::exchange(handle_, INVALID_HANDLE_VALUE); }
    explicit operator bool() const noexcept { return handle_ != INVALID_HANDLE_VALUE; }
    // The close of a written file can report a failed write: its result counts.
    bool Close() noexcept
    {
        return handle_ == INVALID_HANDLE_VALUE || CloseHandle(std::exchange(handle_, INVALID_HANDLE_VALUE));
    }

private:
    HANDLE handle_;
};

// A C runtime descriptor, until a stream takes it.
class UniqueDescriptor {
public:
    explicit UniqueDescriptor(int descriptor) noexcept : descriptor_(descriptor) {}
    UniqueDescriptor(const UniqueDescriptor&) = delete;
    UniqueDescriptor& operator=(const UniqueDescriptor&) = delete;
    ~UniqueDescriptor()
    {
        if (descriptor_ >= 0)
            _close(descriptor_);
    }
    [[nodiscard]] int get() const noexcept { return descriptor_; }
    void release() noexcept { descriptor_ = -1; }

private:
    int descriptor_;
};

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

SystemError LastSystemError()
{
    return SystemFailure(GetLastError());
}

std::filesystem::path SystemPath(const std::filesystem::path& path)
{
    const std::wstring& given = path.native();
    if (given.empty())
        return path;
    const Parts parts = TakeApart(given);
    if (parts.verbatim)
        return PutTogether(parts);
    // Windows' own reading of every other form: the current folder of the path's drive, '/',
    // ".", "..", and the dots and spaces that end a name.
    std::wstring full(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length = GetFullPathNameW(given.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
        if (length == 0)
            return path; // the system refuses it, and says why when it is opened
        const bool fits = length < full.size();
        full.resize(length);
        if (fits)
            break;
    }
    if (full.size() >= 3 && full[1] == L':' && IsSeparator(full[2]))
        return L"\\\\?\\" + full;
    if (full.starts_with(L"\\\\") && !full.starts_with(L"\\\\.\\") && !full.starts_with(L"\\\\?\\"))
        return L"\\\\?\\UNC\\" + full.substr(2);
    return full; // a device: \\.\NUL
}

std::filesystem::path AbsolutePath(const std::filesystem::path& path)
{
    return SystemPath(path);
}

std::string ShownPath(const std::filesystem::path& path)
{
    const std::wstring shown = PutTogether(TakeApart(path.native()));
    return shown.empty() ? "." : Utf16ToUtf8(std::u16string(shown.begin(), shown.end()));
}

std::optional<std::string> DeviceNamed(const std::filesystem::path& path)
{
    const std::wstring name = path.filename().native();
    NameVerdict verdict = JudgeWindowsFileName(std::u16string(name.begin(), name.end()));
    if (verdict.fault != NameFault::DeviceName)
        return std::nullopt;
    return Utf16ToUtf8(verdict.device);
}

tazel::Expected<void, SystemError> MakeFolders(const std::filesystem::path& path)
{
    Parts parts = TakeApart(SystemPath(path).native());
    // The deepest folder there is, then each one below it.
    std::size_t there = parts.names.size();
    for (; there > 0; --there) {
        Parts above = parts;
        above.names.resize(there);
        const DWORD attributes = GetFileAttributesW(PutTogether(above).c_str());
        if (attributes == INVALID_FILE_ATTRIBUTES)
            continue;
        if ((attributes & FILE_ATTRIBUTE_DIRECTORY) == 0)
            return Unexpected(SystemFailure(ERROR_ALREADY_EXISTS)); // a file is in the way
        break;
    }
    for (std::size_t made = there + 1; made <= parts.names.size(); ++made) {
        Parts folder = parts;
        folder.names.resize(made);
        if (!CreateDirectoryW(PutTogether(folder).c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS)
            return Unexpected(LastSystemError());
    }
    return {};
}

tazel::Expected<FileFacts, SystemError> Inspect(const std::filesystem::path& path)
{
    // Opened for its attributes alone, a folder too, through any links.
    const UniqueHandle file(CreateFileW(SystemPath(path).c_str(), FILE_READ_ATTRIBUTES,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                        FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (!file)
        return Unexpected(LastSystemError());
    if (GetFileType(file.get()) != FILE_TYPE_DISK)
        return FileFacts{FileKind::Other}; // a device, a pipe
    BY_HANDLE_FILE_INFORMATION information = {};
    if (!GetFileInformationByHandle(file.get(), &information))
        return Unexpected(LastSystemError());
    if ((information.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
        return FileFacts{FileKind::Folder};
    return FileFacts{FileKind::Regular, (std::uintmax_t{information.nFileSizeHigh} << 32) | information.nFileSizeLow};
}

tazel::Expected<InputFile, SystemError> InputFile::Open(const std::filesystem::path& path)
{
    // Shared as the C library's fopen shares a file it reads.
    UniqueHandle file(CreateFileW(SystemPath(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                  OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!file)
        return Unexpected(LastSystemError());
    UniqueDescriptor descriptor(_open_osfhandle(reinterpret_cast<intptr_t>(file.get()), _O_RDONLY | _O_BINARY));
    if (descriptor.get() < 0)
        return Unexpected(SystemFailure(ERROR_TOO_MANY_OPEN_FILES));
    file.release(); // the descriptor's now
    std::FILE* stream = _fdopen(descriptor.get(), "rb");
    if (!stream)
        return Unexpected(SystemFailure(ERROR_NOT_ENOUGH_MEMORY));
    descriptor.release(); // the stream's now
    return InputFile(stream);
}

Expected<void> WriteWholeFile(const std::filesystem::path& target, std::span<const std::byte> bytes)
{
    const std::filesystem::path folder = target.parent_path().empty() ? L"." : target.parent_path();
    const std::string shownFolder = ShownPath(folder);
    const std::filesystem::path system = SystemPath(target);
    const std::wstring temporary = (system.parent_path() / (L"." + system.filename().wstring() + L"." +
                                                            std::to_wstring(GetCurrentProcessId()) + L".tmp"))
                                       .wstring();

    const PendingTemporary pending(temporary);
    UniqueHandle file(CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
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
        auto refusal = SystemRefusal("cannot put the installer in place as " + ShownPath(target));
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
void ReportProgress(std::uint64_t, std::uint64_t)
{
}

void RunJobs(std::size_t count, Job job, void* context)
{
    Jobs jobs{count, job, context};
    SYSTEM_INFO system = {};
    GetNativeSystemInfo(&system);
    const std::size_t processors = std::max<DWORD>(1, system.dwNumberOfProcessors);
    {
        JobThreads threads;
        // No more threads to be had: the ones there are do the rest.
        for (std::size_t i = 1; i < std::min(processors, count) && threads.Start(jobs); ++i) {}
        jobs.Work();
    }
}

} // namespace tazel::pack
