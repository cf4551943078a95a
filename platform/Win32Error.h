#pragma once
// Turns the system's failure codes into failures that carry their own text.

// First, in a block of its own: the Windows headers below need its types.
#include <windows.h>

#include <oaidl.h>

#include "core/Expected.h"

#include "core/Failure.h"

namespace tazel::win32 {

// The system's message text for a Win32 error code or an HRESULT, without its closing line break.
[[nodiscard]] std::wstring SystemMessage(DWORD code);

[[nodiscard]] Failure Win32Failure(DWORD code);
// Reads GetLastError(): call it right after the failing call.
[[nodiscard]] Failure LastErrorFailure();
[[nodiscard]] Failure HResultFailure(HRESULT hr);
// The failure an automation object raised (its call gave DISP_E_EXCEPTION): the object's own
// code and text where it gave them. Takes over the exception's texts and frees them.
[[nodiscard]] Failure DispatchExceptionFailure(EXCEPINFO& exception);

} // namespace tazel::win32

// Evaluates a COM call once and, when it fails, returns its HRESULT as the enclosing function's
// failure: `return Unexpected(HResultFailure(hr))` from a function that returns
// Expected<T, Failure>. The one way a failed COM call becomes a Failure.
#define TAZEL_RETURN_IF_FAILED(call)                                                                                   \
    do {                                                                                                               \
        if (const HRESULT tazelHr_ = (call); FAILED(tazelHr_))                                                         \
            return Unexpected(::tazel::win32::HResultFailure(tazelHr_));                                               \
    } while (false)
