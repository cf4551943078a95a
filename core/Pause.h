#pragma once
// The timed pause: its clock logic, apart from the clock and the event queue it runs on.

#include <cstdint>

namespace tazel {

// What the pause runs on; the platform supplies it.
class PauseClock {
public:
    virtual ~PauseClock() = default;
    // The millisecond clock, read as a signed 32-bit value.
    virtual std::int32_t Now() = 0;
    // Dispatches every event pending for the program's windows.
    virtual void PumpEvents() = 0;
    // Blocks until a window event arrives or `milliseconds` have passed, whichever is first.
    virtual void WaitForEvents(std::uint32_t milliseconds) = 0;
};

// Work done while the pause stands, in small steps.
class PauseWork {
public:
    virtual ~PauseWork() = default;
    // Does one short step of the work; false once none is left.
    virtual bool Step() = 0;
};

// Returns once `milliseconds` have passed by the clock, or at once when the clock reads
// 5 ms or more behind the start (as it does when it wraps from its highest signed value
// to its lowest). Events are pumped at least once, even for a count of 0 or less, so the
// program's windows stay responsive throughout. While `work` has steps left, the pause does one
// between each two pumps instead of waiting; what is left when the pause ends stays for the caller.
void Delay(std::int32_t milliseconds, PauseClock& clock, PauseWork* work = nullptr);

} // namespace tazel
