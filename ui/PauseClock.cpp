#include "ui/PauseClock.h"

#include "platform/OptionalFunction.h"

namespace tazel::win32 {
namespace {

// winmm is not one of the DLLs the loader always takes from the system folder, so it is not
// imported: it is loaded here from the system folder by full path, never from beside the program.
[[nodiscard]] UniqueModule LoadSystemWinmm()
{
    UniqueModule module(LoadLibraryExW(L"winmm.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32));
    if (module)
        return module;
    // Systems without the search flags refuse it as an invalid parameter; name the file in full.
    wchar_t path[MAX_PATH] = {};
    const UINT length = GetSystemDirectoryW(path, MAX_PATH);
    if (length == 0 || length + 11 >= MAX_PATH)
        return {};
    lstrcatW(path, L"\\winmm.dll");
    return UniqueModule(LoadLibraryExW(path, nullptr, LOAD_WITH_ALTERED_SEARCH_PATH));
}

} // namespace

MessageQueueClock::MessageQueueClock() : winmm_(LoadSystemWinmm())
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
