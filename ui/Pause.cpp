#include "ui/Pause.h"

#include <windows.h>

#include "core/Pause.h"
#include "platform/OptionalFunction.h"
#include "platform/Owners.h"

namespace tazel::win32 {
namespace {

using TimeGetTimeFn = DWORD(WINAPI*)();

// winmm is not one of the DLLs the loader always takes from the system folder, so it is not
// imported: it is loaded here from the system folder by full path, never from beside the program.
UniqueModule LoadSystemWinmm()
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

class QueuePauseHost final : public PauseHost {
public:
    QueuePauseHost() : winmm_(LoadSystemWinmm())
    {
        if (winmm_)
            timeGetTime_ = OptionalFunction<TimeGetTimeFn>(winmm_.get(), "timeGetTime");
    }

    std::int32_t Now() override
    {
        // Both clocks count milliseconds since the system started.
        const DWORD reading = timeGetTime_ ? timeGetTime_() : GetTickCount();
        return static_cast<std::int32_t>(reading);
    }

    void PumpEvents() override
    {
        MSG message = {};
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
    }

    void WaitForEvents(std::uint32_t milliseconds) override
    {
        MsgWaitForMultipleObjectsEx(0, nullptr, milliseconds, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
    }

private:
    UniqueModule winmm_;
    TimeGetTimeFn timeGetTime_ = nullptr;
};

} // namespace

void Delay(std::int32_t milliseconds)
{
    QueuePauseHost host;
    tazel::Delay(milliseconds, host);
}

} // namespace tazel::win32
