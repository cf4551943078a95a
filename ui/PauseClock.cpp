#include "ui/PauseClock.h"

#include "platform/OptionalFunction.h"

namespace tazel::win32 {

// winmm is not one of the DLLs the loader always takes from the system folder, so it is not
// imported but loaded from there by name.
MessageQueueClock::MessageQueueClock() : winmm_(LoadSystemLibrary(L"winmm.dll"))
{
    if (winmm_)
        timeGetTime_ = OptionalFunction<TimeGetTimeFn>(winmm_.get(), "timeGetTime");
}

std::int32_t MessageQueueClock::Now()
{
    // Both clocks count milliseconds since the system started.
    const DWORD reading = timeGetTime_ ? timeGetTime_() : GetTickCount();
    return static_cast<std::int32_t>(reading);
}

void MessageQueueClock::PumpEvents()
{
    MSG message = {};
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
}

void MessageQueueClock::WaitForEvents(std::uint32_t milliseconds)
{
    MsgWaitForMultipleObjectsEx(0, nullptr, milliseconds, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
}

} // namespace tazel::win32
