#include "host/Win32Platform.h"

#include "host/LastResort.h"
#include "payload/Payload.h"
#include "platform/Folders.h"
#include "platform/Marks.h"
#include "platform/Win32Error.h"
#include "ui/MessageBoxes.h"

namespace tazel::win32 {

void Win32Platform::SetPackageLine(const std::wstring& text)
{
    window_.SetPackageLine(text);
}

void Win32Platform::ShowMainWindow()
{
    // The pause starts as the window is shown: its clock, and winmm with it, is made first, so
    // that loading winmm does not lengthen the pause.
    Clock();
    const Mark mark("window");
    window_.Show();
}

WindowHandle Win32Platform::MainWindowHandle()
{
    return reinterpret_cast<WindowHandle>(window_.Handle());
}

PauseClock& Win32Platform::Clock()
{
    if (!clock_)
        clock_.emplace();
    return *clock_;
}

std::wstring Win32Platform::SpecialFolderPath(std::int32_t folderId)
{
    const Mark mark("folder lookup");
    return win32::SpecialFolderPath(folderId);
}

Expected<bool, Failure> Win32Platform::DirectoryExists(const std::wstring& path)
{
    const Mark mark("folder test");
    return win32::DirectoryExists(path);
}

std::wstring Win32Platform::BrowseForFolder(WindowHandle owner)
{
    return win32::BrowseForFolder(reinterpret_cast<HWND>(owner));
}

Expected<PayloadBytes, Failure> Win32Platform::LoadPayload(int resourceId, PayloadStorage storage)
{
    const Mark mark("payload entry");
    return win32::LoadPayload(resourceId, storage);
}

Expected<PayloadBytes, Failure> Win32Platform::DecodePayload(PayloadBytes stored)
{
    const Mark mark("decode");
    return win32::DecodePayload(stored);
}

Expected<void, Failure> Win32Platform::WritePayloadFile(const std::wstring& path, PayloadBytes bytes)
{
    const Mark mark("file");
    return win32::WritePayloadFile(path, bytes, Clock());
}

void Win32Platform::ArmFailureTrap()
{
    ArmLastResortForCopyStage();
}

std::vector<std::wstring> Win32Platform::FindFiles(const std::wstring& folder, const std::wstring& pattern)
{
    const Mark mark("leftover search");
    return win32::FindFiles(folder, pattern);
}

bool Win32Platform::IsProcessRunning(std::uint32_t processId)
{
    return win32::IsProcessRunning(processId);
}

bool Win32Platform::RemoveUnheldFile(const std::wstring& path)
{
    return win32::RemoveUnheldFile(path);
}

BoxResult Win32Platform::ShowMessage(const std::wstring& prompt, const std::wstring& title, Buttons buttons)
{
    // The window owns the boxes while it stands, so they stay above it; once the user has
    // closed it, the boxes stand on their own.
    const HWND owner = window_.IsVisible() ? window_.Handle() : nullptr;
    const Mark mark("box");
    return ShowMessageBox(owner, prompt, title, buttons);
}

void Win32Platform::Beep()
{
    const Mark mark("beep");
    DefaultBeep();
}

} // namespace tazel::win32
