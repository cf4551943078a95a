// Starts the installer under test and plays a script of user actions against it, reporting
// every window it sees and every answer it gives as JSON lines (see Script.h for the actions).
//
// Driver exit status: 0 script played and the installer ended on its own; 1 an action could
// not be played or an unexpected box appeared; 2 the global time limit ran out; 64 bad usage.

#include <windows.h>

#include <string>
#include <vector>

#include "Json.h"
#include "Runner.h"
#include "Script.h"
#include "platform/Owners.h"

namespace tazel::e2e {
namespace {

// Sizes in the report are in real pixels whatever the screen's scale.
void BecomeDpiAware() noexcept
{
    // Looked up at run time, with the context's value spelled out: the build targets Windows 7 headers.
    using SetContextFn = BOOL(WINAPI*)(HANDLE);
    const HANDLE perMonitorV2 = reinterpret_cast<HANDLE>(static_cast<INT_PTR>(-4));
    const auto set = reinterpret_cast<SetContextFn>(
        reinterpret_cast<void (*)()>(GetProcAddress(GetModuleHandleW(L"user32.dll"), "SetProcessDpiAwarenessContext")));
    if (!set || !set(perMonitorV2))
        SetProcessDPIAware();
}

} // namespace
} // namespace tazel::e2e

int wmain(int argc, wchar_t** argv)
{
    using namespace tazel::e2e;
    try {
        BecomeDpiAware();
        // For the accessibility API.
        const tazel::win32::ComApartment com;
        std::vector<std::wstring> arguments(argv + 1, argv + argc);
        std::wstring error;
        auto script = ParseScript(arguments, error);
        if (!script) {
            JsonLine("error").Text("action", "usage").Text("reason", error).Emit();
            return 64;
        }
        Runner runner(std::move(*script));
        return runner.Run();
    } catch (...) {
        JsonLine("error").Text("action", "driver").Text("reason", "internal failure").Emit();
        return 1;
    }
}
