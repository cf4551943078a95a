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

// A full path in the form that lifts the MAX_PATH limit ("\\?\"): a drive path gets the prefix,
// a network path becomes "\\?\UNC\server\share...", a path in the device namespace ("\\.\",
// "\\.\UNC\" included) is named the same way, and one that has the prefix already stays as it is.
// The prefix turns off the system's reading of the path, so it must be full and normalised, as
// GetFullPathNameW gives it: rooted at a drive ("C:\"), at a share ("\\server\share") or in the
// device namespace, separated by "\" alone, without "." or ".." or empty names. Anything else
// ("C:foo", a relative path, "//server/share") gets nothing rather than a path naming another file.
[[nodiscard]] std::optional<std::wstring> ExtendedLengthPath(std::wstring_view fullPath);

// The text of a NUL-filled buffer up to, not including, its first NUL (all of it if it has none).
std::wstring CutAtFirstNul(std::wstring_view buffer);

} // namespace tazel
