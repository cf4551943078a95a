#pragma once
// System functions that only some Windows versions have, looked up at run time: importing one
// would keep the program from starting on every system that lacks it. Every such lookup, and
// every load of a DLL that is not always there, goes through this file's two functions.

#include <windows.h>

#include "platform/Owners.h"

namespace tazel::win32 {

// Loads a DLL that is not one of those Windows always takes from the system folder, from the
// system folder alone, never from beside the program; empty where it cannot be loaded.
[[nodiscard]] UniqueModule LoadSystemLibrary(const wchar_t* fileName) noexcept;

// `name` exported by `module`, or null where either is missing.
[[nodiscard]] FARPROC FindOptionalFunction(HMODULE module, const char* name) noexcept;

// The same as a pointer of type Function.
template <typename Function>
[[nodiscard]] Function OptionalFunction(HMODULE module, const char* name) noexcept
{
    // By way of the generic function pointer type: a direct cast from FARPROC draws a warning
    // about incompatible function types.
    return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(FindOptionalFunction(module, name)));
}

} // namespace tazel::win32
