#pragma once
// The pause's clock and event queue on Windows: the multimedia clock and the thread's message
// queue, so the window keeps answering while the pause sleeps between its messages.

#include <windows.h>

#include "core/Pause.h"
#include "platform/Owners.h"

namespace tazel::win32 {

class MessageQueueClock final : public PauseClock {
public:
    // Loads winmm from the system folder for its clock; where that fails the tick count serves.
    MessageQueueClock();

    std::int32_t Now() override;
    void PumpEvents() override;
    void WaitForEvents(std::uint32_t milliseconds) override;

private:
    using TimeGetTimeFn = DWORD(WINAPI*)();

    UniqueModule winmm_;
    TimeGetTimeFn timeGetTime_ = nullptr;
};

} // namespace tazel::win32
