#include "host/LastResort.h"

#include <utility>

#include "core/Installer.h"
#include "platform/Win32Error.h"
#include "ui/MainWindow.h"
#include "ui/MessageBoxes.h"

#ifdef TAZEL_COVERAGE_DUMP
// libgcov's: writes the coverage build's counters, which the C runtime's exit would write.
extern "C" void __gcov_dump(void);
#endif

namespace tazel::win32 {
namespace {

// Set aside while the run lasts and given back before the last box is made, so that when memory
// has run out the box's texts, and the system's own work in showing it, still find room. From
// the process heap, which the installer's own allocations and the system's window code share.
constexpr SIZE_T kReserveBytes = 64 * 1024;

struct LastResort {
    const PackageManifest* manifest = nullptr;
    const MainWindow* window = nullptr;
    void* reserve = nullptr;
    LastResortStage stage = LastResortStage::BeforeCopy;
    // Decided before anything of the ending is built, so that a failure inside it still ends
    // the run with the right status.
    RunOutcome outcome = RunOutcome::UnexpectedFailure;
};

LastResort lastResort;

void ReleaseReserve() noexcept
{
    if (void* reserve = std::exchange(lastResort.reserve, nullptr))
        HeapFree(GetProcessHeap(), 0, reserve);
}

} // namespace

LastResortScope::LastResortScope(const PackageManifest& manifest, const MainWindow& window) noexcept
{
    lastResort.manifest = &manifest;
    lastResort.window = &window;
    lastResort.reserve = HeapAlloc(GetProcessHeap(), 0, kReserveBytes);
}

LastResortScope::~LastResortScope()
{
    ReleaseReserve();
    lastResort.manifest = nullptr;
    lastResort.window = nullptr;
}

void ArmLastResortForCopyStage() noexcept
{
    lastResort.stage = LastResortStage::Copy;
}

LastResortStage CurrentLastResortStage() noexcept
{
    return lastResort.stage;
}

void EndRunOnUnrecoverableFailure(DWORD code) noexcept
{
    // A failure while the ending is being shown (the box's own message loop reaching the window,
    // say) ends the process at once, with the status already decided.
    const LastResortStage stage = std::exchange(lastResort.stage, LastResortStage::Ending);
    if (stage != LastResortStage::Ending) {
        const bool trapArmed = stage == LastResortStage::Copy && lastResort.manifest;
        lastResort.outcome = FailureOutcome(trapArmed);
        ReleaseReserve();

        const std::wstring noName;
        const FailureEnding ending =
            EndingForFailure(trapArmed ? lastResort.manifest->InstallerName : noName, trapArmed, Win32Failure(code));
        // The window owns the box while it stands, as it owns the run's other boxes.
        const HWND owner = lastResort.window && lastResort.window->IsVisible() ? lastResort.window->Handle() : nullptr;
        ShowMessageBox(owner, ending.prompt, ending.title, Buttons::Ok);
    }
    // Nothing can be unwound without exceptions, so the process ends here rather than by
    // returning to the entry. Files stay as they are: each target is replaced in one step, and a
    // temporary file left behind is removed by the next run. The status and the files are settled,
    // so the process is terminated rather than exited: exiting would run every DLL's detach code
    // (COM's, the shell's, the imaging component's, the common controls') with memory exhausted,
    // perhaps from inside one of their callbacks, for nothing the run still needs.
#ifdef TAZEL_COVERAGE_DUMP
    __gcov_dump();
#endif
    const UINT status = static_cast<UINT>(lastResort.outcome);
    TerminateProcess(GetCurrentProcess(), status);
    // Not reached: a process may always terminate itself. Says so to the compiler.
    ExitProcess(status);
}

} // namespace tazel::win32
