#pragma once
// frmMain: the installer's one window. It has no behaviour of its own: it names the game and
// the package while the installation runs, and every box of the run stands over it.

#include <windows.h>

#include "core/Expected.h"
#include <memory>
#include <string>

#include "core/Failure.h"

namespace tazel::win32 {

class MainWindow {
public:
    // Builds the window and all its elements, hidden.
    [[nodiscard]] static Expected<std::unique_ptr<MainWindow>, Failure> Create(HINSTANCE instance);

    MainWindow(const MainWindow&) = delete;
    MainWindow& operator=(const MainWindow&) = delete;
    ~MainWindow();

    // Replaces the text of the package line along the window's bottom.
    void SetPackageLine(const std::wstring& text);
    // Makes the window visible, without owner, and returns at once.
    void Show();
    // The window's handle; null once the user has closed it.
    HWND Handle() const noexcept;
    // True while the window stands on the screen.
    bool IsVisible() const noexcept;

    struct State;

private:
    explicit MainWindow(std::unique_ptr<State> state);
    std::unique_ptr<State> state_;
};

} // namespace tazel::win32
