#pragma once
// Plays a script against the installer: starts it, then plays each action in turn until the
// script ends or an action cannot be played.

#include <string>

#include "Cover.h"
#include "Dialogs.h"
#include "HeldFiles.h"
#include "MainWindow.h"
#include "Process.h"
#include "Script.h"
#include "Watch.h"

namespace tazel::e2e {

class Runner {
public:
    explicit Runner(Script script) : script_(std::move(script)) {}
    Runner(const Runner&) = delete;
    Runner& operator=(const Runner&) = delete;

    // The driver's exit status (main.cpp).
    int Run();

private:
    bool Play(const Action& action);
    bool Sync(const std::wstring& name);
    bool WaitExit();

    Script script_;
    InstallerProcess process_;
    HeldFiles holds_;
    Watch watch_{process_, holds_};
    MainWindow mainWindow_{watch_, process_};
    Cover cover_{watch_, mainWindow_};
    Dialogs dialogs_{watch_, process_};
};

} // namespace tazel::e2e
