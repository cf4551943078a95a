#pragma once
// Pure path rules of the destination folder services, kept apart from the shell calls so that
// they can be tested anywhere.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace tazel {

// Shell path buffers hold this many characters, terminating NUL included.
inline constexpr std::size_t kShellPathBufferLength = 260;

// True when two consecutive "\" occur from the path's second character on. A leading "\\"
// (a network path) does not count; a doubled separator anywhere after it does.
bool HasDoubledSeparator(std::wstring_view path);

// A full, normalised path (as GetFullPathNameW gives it) in the "\\?\" form that lifts MAX_PATH:
// C:\x gives \\?\C:\x, \\server\share gives \\?\UNC\server\share, \\.\ and \\?\ paths stay as named.
// Anything not full and normalised ("C:foo", "//server/share") gets nothing: the prefix turns off
// the system's reading of a path, so it would name another file.
[[nodiscard]] std::optional<std::wstring> ExtendedLengthPath(std::wstring_view fullPath);

// The text of a NUL-filled buffer up to, not including, its first NUL (all of it if it has none).
std::wstring CutAtFirstNul(std::wstring_view buffer);

} // namespace tazel
