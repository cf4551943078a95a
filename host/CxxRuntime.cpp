// The installer's C++ runtime, where it differs from the statically linked library's: the global
// allocation functions and the helpers that library code calls where it would throw. The
// installer is built without exceptions (see cmake/Win32Build.cmake); the library's own versions
// of these functions throw, and taking one would bring the exception machinery back (the
// unwinder, the personality routine, the exception classes, some 45 KB). Each one here ends the
// run through its last resort instead, with the box and the exit status a failure gets at that
// point of the run, never the C runtime's own abort box.
//
// Linked into every installer as an object of its own, so the linker finds these definitions
// before it searches the libraries; should a library member with one of them still be pulled
// in, the link fails with a duplicate definition. The library's helpers are defined by their
// qualified names, which must match their declarations in the library's own header: a signature
// changed in another release fails to compile here.

#include <bits/functexcept.h>
#include <new>

#include <windows.h>

#include "host/LastResort.h"

// Checked against Debian 12's MinGW-w64 cross compiler (g++-mingw-w64-i686-win32 12.2.0-14,
// which calls itself GCC 12 with minor version 0) and its libstdc++ of 2022-08-19: the set of
// helpers the headers call and the allocation functions they use. Another release may call
// helpers not defined here, or declare these differently.
#if !defined(__GNUC__) || __GNUC__ != 12 || !defined(__GLIBCXX__) || __GLIBCXX__ != 20220819
#error "host/CxxRuntime.cpp was checked against GCC 12 with libstdc++ 20220819 (Debian 12's MinGW-w64); \
check its stand-ins against this compiler's <bits/functexcept.h> and <new>, then update this test"
#endif

#ifdef TAZEL_TEST_HOOK_OUT_OF_MEMORY
// Test packages only: memory runs out at the stage the environment variable
// TAZEL_TEST_OUT_OF_MEMORY names, and is there again for the last resort's own box:
//   copy (or unset)  the moment the copy stage arms its failure trap
//   before-copy      once the run's window is shown, before the copy stage
//   box              as "copy", and once more while the last resort's box stands: a timer's
//                    callback, run by the box's message loop, allocates
// Named so that the link map shows it; the checks of the built executables hold the product free
// of every "TazelTestHook".
namespace {

enum class OutOfMemoryStage { BeforeCopy, Copy, WhileTheBoxStands };

OutOfMemoryStage ChosenStage() noexcept
{
    wchar_t text[16] = {};
    const DWORD length = GetEnvironmentVariableW(L"TAZEL_TEST_OUT_OF_MEMORY", text, 16);
    if (length == 0 || length >= 16)
        return OutOfMemoryStage::Copy;
    if (lstrcmpW(text, L"before-copy") == 0)
        return OutOfMemoryStage::BeforeCopy;
    if (lstrcmpW(text, L"box") == 0)
        return OutOfMemoryStage::WhileTheBoxStands;
    return OutOfMemoryStage::Copy;
}

BOOL CALLBACK StopAtVisible(HWND window, LPARAM found) noexcept
{
    if (!IsWindowVisible(window))
        return TRUE;
    *reinterpret_cast<bool*>(found) = true;
    return FALSE;
}

bool RunWindowShown() noexcept
{
    bool found = false;
    EnumThreadWindows(GetCurrentThreadId(), StopAtVisible, reinterpret_cast<LPARAM>(&found));
    return found;
}

// Long enough for the test driver to have seen and read the box first.
constexpr UINT kSecondFailureDelayMs = 2000;
bool secondFailureDue = false;

void CALLBACK FailAgain(HWND, UINT, UINT_PTR, DWORD) noexcept
{
    secondFailureDue = true;
    ::operator delete(::operator new(64));
}

} // namespace

extern "C" [[gnu::noinline]] bool TazelTestHookMemoryRunsOut() noexcept
{
    static const OutOfMemoryStage chosen = ChosenStage();
    static bool timerSet = false;
    const tazel::win32::LastResortStage stage = tazel::win32::CurrentLastResortStage();
    switch (chosen) {
    case OutOfMemoryStage::BeforeCopy:
        return stage == tazel::win32::LastResortStage::BeforeCopy && RunWindowShown();
    case OutOfMemoryStage::Copy:
        return stage == tazel::win32::LastResortStage::Copy;
    case OutOfMemoryStage::WhileTheBoxStands:
        if (stage == tazel::win32::LastResortStage::Copy && !timerSet)
            timerSet = SetTimer(nullptr, 0, kSecondFailureDelayMs, FailAgain) != 0;
        return stage == tazel::win32::LastResortStage::Copy || secondFailureDue;
    }
    return false;
}
#endif

namespace {

// A precondition of the C++ library broken by the installer's own code (a position past the
// end of a string, say): a fault of the program, reported like any other failure at that point.
[[noreturn]] void LibraryCheckFailed() noexcept
{
    tazel::win32::EndRunOnUnrecoverableFailure(ERROR_INTERNAL_ERROR);
}

[[noreturn]] void OutOfMemory() noexcept
{
    tazel::win32::EndRunOnUnrecoverableFailure(ERROR_NOT_ENOUGH_MEMORY);
}

// From the process heap, which the system's window and message box code also use: the last
// resort's reserve, given back there, then serves both.
void* Allocate(std::size_t size) noexcept
{
#ifdef TAZEL_TEST_HOOK_OUT_OF_MEMORY
    if (TazelTestHookMemoryRunsOut())
        return nullptr;
#endif
    return HeapAlloc(GetProcessHeap(), 0, size != 0 ? size : 1);
}

} // namespace

// --- The global allocation functions ---
// Their signatures are the language's own, declared in <new>; the compiler holds these to them.
// The library's array forms only pass on to these. Its non-throwing forms catch what these
// would throw, so they would bring the exception machinery with them, which the build checks
// refuse; the installer has no use for them.
void* operator new(std::size_t size)
{
    if (void* block = Allocate(size))
        return block;
    OutOfMemory();
}

void operator delete(void* block) noexcept
{
    if (block)
        HeapFree(GetProcessHeap(), 0, block);
}

void operator delete(void* block, std::size_t) noexcept
{
    ::operator delete(block);
}

// --- What the library's headers call where they would throw ---

[[noreturn]] void std::__throw_bad_alloc()
{
    OutOfMemory();
}

[[noreturn]] void std::__throw_bad_array_new_length()
{
    OutOfMemory();
}

[[noreturn]] void std::__throw_length_error(const char*)
{
    LibraryCheckFailed();
}

[[noreturn]] void std::__throw_logic_error(const char*)
{
    LibraryCheckFailed();
}

[[noreturn]] void std::__throw_out_of_range_fmt(const char*, ...)
{
    LibraryCheckFailed();
}
