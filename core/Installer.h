#pragma once
// The installation sequence: the whole control flow of one run, from the usable-manifest check
// to the box that reports the outcome. The host ends the process with the outcome's value.

#include "core/Expected.h"
#include <cstddef>
#include <string>

#include "core/Failure.h"
#include "core/ManifestFormat.h"
#include "core/PackageManifest.h"
#include "core/Platform.h"

namespace tazel {

// How a run ended: one value per end message, the silent Cancel and the generic error report.
// The host uses it as the process exit status, for scripts and tests; the installer never reads it.
enum class RunOutcome : int {
    Installed = 0,          // M5
    NoEmbeddedFileInfo = 1, // M1
    Cancelled = 2,          // Cancel in M2, no further box
    NoFolderSpecified = 3,  // M3
    FolderNotFound = 4,     // M4
    CopyFailed = 6,         // M6
    UnexpectedFailure = 9,  // the generic error report, for failures before the copy stage's trap
    Damaged = 10,           // the damaged-installer report: the record or a payload entry fails its digest
};

// The manifest as the installer's package record gave it, or what made the record unreadable.
using StoredManifest = Expected<PackageManifest, RecordFault>;

// The generic error report for a failure that reaches the top of the run unhandled.
std::wstring GenericReportText(const Failure& failure);

// How a failure ends the run at the point where it strikes: once the copy stage has armed its
// failure trap, with "Unexpected Error!"; before that, with the generic report. The host's last
// resort for failures that cannot come back as a value (the system running out of memory) ends
// the run by the same rule.
struct FailureEnding {
    RunOutcome outcome;
    std::wstring prompt;
    std::wstring title;
};
[[nodiscard]] RunOutcome FailureOutcome(bool trapArmed) noexcept;
[[nodiscard]] FailureEnding EndingForFailure(const std::wstring& installerName, bool trapArmed, const Failure& failure);

// The report of an installer whose bytes are not what its packer made, in the generic report's
// form: it tells the player to get a new copy of `installerName`, or, when the record itself is
// damaged and the name not to be trusted (empty), of this installer.
[[nodiscard]] FailureEnding DamagedInstallerEnding(const std::wstring& installerName);

// Runs the sequence. The manifest is taken as written (LastFileIndex is derived here); a record
// that could not be read ends the run with the damaged-installer report before anything is shown.
RunOutcome Main(StoredManifest stored, Platform& platform);

// The default destination: the special folder, one trailing "\" removed, the host's graphics folder appended.
std::wstring DefaultDestination(std::wstring specialFolder);

// Text of the two-line messages that end with "<InstallerName> will now exit."
std::wstring WillNowExit(const std::wstring& firstLine, const std::wstring& installerName);

} // namespace tazel
