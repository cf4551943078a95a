#pragma once
// The timed pause on the multimedia clock and the thread's message queue.

#include <cstdint>

namespace tazel::win32 {

// Returns after at least `milliseconds`, dispatching window messages meanwhile and sleeping
// between them rather than spinning.
void Delay(std::int32_t milliseconds);

} // namespace tazel::win32
