#pragma once
// A failure as it travels from the platform call that saw it to the box that reports it:
// the system's own code (a Win32 error or an HRESULT) and the system's own text for it.

#include <cstdint>
#include <string>

namespace tazel {

struct Failure {
    std::uint32_t code = 0;
    std::wstring description;
};

} // namespace tazel
