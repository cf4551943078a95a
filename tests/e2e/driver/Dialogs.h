#pragma once
// The installer's message boxes and the shell's folder browse dialog: waiting for each, reporting
// what a user sees in it, and answering it.

#include <windows.h>

#include <set>
#include <string>

#include "Process.h"
#include "Script.h"
#include "Watch.h"

namespace tazel::e2e {

class Dialogs {
public:
    Dialogs(Watch& watch, InstallerProcess& process) noexcept : watch_(watch), process_(process) {}
    Dialogs(const Dialogs&) = delete;
    Dialogs& operator=(const Dialogs&) = delete;

    bool WaitBox();
    bool WaitBrowse();
    // Answers the box or dialog found last.
    bool Press(Key key);
    bool Select(const std::wstring& path);

    // A box or browse dialog not reported yet, or null.
    HWND AnyNew();
    // Reports a box or browse dialog that the script did not wait for.
    void ReportUnexpected(HWND dialog);

private:
    HWND New(bool browse);
    void ReportBox(const char* event, HWND box);
    void ReportBrowse(const char* event, HWND dialog);

    Watch& watch_;
    InstallerProcess& process_;
    HWND dialog_ = nullptr;
    std::set<HWND> handled_;
};

} // namespace tazel::e2e
