#include "Runner.h"

#include "Json.h"

namespace tazel::e2e {

int Runner::Run()
{
    if (!process_.Start(script_))
        return 1;
    watch_.Begin(script_.timeoutSeconds);
    JsonLine("started").Number("pid", process_.id()).Emit();

    for (const Action& action : script_.actions) {
        watch_.Playing(action);
        if (!Play(action))
            break;
    }
    return watch_.status();
}

bool Runner::Play(const Action& action)
{
    switch (action.kind) {
    case ActionKind::Window:
        return mainWindow_.Wait();
    case ActionKind::WindowClose:
        return mainWindow_.Close();
    case ActionKind::WindowMove:
        return mainWindow_.Move(action.x, action.y);
    case ActionKind::Dpi:
        return mainWindow_.ChangeDpi(action.dpi, action.x, action.y);
    case ActionKind::Accessible:
        return mainWindow_.ReportAccessible();
    case ActionKind::Cover:
        return cover_.Lay();
    case ActionKind::Uncover:
        return cover_.Lift();
    case ActionKind::Box:
        return dialogs_.WaitBox();
    case ActionKind::Browse:
        return dialogs_.WaitBrowse();
    case ActionKind::Press:
        return dialogs_.Press(action.key);
    case ActionKind::Select:
        return dialogs_.Select(action.text);
    case ActionKind::Sync:
        return Sync(action.text);
    case ActionKind::Sleep: {
        const ULONGLONG until = GetTickCount64() + static_cast<ULONGLONG>(action.milliseconds);
        const Waited waited = watch_.WaitUntil([&] { return GetTickCount64() >= until; });
        return waited == Waited::Exited || watch_.Check(waited, "sleep");
    }
    case ActionKind::Hold:
        return holds_.Hold(action.text, action.milliseconds) || watch_.Fail("cannot open the file to hold");
    case ActionKind::Exit:
        return WaitExit();
    case ActionKind::Kill:
        process_.Kill();
        return true;
    }
    return watch_.Fail("unknown action");
}

// Stops until the harness has acted at this point and answers with a line on standard input.
bool Runner::Sync(const std::wstring& name)
{
    JsonLine("sync").Text("name", name).Emit();
    const HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
    char byte = 0;
    DWORD read = 0;
    while (ReadFile(input, &byte, 1, &read, nullptr) && read == 1)
        if (byte == '\n')
            return true;
    return watch_.Fail("standard input closed during a sync");
}

// The installer's own end; a box or dialog that comes first is one the script did not expect.
bool Runner::WaitExit()
{
    HWND unexpected = nullptr;
    const Waited waited = watch_.WaitUntil([&] {
        unexpected = dialogs_.AnyNew();
        return unexpected != nullptr || process_.Exited();
    });
    if (waited == Waited::TimedOut)
        return watch_.Check(waited, "installer to end");
    if (unexpected) {
        dialogs_.ReportUnexpected(unexpected);
        return watch_.Stop();
    }
    process_.ReportExit(false);
    return true;
}

} // namespace tazel::e2e
