#include "core/FolderRules.h"

#include <algorithm>

namespace tazel {
namespace {

bool IsAsciiLetter(wchar_t c)
{
    return (c >= L'A' && c <= L'Z') || (c >= L'a' && c <= L'z');
}

// The names below a path's root as the extended form takes them, literally: no "/" (it would be
// part of a name), no "." or ".." (they would not be resolved), no empty name but a last one (the
// root itself, or a trailing separator).
bool HasOnlyPlainNames(std::wstring_view belowRoot)
{
    if (belowRoot.find(L'/') != std::wstring_view::npos)
        return false;
    for (std::size_t start = 0;;) {
        const std::size_t end = std::min(belowRoot.find(L'\\', start), belowRoot.size());
        const std::wstring_view name = belowRoot.substr(start, end - start);
        if (end == belowRoot.size())
            return name != L"." && name != L"..";
        if (name.empty() || name == L"." || name == L"..")
            return false;
        start = end + 1;
    }
}

} // namespace

bool HasDoubledSeparator(std::wstring_view path)
{
    if (path.size() < 2)
        return false;
    return path.substr(1).find(L"\\\\") != std::wstring_view::npos;
}

std::optional<std::wstring> ExtendedLengthPath(std::wstring_view fullPath)
{
    constexpr std::wstring_view kPrefix = L"\\\\?\\";
    if (fullPath.starts_with(kPrefix))
        return std::wstring(fullPath);
    if (fullPath.starts_with(L"\\\\.\\")) {
        const std::wstring_view device = fullPath.substr(4);
        if (device.empty() || !HasOnlyPlainNames(device))
            return std::nullopt;
        return std::wstring(kPrefix) + std::wstring(device);
    }
    if (fullPath.starts_with(L"\\\\")) {
        // At least "server\share", both named.
        const std::wstring_view share = fullPath.substr(2);
        const std::size_t separator = share.find(L'\\');
        if (separator == std::wstring_view::npos || separator + 1 == share.size() || !HasOnlyPlainNames(share))
            return std::nullopt;
        return std::wstring(kPrefix) + L"UNC\\" + std::wstring(share);
    }
    const bool driveRooted =
        fullPath.size() >= 3 && IsAsciiLetter(fullPath[0]) && fullPath[1] == L':' && fullPath[2] == L'\\';
    if (!driveRooted || !HasOnlyPlainNames(fullPath.substr(3)))
        return std::nullopt;
    return std::wstring(kPrefix) + std::wstring(fullPath);
}

std::wstring CutAtFirstNul(std::wstring_view buffer)
{
    return std::wstring(buffer.substr(0, buffer.find(L'\0')));
}

} // namespace tazel
