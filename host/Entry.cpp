// The process entry: hardens the DLL search, then runs the installation sequence and ends the
// process with its outcome.

#include <windows.h>

#include <exception>
#include <new>

#include "core/Installer.h"
#include "core/PackageManifest.h"
#include "host/Win32Platform.h"
#include "platform/OptionalFunction.h"
#include "platform/Owners.h"
#include "platform/Win32Error.h"
#include "ui/MainWindow.h"
#include "ui/MessageBoxes.h"

extern "C" int WinMainCRTStartup();

namespace {

// An installer is run from a Downloads folder, where anyone may have left a DLL named like a
// system one. From here on, DLLs load only from the system folder.
void HardenDllSearch() noexcept
{
    using SetDefaultDllDirectoriesFn = BOOL(WINAPI*)(DWORD);
    // Looked up at run time: Windows 7 without its security update lacks the function.
    const auto setDefault = tazel::win32::OptionalFunction<SetDefaultDllDirectoriesFn>(
        GetModuleHandleW(L"kernel32.dll"), "SetDefaultDllDirectories");
    if (setDefault && setDefault(LOAD_LIBRARY_SEARCH_SYSTEM32))
        return;
    // At least take the current folder out of the search.
    SetDllDirectoryW(L"");
}

[[noreturn]] void EndRun(tazel::RunOutcome outcome) noexcept
{
    ExitProcess(static_cast<UINT>(outcome));
}

[[noreturn]] void ReportAndEnd(const tazel::Failure& failure) noexcept
{
    try {
        tazel::win32::ShowMessageBox(nullptr, tazel::GenericReportText(failure), tazel::kApplicationTitle,
                                     tazel::Buttons::Ok);
    } catch (...) {
    }
    EndRun(tazel::RunOutcome::UnexpectedFailure);
}

} // namespace

extern "C" int TazelEntry()
{
    HardenDllSearch();
    return WinMainCRTStartup();
}

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int)
{
    using namespace tazel;
    try {
        // One apartment-threaded COM for the thread: the folder existence check's scripting
        // object and the browse dialog both need it.
        const win32::ComApartment com;
        if (FAILED(com.result()))
            ReportAndEnd(win32::HResultFailure(com.result()));

        auto window = win32::MainWindow::Create(instance);
        if (!window)
            ReportAndEnd(window.error());

        win32::Win32Platform platform(**window);
        EndRun(Main(BuiltInManifest(), platform));
    } catch (const std::bad_alloc&) {
        ReportAndEnd(win32::Win32Failure(ERROR_NOT_ENOUGH_MEMORY));
    } catch (...) {
        ReportAndEnd(win32::Win32Failure(ERROR_GEN_FAILURE));
    }
}
