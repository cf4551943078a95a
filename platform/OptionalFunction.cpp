#include "platform/OptionalFunction.h"

namespace tazel::win32 {

UniqueModule LoadSystemLibrary(const wchar_t* fileName) noexcept
{
    UniqueModule module(LoadLibraryExW(fileName, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32));
    if (module)
        return module;
    // Systems without the search flags refuse it as an invalid parameter; name the file in full.
    wchar_t path[MAX_PATH] = {};
    const UINT length = GetSystemDirectoryW(path, MAX_PATH);
    if (length == 0 || length + 1 + lstrlenW(fileName) >= MAX_PATH)
        return {};
    lstrcatW(path, L"\\");
    lstrcatW(path, fileName);
    return UniqueModule(LoadLibraryExW(path, nullptr, LOAD_WITH_ALTERED_SEARCH_PATH));
}

} // namespace tazel::win32
