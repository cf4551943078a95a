#pragma once
// The run's last resort: how it ends when a failure cannot come back as a value. The installer
// is built without C++ exceptions, so running out of memory (in a container, a string or `new`)
// or a broken precondition inside the C++ library ends the run right where it happens, with the
// box and the exit status that a failure at that point of the run gets: "Unexpected Error!"
// once the copy stage has armed its failure trap, the generic report before.

#include <windows.h>

#include "core/PackageManifest.h"

namespace tazel::win32 {

class MainWindow;

// Names the run's manifest and window for the last resort while it lasts. Before one exists, and
// after it ends, the last resort gives the generic report without an owner window.
class LastResortScope {
public:
    LastResortScope(const PackageManifest& manifest, const MainWindow& window) noexcept;
    LastResortScope(const LastResortScope&) = delete;
    LastResortScope& operator=(const LastResortScope&) = delete;
    ~LastResortScope();
};

// From now on the last resort ends the run as a failed copy.
void ArmLastResortForCopyStage() noexcept;

// Where the run stands, as the last resort sees it.
enum class LastResortStage { BeforeCopy, Copy, Ending };
[[nodiscard]] LastResortStage CurrentLastResortStage() noexcept;

// Shows the box the failure `code` gets at this point of the run and ends the process with its
// exit status. Never returns.
[[noreturn]] void EndRunOnUnrecoverableFailure(DWORD code) noexcept;

} // namespace tazel::win32
