#pragma once
// The installation sequence's view of Windows: each operation of the platform interface
// handed to the Win32 service that performs it.

#include "core/Platform.h"
#include "ui/MainWindow.h"

namespace tazel::win32 {

class Win32Platform final : public Platform {
public:
    explicit Win32Platform(MainWindow& window) : window_(window) {}

    void SetPackageLine(const std::wstring& text) override;
    void ShowMainWindow() override;
    WindowHandle MainWindowHandle() override;
    void Delay(std::int32_t milliseconds) override;
    std::wstring SpecialFolderPath(std::int32_t folderId) override;
    std::expected<bool, Failure> DirectoryExists(const std::wstring& path) override;
    std::wstring BrowseForFolder(WindowHandle owner) override;
    std::expected<PayloadBytes, Failure> LoadPayload(int resourceId) override;
    std::expected<void, Failure> WritePayloadFile(const std::wstring& path, PayloadBytes bytes) override;
    BoxResult ShowMessage(const std::wstring& prompt, const std::wstring& title, Buttons buttons) override;
    void Beep() override;

private:
    MainWindow& window_;
};

} // namespace tazel::win32
