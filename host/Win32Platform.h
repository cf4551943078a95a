#pragma once
// The installation sequence's view of Windows: each operation of the platform interface
// handed to the Win32 service that performs it.

#include <optional>

#include "core/Platform.h"
#include "ui/MainWindow.h"
#include "ui/PauseClock.h"

namespace tazel::win32 {

class Win32Platform final : public Platform {
public:
    explicit Win32Platform(MainWindow& window) : window_(window) {}

    void SetPackageLine(const std::wstring& text) override;
    void ShowMainWindow() override;
    WindowHandle MainWindowHandle() override;
    PauseClock& Clock() override;
    [[nodiscard]] std::wstring SpecialFolderPath(std::int32_t folderId) override;
    [[nodiscard]] Expected<bool, Failure> DirectoryExists(const std::wstring& path) override;
    [[nodiscard]] std::wstring BrowseForFolder(WindowHandle owner) override;
    [[nodiscard]] Expected<PayloadBytes, Failure> LoadPayload(int resourceId, PayloadStorage storage) override;
    [[nodiscard]] Expected<PayloadBytes, Failure> DecodePayload(PayloadBytes stored) override;
    [[nodiscard]] Expected<void, Failure> WritePayloadFile(const std::wstring& path, PayloadBytes bytes) override;
    void ArmFailureTrap() override;
    [[nodiscard]] std::vector<std::wstring> FindFiles(const std::wstring& folder, const std::wstring& pattern) override;
    [[nodiscard]] bool IsProcessRunning(std::uint32_t processId) override;
    bool RemoveUnheldFile(const std::wstring& path) override;
    BoxResult ShowMessage(const std::wstring& prompt, const std::wstring& title, Buttons buttons) override;
    void Beep() override;

private:
    MainWindow& window_;
    // Made just before the window is shown, so winmm is loaded only by a run that pauses.
    std::optional<MessageQueueClock> clock_;
};

} // namespace tazel::win32
