#pragma once
// Resources of a loaded module, read in place.

#include <windows.h>

#include "core/Expected.h"
#include <cstddef>
#include <span>

#include "core/Failure.h"

namespace tazel::win32 {

// The whole stored bytes of resource `name` of `type` in `language`. A view: the module keeps the
// bytes for as long as it stays loaded, and they need no release.
[[nodiscard]] Expected<std::span<const std::byte>, Failure> ResourceBytes(HMODULE module, const wchar_t* type,
                                                                          const wchar_t* name, WORD language);

} // namespace tazel::win32
