#pragma once
// The driver's waits for what the script expects, and the script's end when a wait goes wrong.
// While it waits the driver keeps watching: each window of the installer is reported the first
// time it is shown, and held files are let go when their time comes.

#include <windows.h>

#include <functional>
#include <set>

#include "HeldFiles.h"
#include "Process.h"
#include "Script.h"

namespace tazel::e2e {

enum class Waited { Met, Exited, TimedOut };

// How long a window or box is given to close or move once asked.
constexpr ULONGLONG kCloseLimitMs = 10000;

class Watch {
public:
    Watch(InstallerProcess& process, HeldFiles& holds) noexcept : process_(process), holds_(holds) {}
    Watch(const Watch&) = delete;
    Watch& operator=(const Watch&) = delete;

    // The script's time limit runs from now.
    void Begin(int timeoutSeconds);
    // The action being played, which a failed wait names.
    void Playing(const Action& action) noexcept { current_ = &action; }

    Waited WaitUntil(const std::function<bool()>& condition);
    // A wait that did not end as hoped ends the script: false then.
    bool Check(Waited waited, const char* what);
    // Reports why the action cannot be played and ends the installer and the script: false.
    bool Fail(const char* reason);
    // Ends the installer and the script as failed, its reason reported already: false.
    bool Stop();

    // The driver's exit status so far (main.cpp).
    int status() const noexcept { return status_; }

private:
    void Observe();
    void NoteShown(HWND window);

    InstallerProcess& process_;
    HeldFiles& holds_;
    ULONGLONG deadline_ = 0;
    const Action* current_ = nullptr;
    std::set<HWND> shown_;
    int status_ = 0;
};

} // namespace tazel::e2e
