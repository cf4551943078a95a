#include "core/TemporaryFiles.h"

#include "core/Text.h"

namespace tazel {
namespace {

constexpr wchar_t kTemporaryExtension[] = L".tmp";

struct Number {
    std::uint32_t value = 0;
    std::size_t length = 0;
};

// The number that `text` starts with: 1 to `longest` digits of `base`, no more.
std::optional<Number> LeadingNumber(std::wstring_view text, std::uint32_t base, std::size_t longest)
{
    // Lower case only, as a run writes them.
    const std::wstring_view digits(kDigitChars, base);
    Number number;
    for (; number.length < text.size(); ++number.length) {
        const std::size_t digit = digits.find(text[number.length]);
        if (digit == std::wstring_view::npos)
            break;
        if (number.length == longest)
            return std::nullopt;
        number.value = number.value * base + static_cast<std::uint32_t>(digit);
    }
    if (number.length == 0)
        return std::nullopt;
    return number;
}

} // namespace

std::wstring TemporaryFileSuffix(std::uint32_t processId, unsigned attempt)
{
    return L"." + Digits(processId, 16) + L"-" + Digits(attempt, 10) + kTemporaryExtension;
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

    // Id 0 is the system's idle process, never an installer's: such a name is nobody's leftover.
    const auto processId = LeadingNumber(rest, 16, 8);
    if (!processId || processId->value == 0 || !rest.substr(processId->length).starts_with(L'-'))
        return std::nullopt;
    rest.remove_prefix(processId->length + 1);
    const auto attempt = LeadingNumber(rest, 10, 2);
    if (!attempt || attempt->value > kLastTemporaryAttempt)
        return std::nullopt;

    // Written back, the parts must give the very name: no leading zeros, nothing after ".tmp".
    if (fileName.substr(targetName.size()) != TemporaryFileSuffix(processId->value, attempt->value))
        return std::nullopt;
    return processId->value;
}

void RemoveLeftoverTemporaryFiles(const PackageManifest& manifest, const std::wstring& destination, Platform& platform)
{
    for (std::int32_t i = 0; i <= manifest.LastFileIndex && i < static_cast<std::int32_t>(kFileCount); ++i) {
        // A file without a name has no temporary files: TemporaryFileWriter refuses every name for it.
        const std::wstring& targetName = manifest.FileNames[static_cast<std::size_t>(i)];
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
