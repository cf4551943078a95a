#pragma once
// A plain window of the driver's own laid over the installer's main window, as another program's
// window would lie there, and taken away again so that the installer has to repaint.

#include <windows.h>

#include "MainWindow.h"
#include "Watch.h"

namespace tazel::e2e {

class Cover {
public:
    Cover(Watch& watch, MainWindow& mainWindow) noexcept : watch_(watch), mainWindow_(mainWindow) {}
    Cover(const Cover&) = delete;
    Cover& operator=(const Cover&) = delete;
    ~Cover();

    bool Lay();
    bool Lift();

private:
    Watch& watch_;
    MainWindow& mainWindow_;
    HWND window_ = nullptr;
};

} // namespace tazel::e2e
