#include "core/Installer.h"

#include <cstdint>

#include "core/Messages.h"
#include "core/Pause.h"
#include "core/PayloadCheck.h"
#include "core/TemporaryFiles.h"
#include "core/Text.h"

namespace tazel {
namespace {

constexpr wchar_t kCrLf[] = L"\r\n";

std::wstring NotFoundTitle(const std::wstring& path)
{
    return path + messages::kNotFoundSuffix;
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

// ERROR_FILE_CORRUPT: no system call failed, the installer's own file is not as it was made.
constexpr std::uint32_t kDamagedCode = 1392;

struct CopyFailure {
    bool trapArmed = false;
    Failure failure;
};

// The copy stage. Its failure trap is armed right after the first payload entry has been
// fetched: a failure before that point is not the copy stage's to report.
[[nodiscard]] Expected<void, CopyFailure> InstallFiles(const PackageManifest& manifest, const std::wstring& destination,
                                                       Platform& platform)
{
    // What interrupted earlier runs left goes first; nothing about it can fail the run.
    RemoveLeftoverTemporaryFiles(manifest, destination, platform);

    bool trapArmed = false;
    for (std::int32_t i = 0; i <= manifest.LastFileIndex && i < static_cast<std::int32_t>(kFileCount); ++i) {
        const std::wstring target = destination + L"\\" + manifest.FileNames[static_cast<std::size_t>(i)];

        const auto payload = platform.LoadPayload(kFirstPayloadResourceId + i, manifest.Storage);
        if (!payload)
            return Unexpected(CopyFailure{trapArmed, payload.error()});
        if (!trapArmed) {
            platform.ArmFailureTrap();
            trapArmed = true;
        }
        PayloadBytes bytes = *payload;
        // A compressed entry is decoded as its turn comes: one entry in memory at a time.
        if (manifest.Storage != PayloadStorage::Raw) {
            const auto decoded = platform.DecodePayload(bytes);
            if (!decoded)
                return Unexpected(CopyFailure{trapArmed, decoded.error()});
            bytes = *decoded;
        }

        if (auto written = platform.WritePayloadFile(target, bytes); !written)
            return Unexpected(CopyFailure{trapArmed, written.error()});
    }
    return {};
}

} // namespace

std::wstring WillNowExit(const std::wstring& firstLine, const std::wstring& installerName)
{
    return firstLine + kCrLf + installerName + messages::kWillNowExitSuffix;
}

std::wstring DefaultDestination(std::wstring specialFolder)
{
    if (!specialFolder.empty() && specialFolder.back() == L'\\')
        specialFolder.pop_back();
    return specialFolder + kGameGraphicsFolder;
}

std::wstring GenericReportText(const Failure& failure)
{
    std::wstring text =
        messages::kErrorPrefix + Digits(failure.code, 10) + L" (0x" + EightHexDigits(failure.code) + L")";
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
        return {FailureOutcome(true), WillNowExit(messages::kUnexpectedError, installerName),
                messages::kUnexpectedErrorTitle};
    return {FailureOutcome(false), GenericReportText(failure), kApplicationTitle};
}

FailureEnding DamagedInstallerEnding(const std::wstring& installerName)
{
    const std::wstring copyOf = installerName.empty() ? std::wstring(messages::kThisInstaller) : installerName;
    const Failure damaged{kDamagedCode, messages::kDamagedReport + copyOf + L"."};
    return {RunOutcome::Damaged, GenericReportText(damaged), kApplicationTitle};
}

RunOutcome Main(StoredManifest stored, Platform& platform)
{
    const auto end = [&](const FailureEnding& ending) {
        platform.ShowMessage(ending.prompt, ending.title, Buttons::Ok);
        return ending.outcome;
    };
    if (!stored)
        return end(DamagedInstallerEnding(L""));
    PackageManifest& manifest = *stored;
    const auto fail = [&](bool trapArmed, const Failure& failure) {
        return end(EndingForFailure(manifest.InstallerName, trapArmed, failure));
    };

    if (!IsManifestUsable(manifest)) {
        platform.ShowMessage(messages::kNoEmbeddedFileInfo, kApplicationTitle, Buttons::Ok);
        return RunOutcome::NoEmbeddedFileInfo;
    }
    manifest.LastFileIndex = LastFileIndexFor(manifest.FileNames[0]);

    platform.SetPackageLine(manifest.DisplayName + kPackageLineSuffix);
    platform.ShowMainWindow();
    // The payload is checked while the window stands in its pause: hashing the deck takes some
    // 20 ms in 32-bit code, more than the run may spend on it outright. Whatever the pause leaves
    // is checked right after it, still before any question or file.
    PayloadCheck check(manifest, platform);
    Delay(kPresentationPauseMs, platform.Clock(), &check);
    while (check.Step()) {}
    if (check.failure())
        return fail(false, *check.failure());
    if (check.damaged())
        return end(DamagedInstallerEnding(manifest.InstallerName));

    std::wstring destination = DefaultDestination(platform.SpecialFolderPath(kCommonAppDataFolderId));

    auto exists = platform.DirectoryExists(destination);
    if (!exists)
        return fail(false, exists.error());
    if (!*exists) {
        if (platform.ShowMessage(messages::kDefaultFolderMissing, NotFoundTitle(destination), Buttons::OkCancel) !=
            BoxResult::Ok)
            return RunOutcome::Cancelled;

        destination = platform.BrowseForFolder(platform.MainWindowHandle());
        if (destination.empty()) {
            platform.ShowMessage(WillNowExit(messages::kNoFolderSpecified, manifest.InstallerName),
                                 messages::kNoFolderSpecifiedTitle, Buttons::Ok);
            return RunOutcome::NoFolderSpecified;
        }
    }

    // Tested again on every path: the picked folder has not been judged yet, and the default one
    // may have gone in the meantime.
    exists = platform.DirectoryExists(destination);
    if (!exists)
        return fail(false, exists.error());
    if (!*exists) {
        platform.ShowMessage(WillNowExit(messages::kDestinationNotFound, manifest.InstallerName),
                             NotFoundTitle(destination), Buttons::Ok);
        return RunOutcome::FolderNotFound;
    }

    if (const auto copied = InstallFiles(manifest, destination, platform); !copied)
        return fail(copied.error().trapArmed, copied.error().failure);

    platform.Beep();
    platform.ShowMessage(manifest.DisplayName + kInstalledSuffix, messages::kSuccessTitle, Buttons::Ok);
    return RunOutcome::Installed;
}

} // namespace tazel
