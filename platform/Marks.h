#pragma once
// Marks of where the time goes from the window's showing to the last box, for the benchmark's
// breakdown (bench/bench.py). Only a test build keeps them: built with TAZEL_TEST_HOOK_MARKS, a
// mark notes when it was made and when it went, and tests/hooks/Marks.cpp writes them out at
// the end of the run. In every other build a mark is an empty object and costs nothing.

namespace tazel::win32 {

#ifdef TAZEL_TEST_HOOK_MARKS
class Mark {
public:
    explicit Mark(const char* name) noexcept;
    Mark(const Mark&) = delete;
    Mark& operator=(const Mark&) = delete;
    ~Mark();

private:
    unsigned index_;
};
#else
class Mark {
public:
    explicit constexpr Mark(const char*) noexcept {}
    Mark(const Mark&) = delete;
    Mark& operator=(const Mark&) = delete;
};
#endif

} // namespace tazel::win32
