#pragma once
// Destination folder services: the special folder lookup, the folder existence check and the
// browse dialog.

#include <windows.h>

#include "core/Expected.h"
#include <cstdint>
#include <string>

#include "core/Failure.h"

namespace tazel::win32 {

// The path of a shell special folder, or empty text when the shell cannot give one.
[[nodiscard]] std::wstring SpecialFolderPath(std::int32_t folderId);

// True only for an existing folder whose path has no doubled separator after its first character.
// Fails only when the scripting runtime's file-system object cannot be created or asked.
[[nodiscard]] Expected<bool, Failure> DirectoryExists(const std::wstring& path);

// The folder the user picks in the shell's browse dialog, or empty text.
[[nodiscard]] std::wstring BrowseForFolder(HWND owner);

} // namespace tazel::win32
