#pragma once
// Turns the system's failure codes into failures that carry their own text.

#include <windows.h>

#include "core/Failure.h"

namespace tazel::win32 {

// The system's message text for a Win32 error code or an HRESULT.
std::wstring SystemMessage(DWORD code);

Failure Win32Failure(DWORD code);
// Reads GetLastError(): call it right after the failing call.
Failure LastErrorFailure();
Failure HResultFailure(HRESULT hr);

} // namespace tazel::win32
