#include "core/FolderRules.h"

namespace tazel {

bool HasDoubledSeparator(std::wstring_view path)
{
    if (path.size() < 2)
        return false;
    return path.substr(1).find(L"\\\\") != std::wstring_view::npos;
}

std::wstring ExtendedLengthPath(std::wstring_view fullPath)
{
    constexpr std::wstring_view kPrefix = L"\\\\?\\";
    if (fullPath.starts_with(kPrefix))
        return std::wstring(fullPath);
    if (fullPath.starts_with(L"\\\\.\\"))
        return std::wstring(kPrefix) + std::wstring(fullPath.substr(4));
    if (fullPath.starts_with(L"\\\\"))
        return std::wstring(kPrefix) + L"UNC\\" + std::wstring(fullPath.substr(2));
    return std::wstring(kPrefix) + std::wstring(fullPath);
}

std::wstring CutAtFirstNul(std::wstring_view buffer)
{
    return std::wstring(buffer.substr(0, buffer.find(L'\0')));
}

} // namespace tazel
