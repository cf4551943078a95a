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
