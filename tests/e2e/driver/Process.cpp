#include "Process.h"

#include "Json.h"

namespace tazel::e2e {
namespace {

constexpr UINT kKilledExitCode = 0xDEAD;

} // namespace

bool InstallerProcess::Start(const Script& script)
{
    std::wstring commandLine = L"\"" + script.installer + L"\"";
    std::wstring folder = script.installer.substr(0, script.installer.find_last_of(L'\\'));
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION created = {};
    // Started from its own folder, as a double click in a file manager would.
    const DWORD flags = script.occupy.empty() ? 0 : CREATE_SUSPENDED;
    if (!CreateProcessW(script.installer.c_str(), commandLine.data(), nullptr, nullptr, FALSE, flags, nullptr,
                        folder.c_str(), &startup, &created)) {
        JsonLine("error")
            .Text("action", "start")
            .Text("reason", "CreateProcessW failed")
            .Number("code", GetLastError())
            .Emit();
        return false;
    }
    process_.reset(created.hProcess);
    win32::UniqueHandle thread(created.hThread);
    id_ = created.dwProcessId;
    if (!script.occupy.empty()) {
        const bool occupied = Occupy(script.occupy);
        ResumeThread(thread.get());
        return occupied;
    }
    return true;
}

// The installer's first temporary name for each target to occupy, made while it is suspended.
bool InstallerProcess::Occupy(const std::vector<std::wstring>& targets)
{
    wchar_t pid[16] = {};
    wsprintfW(pid, L"%x", static_cast<unsigned>(id_));
    for (const std::wstring& target : targets) {
        const std::wstring name = target + L"." + pid + L"-0.tmp";
        win32::UniqueFile file(
            CreateFileW(name.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
        DWORD written = 0;
        if (!file || !WriteFile(file.get(), "occupied", 8, &written, nullptr)) {
            JsonLine("error").Text("action", "occupy").Text("path", name).Number("code", GetLastError()).Emit();
            return false;
        }
        JsonLine("occupied").Text("path", name).Emit();
    }
    return true;
}

bool InstallerProcess::Exited() const
{
    return WaitForSingleObject(process_.get(), 0) == WAIT_OBJECT_0;
}

void InstallerProcess::Kill()
{
    if (!Exited()) {
        TerminateProcess(process_.get(), kKilledExitCode);
        WaitForSingleObject(process_.get(), 10000);
        ReportExit(true);
    } else {
        ReportExit(false);
    }
}

void InstallerProcess::ReportExit(bool killed)
{
    DWORD code = 0;
    GetExitCodeProcess(process_.get(), &code);
    JsonLine("exit").Number("code", code).Flag("killed", killed).Emit();
}

} // namespace tazel::e2e
