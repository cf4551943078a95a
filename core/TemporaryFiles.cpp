#include "core/TemporaryFiles.h"

#include <cstdio>
#include <cwchar>

namespace tazel {
namespace {

constexpr wchar_t kTemporaryExtension[] = L".tmp";

// Whether `text` starts with a run of 1 to `longest` characters of `digits`; their count.
[[nodiscard]] std::size_t DigitRun(std::wstring_view text, std::wstring_view digits, std::size_t longest)
{
    std::size_t count = 0;
    while (count < text.size() && count <= longest && digits.find(text[count]) != std::wstring_view::npos)
        ++count;
    return count <= longest ? count : 0;
}

} // namespace

std::wstring TemporaryFileSuffix(std::uint32_t processId, unsigned attempt)
{
    wchar_t suffix[32] = {};
    std::swprintf(suffix, sizeof suffix / sizeof suffix[0], L".%lx-%u", static_cast<unsigned long>(processId), attempt);
    return suffix + std::wstring(kTemporaryExtension);
}

std::optional<std::uint32_t> TemporaryFileWriter(std::wstring_view fileName, std::wstring_view targetName)
{
    // The exact spelling a run writes: the target's name as the package gives it, then the suffix.
    if (targetName.empty() || !fileName.starts_with(targetName))
        return std::nullopt;
    std::wstring_view rest = fileName.substr(targetName.size());
    if (!rest.starts_with(L'.'))
        return std::nullopt;
    rest.remove_prefix(1);

    const std::size_t hexDigits = DigitRun(rest, L"0123456789abcdef", 8);
    if (hexDigits == 0 || hexDigits >= rest.size() || rest[hexDigits] != L'-')
        return std::nullopt;
    const std::uint32_t processId =
        static_cast<std::uint32_t>(std::wcstoul(std::wstring(rest.substr(0, hexDigits)).c_str(), nullptr, 16));
    rest.remove_prefix(hexDigits + 1);

    const std::size_t decimalDigits = DigitRun(rest, L"0123456789", 2);
    if (decimalDigits == 0)
        return std::nullopt;
    const unsigned attempt =
        static_cast<unsigned>(std::wcstoul(std::wstring(rest.substr(0, decimalDigits)).c_str(), nullptr, 10));
    if (attempt > kLastTemporaryAttempt)
        return std::nullopt;

    // Written back, the parts must give the very name: no leading zeros, nothing after ".tmp".
    if (fileName.substr(targetName.size()) != TemporaryFileSuffix(processId, attempt))
        return std::nullopt;
    return processId;
}

void RemoveLeftoverTemporaryFiles(const PackageManifest& manifest, const std::wstring& destination,
                                  Platform& platform)
{
    for (std::int32_t i = 0; i <= manifest.LastFileIndex && i < static_cast<std::int32_t>(kFileCount); ++i) {
        const std::wstring& targetName = manifest.FileNames[static_cast<std::size_t>(i)];
        if (targetName.empty())
            continue;
        for (const std::wstring& name : platform.FindFiles(destination, targetName + L".*" + kTemporaryExtension)) {
            const auto writer = TemporaryFileWriter(name, targetName);
            // A writer that still runs may be another installer between writing and renaming.
            if (!writer || platform.IsProcessRunning(*writer))
                continue;
            platform.RemoveUnheldFile(destination + L"\\" + name);
        }
    }
}

} // namespace tazel
