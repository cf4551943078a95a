#include "platform/OptionalFunction.h"

#ifdef TAZEL_TEST_HOOK_MISSING
#include <type_traits>

namespace {

// Case is ignored in ASCII only, which is all the names asked for use.
template <typename Char>
unsigned Folded(Char c) noexcept
{
    const auto code = static_cast<unsigned>(static_cast<std::make_unsigned_t<Char>>(c));
    return code >= 'A' && code <= 'Z' ? code + ('a' - 'A') : code;
}

template <typename Char>
bool Listed(const Char* asked) noexcept
{
    for (const char* token = TAZEL_TEST_HOOK_MISSING; *token != '\0';) {
        std::size_t length = 0;
        while (token[length] != '\0' && token[length] != ' ')
            ++length;
        std::size_t same = 0;
        while (same < length && asked[same] != 0 && Folded(asked[same]) == Folded(token[same]))
            ++same;
        if (length != 0 && same == length && asked[length] == 0)
            return true;
        token += length;
        while (*token == ' ')
            ++token;
    }
    return false;
}

} // namespace

// Test packages only: the functions and DLLs named in TAZEL_TEST_HOOK_MISSING (separated by
// spaces) look missing, as on an older Windows, so that the installer's fallbacks for it run.
// Named so that the link map shows it; the checks of the built executables hold the product free
// of every "TazelTestHook". It runs before the C runtime has started, so it calls no library.
extern "C" [[gnu::noinline]] bool TazelTestHookLooksMissing(const wchar_t* dll, const char* function) noexcept
{
    return dll ? Listed(dll) : Listed(function);
}
#endif

namespace tazel::win32 {

FARPROC FindOptionalFunction(HMODULE module, const char* name) noexcept
{
#ifdef TAZEL_TEST_HOOK_MISSING
    if (TazelTestHookLooksMissing(nullptr, name))
        return nullptr;
#endif
    if (!module)
        return nullptr;
    return GetProcAddress(module, name);
}

UniqueModule LoadSystemLibrary(const wchar_t* fileName) noexcept
{
#ifdef TAZEL_TEST_HOOK_MISSING
    if (TazelTestHookLooksMissing(fileName, nullptr))
        return {};
#endif
    // The search flags came with AddDllDirectory (Windows 8, and update KB2533623 on Windows 7 and
    // Vista), and its presence is how a program tells that they are there.
    if (FindOptionalFunction(GetModuleHandleW(L"kernel32.dll"), "AddDllDirectory"))
        return UniqueModule(LoadLibraryExW(fileName, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32));
    // Without them, the file is named in full, in the system folder; with the altered search path
    // its own imports are looked for there first too.
    wchar_t path[MAX_PATH] = {};
    const UINT length = GetSystemDirectoryW(path, MAX_PATH);
    if (length == 0 || length + 1 + lstrlenW(fileName) >= MAX_PATH)
        return {};
    lstrcatW(path, L"\\");
    lstrcatW(path, fileName);
    return UniqueModule(LoadLibraryExW(path, nullptr, LOAD_WITH_ALTERED_SEARCH_PATH));
}

} // namespace tazel::win32
