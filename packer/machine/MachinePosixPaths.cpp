// Paths and failures as POSIX has them, for the machines whose paths are POSIX's: Linux's
// (MachinePosix.cpp) and the one held in memory (MachineMemory.cpp).

#include <algorithm>
#include <cerrno>
#include <string_view>
#include <system_error>

#include "packer/machine/Machine.h"

namespace tazel::pack {

SystemError LastSystemError()
{
    const std::error_code error(errno, std::generic_category());
    return {error, error.message()};
}

std::filesystem::path SystemPath(const std::filesystem::path& path)
{
    return path;
}

std::string ShownPath(const std::filesystem::path& path)
{
    const std::string text = path.string();
    std::string shown = text.starts_with('/') ? "/" : "";
    bool first = true;
    for (std::size_t start = 0; start < text.size();) {
        const std::size_t end = std::min(text.find('/', start), text.size());
        const std::string_view part = std::string_view(text).substr(start, end - start);
        start = end + 1;
        if (part.empty() || part == ".")
            continue;
        shown += first ? "" : "/";
        shown += part;
        first = false;
    }
    return shown.empty() ? "." : shown;
}

std::optional<std::string> DeviceNamed(const std::filesystem::path&)
{
    return std::nullopt;
}

} // namespace tazel::pack
