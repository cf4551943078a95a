#pragma once
// Reading another process's windows: the installer's main window, its message boxes and the
// shell's folder browse dialog, as far as a user could see them.

#include <windows.h>

#include <commctrl.h>

#include <optional>
#include <string>
#include <vector>

#include "platform/Owners.h"

namespace tazel::e2e {

using win32::UniqueHandle;

// Memory inside another process, for messages whose parameters point at data: the receiving
// window reads the pointer in its own address space.
class RemoteBuffer {
public:
    RemoteBuffer(HANDLE process, SIZE_T size) noexcept;
    RemoteBuffer(const RemoteBuffer&) = delete;
    RemoteBuffer& operator=(const RemoteBuffer&) = delete;
    ~RemoteBuffer();
    explicit operator bool() const noexcept { return address_ != nullptr; }
    void* address() const noexcept { return address_; }
    bool Write(const void* data, SIZE_T size, SIZE_T offset = 0) const noexcept;
    bool Read(void* data, SIZE_T size, SIZE_T offset = 0) const noexcept;

private:
    HANDLE process_;
    void* address_;
};

std::wstring ClassOf(HWND window);
// The title as the window manager holds it (no message is sent).
std::wstring TitleOf(HWND window);
// A control's text asked of the control itself, with a time limit in case its thread is stuck.
std::wstring ControlText(HWND control);

// Top-level windows of a process, in Z order.
std::vector<HWND> TopLevelWindows(DWORD processId);
// Children and their children.
std::vector<HWND> Descendants(HWND parent);

bool IsDialog(HWND window);
HWND FindDescendant(HWND parent, const wchar_t* className);

// The installer's main window, visible or not.
HWND FindMainWindow(DWORD processId);

// JSON descriptions for the report.
std::string WindowRef(HWND window);          // {"class":..,"title":..} or null
std::string ButtonsJson(HWND dialog);        // visible buttons, left to right
std::string StaticsJson(HWND dialog);        // visible text statics
std::string RectJson(const RECT& rect);      // [left,top,right,bottom]
std::wstring MessageText(HWND box);          // the message box's prompt
bool ShowsIcon(HWND dialog);                 // a visible icon static that holds an icon
std::wstring BrowseInstruction(HWND dialog); // the text the caller gave the browse dialog

// Tree items and their text, read through memory inside the owning process.
HTREEITEM TreeItem(HWND tree, UINT relation, HTREEITEM from = nullptr);
std::optional<std::wstring> TreeItemText(HANDLE process, HWND tree, HTREEITEM item);
std::optional<std::wstring> SelectedItemText(HANDLE process, HWND tree);

} // namespace tazel::e2e
