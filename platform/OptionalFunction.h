#pragma once
// System functions that only some Windows versions have, looked up at run time: importing one
// would keep the program from starting on every system that lacks it.

#include <windows.h>

namespace tazel::win32 {

// `name` exported by `module` as a pointer of type Function, or null where either is missing.
template <typename Function>
[[nodiscard]] Function OptionalFunction(HMODULE module, const char* name) noexcept
{
    if (!module)
        return nullptr;
    // By way of the generic function pointer type: a direct cast from FARPROC draws a warning
    // about incompatible function types.
    return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
}

} // namespace tazel::win32
