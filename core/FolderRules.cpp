#include "core/FolderRules.h"

namespace tazel {

bool HasDoubledSeparator(std::wstring_view path)
{
    if (path.size() < 2)
        return false;
    return path.substr(1).find(L"\\\\") != std::wstring_view::npos;
}

std::wstring CutAtFirstNul(std::wstring_view buffer)
{
    return std::wstring(buffer.substr(0, buffer.find(L'\0')));
}

} // namespace tazel
