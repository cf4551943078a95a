// The process entry: hardens the DLL search, then runs the installation sequence and returns
// its outcome as the exit status.

#include <windows.h>

#include <array>
#include <iterator>

#include "core/Installer.h"
#include "core/PackageManifest.h"
#include "host/LastResort.h"
#include "host/Win32Platform.h"
#include "payload/Payload.h"
#include "platform/OptionalFunction.h"
#include "platform/Owners.h"
#include "platform/Win32Error.h"
#include "ui/MainWindow.h"
#include "ui/MessageBoxes.h"

extern "C" int WinMainCRTStartup();

namespace {

// What a system component asks for by name alone once the first window is made: the theme
// engine, and the one DLL it asks for in turn (Wine's, through its delay-load resolver).
constexpr const wchar_t* kAskedForByName[] = {L"uxtheme.dll", L"msimg32.dll"};
using Preloaded = std::array<tazel::win32::UniqueModule, std::size(kAskedForByName)>;

// An installer is run from a Downloads folder, where anyone may have left a DLL named like a
// system one. From here on, DLLs load only from the system folder. Gives what it loaded to that
// end, to be held for the whole run.
[[nodiscard]] Preloaded HardenDllSearch() noexcept
{
    using SetDefaultDllDirectoriesFn = BOOL(WINAPI*)(DWORD);
    // Looked up at run time: Windows 7 without its security update lacks the function.
    const auto setDefault = tazel::win32::OptionalFunction<SetDefaultDllDirectoriesFn>(
        GetModuleHandleW(L"kernel32.dll"), "SetDefaultDllDirectories");
    if (setDefault && setDefault(LOAD_LIBRARY_SEARCH_SYSTEM32))
        return {};
    // At least take the current folder out of the search. The program's own folder is still
    // searched first for a DLL asked for by name alone: each one the system asks for so is loaded
    // now from the system folder by its full path, its own imports from there too, and the later
    // request finds it loaded.
    SetDllDirectoryW(L"");
    Preloaded preloaded;
    for (std::size_t i = 0; i < preloaded.size(); ++i)
        preloaded[i] = tazel::win32::LoadSystemLibrary(kAskedForByName[i]);
    return preloaded;
}

// The generic report for a failure that ends the run before the installation sequence could
// report it itself.
tazel::RunOutcome Report(const tazel::Failure& failure)
{
    tazel::win32::ShowMessageBox(nullptr, tazel::GenericReportText(failure), tazel::kApplicationTitle,
                                 tazel::Buttons::Ok);
    return tazel::RunOutcome::UnexpectedFailure;
}

// One run, from the COM apartment to the last box. Every path returns here, so the window goes
// before the apartment and both before the process ends.
tazel::RunOutcome Run(HINSTANCE instance)
{
    using namespace tazel;
    // One apartment-threaded COM for the thread: the folder existence check's scripting
    // object and the browse dialog both need it.
    const win32::ComApartment com;
    if (FAILED(com.result()))
        return Report(win32::HResultFailure(com.result()));

    auto window = win32::MainWindow::Create(instance);
    if (!window)
        return Report(window.error());

    const auto loaded = win32::LoadPackageManifest();
    if (!loaded)
        return Report(loaded.error());
    // A damaged record has no manifest to trust; the sequence reports it before the copy stage.
    const PackageManifest& manifest = loaded->value_or(PackageManifest{});
    const win32::LastResortScope lastResort(manifest, **window);
    win32::Win32Platform platform(**window);
    return Main(*loaded, platform);
}

} // namespace

extern "C" int TazelEntry()
{
    // Held while the process lasts: the C runtime's entry ends it rather than returning.
    const Preloaded preloaded = HardenDllSearch();
    return WinMainCRTStartup();
}

// Returns the outcome as the exit status; the C runtime ends the process with it once
// everything the run held has been released. A failure that cannot come back as a value ends
// the process where it strikes (host/LastResort.h).
int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int)
{
    return static_cast<int>(Run(instance));
}
