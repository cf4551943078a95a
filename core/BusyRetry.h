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

// The system's numbers the decision below reads: Win32 error codes, and the one NTSTATUS that
// tells a target being deleted from one that may not be. payload/Payload.cpp holds each to the
// system's own definition.
inline constexpr std::uint32_t kErrorAccessDenied = 5;
inline constexpr std::uint32_t kErrorSharingViolation = 32;
inline constexpr std::uint32_t kErrorLockViolation = 33;
inline constexpr std::uint32_t kStatusDeletePending = 0xC0000056;

// Why putting a written file in its target's place failed, as far as the system says.
struct FailedReplace {
    std::uint32_t renameError = 0;
    // A read-only file or a folder of the target's name: refused whatever anyone holds.
    bool targetReadOnlyOrFolder = false;
    // After an "access denied": opening the target for deletion, sharing everything with whoever
    // has it open: 0 when that worked, else its error and the NTSTATUS behind that error.
    std::uint32_t deleteProbeError = 0;
    std::uint32_t deleteProbeStatus = 0;
};

// Whether the failure may pass by waiting. A sharing or lock violation is another program's handle.
// "Access denied" is a held target or a forbidden one, which the probe tells apart (sharing
// violation, access denied); "delete pending" goes once its holder lets go. Wine answers some of
// these otherwise: docs/safety.md, "Files".
[[nodiscard]] constexpr TryResult JudgeFailedReplace(const FailedReplace& failure) noexcept
{
    switch (failure.renameError) {
    case kErrorSharingViolation:
    case kErrorLockViolation:
        return TryResult::Busy;
    case kErrorAccessDenied:
        if (failure.targetReadOnlyOrFolder)
            return TryResult::Refused;
        if (failure.deleteProbeError == kErrorAccessDenied && failure.deleteProbeStatus != kStatusDeletePending)
            return TryResult::Refused;
        // Held, being deleted, gone meanwhile, or let go between the rename and the probe: worth
        // another try.
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
