#include "core/Installer.h"

#include <cstdint>

#include "core/Pause.h"
#include "core/TemporaryFiles.h"
#include "core/Text.h"

namespace tazel {
namespace {

constexpr wchar_t kCrLf[] = L"\r\n";

std::wstring NotFoundTitle(const std::wstring& path)
{
    return path + L" not found.";
}

// Eight capital hex digits for the report.
std::wstring EightHexDigits(std::uint32_t value)
{
    std::wstring digits = Digits(value, 16, 8);
    for (wchar_t& digit : digits)
        if (digit >= L'a')
            digit = static_cast<wchar_t>(digit - L'a' + L'A');
    return digits;
}

struct CopyFailure {
    bool trapArmed = false;
    Failure failure;
};

// The copy stage. Its failure trap is armed right after the first payload entry has been
// fetched: a failure before that point is not the copy stage's to report.
[[nodiscard]] std::expected<void, CopyFailure> InstallFiles(const PackageManifest& manifest,
                                                            const std::wstring& destination, Platform& platform)
{
    // What interrupted earlier runs left goes first; nothing about it can fail the run.
    RemoveLeftoverTemporaryFiles(manifest, destination, platform);

    bool trapArmed = false;
    for (std::int32_t i = 0; i <= manifest.LastFileIndex && i < static_cast<std::int32_t>(kFileCount); ++i) {
        const std::wstring target = destination + L"\\" + manifest.FileNames[static_cast<std::size_t>(i)];

        const auto payload = platform.LoadPayload(kFirstPayloadResourceId + i);
        if (!payload)
            return std::unexpected(CopyFailure{trapArmed, payload.error()});
        if (!trapArmed) {
            platform.ArmFailureTrap();
            trapArmed = true;
        }

        if (auto written = platform.WritePayloadFile(target, *payload); !written)
            return std::unexpected(CopyFailure{trapArmed, written.error()});
    }
    return {};
}

} // namespace

std::wstring WillNowExit(const std::wstring& firstLine, const std::wstring& installerName)
{
    return firstLine + kCrLf + installerName + L" will now exit.";
}

std::wstring DefaultDestination(std::wstring specialFolder)
{
    if (!specialFolder.empty() && specialFolder.back() == L'\\')
        specialFolder.pop_back();
    return specialFolder + kHostGraphicsFolder;
}

std::wstring GenericReportText(const Failure& failure)
{
    std::wstring text = L"Error " + Digits(failure.code, 10) + L" (0x" + EightHexDigits(failure.code) + L")";
    const std::wstring description = TrimTrailingBreaks(failure.description);
    if (!description.empty())
        text += std::wstring(L":") + kCrLf + description;
    return text;
}

RunOutcome FailureOutcome(bool trapArmed) noexcept
{
    return trapArmed ? RunOutcome::CopyFailed : RunOutcome::UnexpectedFailure;
}

FailureEnding EndingForFailure(const std::wstring& installerName, bool trapArmed, const Failure& failure)
{
    if (trapArmed)
        return {FailureOutcome(true), WillNowExit(L"Unexpected Error!", installerName), L"Error"};
    return {FailureOutcome(false), GenericReportText(failure), kApplicationTitle};
}

RunOutcome Main(PackageManifest manifest, Platform& platform)
{
    const auto fail = [&](bool trapArmed, const Failure& failure) {
        const FailureEnding ending = EndingForFailure(manifest.InstallerName, trapArmed, failure);
        platform.ShowMessage(ending.prompt, ending.title, Buttons::Ok);
        return ending.outcome;
    };

    if (!IsManifestUsable(manifest)) {
        platform.ShowMessage(L"No Embedded File Info!", kApplicationTitle, Buttons::Ok);
        return RunOutcome::NoEmbeddedFileInfo;
    }
    manifest.LastFileIndex = LastFileIndexFor(manifest.FileNames[0]);

    platform.SetPackageLine(manifest.DisplayName + kPackageLineSuffix);
    platform.ShowMainWindow();
    Delay(kPresentationPauseMs, platform.Clock());

    std::wstring destination = DefaultDestination(platform.SpecialFolderPath(kCommonAppDataFolderId));

    auto exists = platform.DirectoryExists(destination);
    if (!exists)
        return fail(false, exists.error());
    if (!*exists) {
        const std::wstring prompt = std::wstring(L"Default destination folder not found.") + kCrLf +
                                    L"Make sure Ombrix has already been installed." + kCrLf +
                                    L"Select OK to browse for Ombrix\\graphics folder or CANCEL to Exit.";
        if (platform.ShowMessage(prompt, NotFoundTitle(destination), Buttons::OkCancel) != BoxResult::Ok)
            return RunOutcome::Cancelled;

        destination = platform.BrowseForFolder(platform.MainWindowHandle());
        if (destination.empty()) {
            platform.ShowMessage(WillNowExit(L"No folder specified.", manifest.InstallerName), L"Folder not specified.",
                                 Buttons::Ok);
            return RunOutcome::NoFolderSpecified;
        }
    }

    // Tested again on every path: the picked folder has not been judged yet, and the default one
    // may have gone in the meantime.
    exists = platform.DirectoryExists(destination);
    if (!exists)
        return fail(false, exists.error());
    if (!*exists) {
        platform.ShowMessage(WillNowExit(L"Destination folder not found.", manifest.InstallerName),
                             NotFoundTitle(destination), Buttons::Ok);
        return RunOutcome::FolderNotFound;
    }

    if (const auto copied = InstallFiles(manifest, destination, platform); !copied)
        return fail(copied.error().trapArmed, copied.error().failure);

    platform.Beep();
    platform.ShowMessage(manifest.DisplayName + kInstalledSuffix, L"Success!", Buttons::Ok);
    return RunOutcome::Installed;
}

} // namespace tazel
