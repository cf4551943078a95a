#pragma once
// Pure path rules of the destination folder services, kept apart from the shell calls so that
// they can be tested anywhere.

#include <cstddef>
#include <string>
#include <string_view>

namespace tazel {

// Shell path buffers hold this many characters, terminating NUL included.
inline constexpr std::size_t kShellPathBufferLength = 260;

// True when two consecutive "\" occur from the path's second character on. A leading "\\"
// (a network path) does not count; a doubled separator anywhere after it does.
bool HasDoubledSeparator(std::wstring_view path);

// The text of a NUL-filled buffer up to, not including, its first NUL (all of it if it has none).
std::wstring CutAtFirstNul(std::wstring_view buffer);

} // namespace tazel
