#pragma once
// Making a folder the browse dialog's selection as a user would get there: by the dialog's own
// selection message, or else by expanding its tree level by level and clicking each folder.

#include <windows.h>

#include <string>

#include "Process.h"
#include "Watch.h"

namespace tazel::e2e {

// Reports what the dialog selected; false, with the script ended, when `path` was not reached.
bool SelectFolder(Watch& watch, InstallerProcess& process, HWND dialog, const std::wstring& path);

} // namespace tazel::e2e
