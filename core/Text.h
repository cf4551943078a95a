#pragma once
// Small text rules shared by the core and the platform.

#include <string>

namespace tazel {

// `text` without the line breaks and spaces it ends in, as the system's message texts do.
[[nodiscard]] inline std::wstring TrimTrailingBreaks(std::wstring text)
{
    while (!text.empty() && (text.back() == L'\r' || text.back() == L'\n' || text.back() == L' '))
        text.pop_back();
    return text;
}

} // namespace tazel
