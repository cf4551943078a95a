#pragma once
// Actions on the installer's main window: waiting for it, closing and moving it, telling it of a
// new DPI as Windows 10 does, and reading it as a screen reader would.

#include <windows.h>

#include "Process.h"
#include "Watch.h"

namespace tazel::e2e {

class MainWindow {
public:
    MainWindow(Watch& watch, InstallerProcess& process) noexcept : watch_(watch), process_(process) {}

    bool Wait();
    bool Close();
    bool Move(int x, int y);
    bool ChangeDpi(int dpi, int x, int y);
    bool ReportAccessible();

    // The main window, visible or not, once it exists; null when the script has to end.
    HWND Await();

private:
    void Report(const char* event, HWND window);

    Watch& watch_;
    InstallerProcess& process_;
};

} // namespace tazel::e2e
