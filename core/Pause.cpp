#include "core/Pause.h"

namespace tazel {

void Delay(std::int32_t milliseconds, PauseClock& clock, PauseWork* work)
{
    // Readings are widened before any sum or difference, so no reading can overflow them.
    const std::int64_t start = clock.Now();
    bool working = work != nullptr;
    for (;;) {
        clock.PumpEvents();
        const std::int64_t now = clock.Now();
        const std::int64_t elapsed = now - start;
        if (elapsed >= milliseconds)
            return;
        if (now + 5 <= start)
            return;
        // A step is short, so the window is served between any two; the pause ends at most one
        // step late.
        if (working) {
            working = work->Step();
            continue;
        }
        // Sleep until the next event or the end of the pause instead of spinning: a busy loop
        // would hold a processor core at full load for the whole pause.
        clock.WaitForEvents(static_cast<std::uint32_t>(milliseconds - elapsed));
    }
}

} // namespace tazel
