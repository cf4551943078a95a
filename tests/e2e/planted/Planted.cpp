// A DLL that someone could leave in a Downloads folder under a system DLL's name. It does
// nothing but leave a trace once it is mapped into a process: a file in C:\planted-evidence
// named after the name it was loaded under and the program that loaded it. The end-to-end
// tests plant copies of it beside a program and look for the traces afterwards.
//
// Only kernel32 is used: whatever name the copy carries, it must not need the DLL it stands in for.

#include <windows.h>

namespace {

constexpr wchar_t kEvidenceFolder[] = L"C:\\planted-evidence";
constexpr DWORD kPathLength = 32768;

// The part of a path after its last separator.
const wchar_t* BaseName(const wchar_t* path) noexcept
{
    const wchar_t* base = path;
    for (const wchar_t* p = path; *p; ++p)
        if (*p == L'\\' || *p == L'/')
            base = p + 1;
    return base;
}

class HeapText {
public:
    explicit HeapText(DWORD characters) noexcept
        : text_(static_cast<wchar_t*>(HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, characters * sizeof(wchar_t))))
    {
    }
    HeapText(const HeapText&) = delete;
    HeapText& operator=(const HeapText&) = delete;
    ~HeapText()
    {
        if (text_)
            HeapFree(GetProcessHeap(), 0, text_);
    }
    wchar_t* get() const noexcept { return text_; }

private:
    wchar_t* text_;
};

class FileHandle {
public:
    explicit FileHandle(HANDLE handle) noexcept : handle_(handle) {}
    FileHandle(const FileHandle&) = delete;
    FileHandle& operator=(const FileHandle&) = delete;
    ~FileHandle()
    {
        if (handle_ != INVALID_HANDLE_VALUE)
            CloseHandle(handle_);
    }
    HANDLE get() const noexcept { return handle_; }

private:
    HANDLE handle_;
};

// "<this DLL's name>--<the program's name>.txt", holding both full paths as UTF-16, one a line.
// The name tells the harness at a glance which lookup went astray, and in which process.
void LeaveEvidence(HMODULE self) noexcept
{
    HeapText own(kPathLength);
    HeapText host(kPathLength);
    HeapText marker(kPathLength);
    if (!own.get() || !host.get() || !marker.get())
        return;
    if (!GetModuleFileNameW(self, own.get(), kPathLength) || !GetModuleFileNameW(nullptr, host.get(), kPathLength))
        return;

    CreateDirectoryW(kEvidenceFolder, nullptr);
    lstrcpynW(marker.get(), kEvidenceFolder, kPathLength);
    lstrcatW(marker.get(), L"\\");
    lstrcatW(marker.get(), BaseName(own.get()));
    lstrcatW(marker.get(), L"--");
    lstrcatW(marker.get(), BaseName(host.get()));
    lstrcatW(marker.get(), L".txt");

    FileHandle file(
        CreateFileW(marker.get(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (file.get() == INVALID_HANDLE_VALUE)
        return;
    DWORD written = 0;
    WriteFile(file.get(), own.get(), static_cast<DWORD>(lstrlenW(own.get()) * sizeof(wchar_t)), &written, nullptr);
    WriteFile(file.get(), L"\r\n", 2 * sizeof(wchar_t), &written, nullptr);
    WriteFile(file.get(), host.get(), static_cast<DWORD>(lstrlenW(host.get()) * sizeof(wchar_t)), &written, nullptr);
}

} // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE self, DWORD reason, LPVOID)
{
    if (reason == DLL_PROCESS_ATTACH) {
        DisableThreadLibraryCalls(self);
        LeaveEvidence(self);
    }
    // Stays loaded: a loader that took it keeps it, as it would keep the real DLL.
    return TRUE;
}
