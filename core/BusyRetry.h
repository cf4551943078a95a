#pragma once
// Retrying a step that another program may block for a moment: a virus scanner or the search
// indexer opening a file just written, or the game still holding its deck open.

#include <array>
#include <cstdint>

#include "core/Pause.h"

namespace tazel {

enum class TryResult {
    Done,
    Busy,    // blocked by something that can pass: worth another try
    Refused, // will not pass by waiting: stop at once
};

// The waits between tries: short at first, as most holders let go within milliseconds, then
// growing, about two seconds in all; a holder that keeps the file longer is not going to let go
// while the player watches.
inline constexpr std::array<std::int32_t, 7> kBusyRetryGapsMs{20, 40, 80, 160, 320, 640, 740};

// The system's error numbers the decision below reads (Win32 error codes).
inline constexpr std::uint32_t kErrorAccessDenied = 5;
inline constexpr std::uint32_t kErrorSharingViolation = 32;
inline constexpr std::uint32_t kErrorLockViolation = 33;

// Why putting a written file in its target's place failed, as far as the system says.
struct FailedReplace {
    std::uint32_t renameError = 0;
    // A read-only file or a folder of the target's name: refused whatever anyone holds.
    bool targetReadOnlyOrFolder = false;
    // After an "access denied": opening the target for deletion, sharing everything with whoever
    // has it open: 0 when that worked, else its error.
    std::uint32_t deleteProbeError = 0;
};

// Whether the failure may pass by waiting. A sharing or lock violation is another program's
// handle on the target or the temporary file. Windows denies access alike to a target another
// program holds without sharing deletion and to one this user may not delete at all (another
// account's file in the machine-wide application-data folder): the probe tells them apart, as a
// held file refuses the probe with a sharing violation and a forbidden one with access denied.
// (A target being deleted while someone still holds it also answers access denied, and is
// refused with the forbidden ones.) Wine differs: it gives access denied for a held target too,
// and opens a forbidden one for deletion without complaint, so there a forbidden target is tried
// until the waits run out.
[[nodiscard]] constexpr TryResult JudgeFailedReplace(const FailedReplace& failure) noexcept
{
    switch (failure.renameError) {
    case kErrorSharingViolation:
    case kErrorLockViolation:
        return TryResult::Busy;
    case kErrorAccessDenied:
        if (failure.targetReadOnlyOrFolder || failure.deleteProbeError == kErrorAccessDenied)
            return TryResult::Refused;
        // Held, gone meanwhile, or let go between the rename and the probe: worth another try.
        return TryResult::Busy;
    default:
        return TryResult::Refused;
    }
}

// Runs `attempt` until it is Done or Refused or the waits run out, and gives its last result.
// The waits run on the pause's clock, so the program's windows keep answering meanwhile.
template <typename Attempt>
TryResult RetryWhileBusy(Attempt&& attempt, PauseClock& clock)
{
    TryResult result = attempt();
    for (const std::int32_t gap : kBusyRetryGapsMs) {
        if (result != TryResult::Busy)
            break;
        Delay(gap, clock);
        result = attempt();
    }
    return result;
}

} // namespace tazel
