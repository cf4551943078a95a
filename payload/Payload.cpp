#include "payload/Payload.h"

#include <ntstatus.h>

#include "core/BusyRetry.h"
#include "core/FolderRules.h"
#include "core/ManifestFormat.h"
#include "core/PackageManifest.h"
#include "core/TemporaryFiles.h"
#include "platform/Marks.h"
#include "platform/Owners.h"
#include "platform/Resources.h"
#include "platform/Win32Error.h"

// ntdll's, exported since Windows XP and declared in no header of this toolchain: the NTSTATUS
// that the thread's last failed system call gave, which its Win32 error code may blur.
extern "C" NTSYSAPI NTSTATUS NTAPI RtlGetLastNtStatus();

namespace tazel::win32 {

// The core judges failures by its own copies of these numbers.
static_assert(kErrorAccessDenied == ERROR_ACCESS_DENIED);
static_assert(kErrorSharingViolation == ERROR_SHARING_VIOLATION);
static_assert(kErrorLockViolation == ERROR_LOCK_VIOLATION);
static_assert(kStatusDeletePending == static_cast<std::uint32_t>(STATUS_DELETE_PENDING));

namespace {

// A path in the form that lifts the MAX_PATH limit: made absolute and normalised first (which
// also folds a doubled separator such as the one in "D:\\Tazel.dek"), then given the "\\?\" prefix.
[[nodiscard]] Expected<std::wstring, Failure> ExtendedPath(const std::wstring& path)
{
    const DWORD needed = GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
    if (needed == 0)
        return Unexpected(LastErrorFailure());
    std::wstring full(needed, L'\0');
    const DWORD length = GetFullPathNameW(path.c_str(), needed, full.data(), nullptr);
    if (length == 0 || length >= needed)
        return Unexpected(LastErrorFailure());
    full.resize(length);
    // GetFullPathNameW gives a full path; should it not, no file is named rather than another one.
    auto extended = ExtendedLengthPath(full);
    if (!extended)
        return Unexpected(Win32Failure(ERROR_BAD_PATHNAME));
    return std::move(*extended);
}

// A read-only file, or a folder, of the target's name: Windows refuses to replace either, and
// waiting does not change that.
[[nodiscard]] bool IsUnreplaceable(const std::wstring& target) noexcept
{
    const DWORD attributes = GetFileAttributesW(target.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES &&
           (attributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DIRECTORY)) != 0;
}

// Opens the target for deletion, sharing everything with whoever has it open, and closes it
// again at once: fills in what tells a held target from a forbidden one, the error and its
// status, when that fails. A link is probed itself, as the rename would replace the link.
void DeleteProbe(const std::wstring& target, FailedReplace& failure) noexcept
{
    const UniqueFile probe(CreateFileW(target.c_str(), DELETE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                       nullptr, OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (probe)
        return;
    failure.deleteProbeError = GetLastError();
    failure.deleteProbeStatus = static_cast<std::uint32_t>(RtlGetLastNtStatus());
}

// What a failed rename onto `target` says about waiting for it.
[[nodiscard]] TryResult JudgeRenameFailure(DWORD error, const std::wstring& target) noexcept
{
    FailedReplace failure;
    failure.renameError = error;
    if (error == ERROR_ACCESS_DENIED) {
        failure.targetReadOnlyOrFolder = IsUnreplaceable(target);
        if (!failure.targetReadOnlyOrFolder)
            DeleteProbe(target, failure);
    }
    return JudgeFailedReplace(failure);
}

// Creates a new, empty file beside the target under a name no other file has.
[[nodiscard]] Expected<std::pair<UniqueFile, std::wstring>, Failure> CreateTemporaryBeside(const std::wstring& target)
{
    const DWORD process = GetCurrentProcessId();
    for (unsigned attempt = 0;; ++attempt) {
        std::wstring name = target + TemporaryFileSuffix(process, attempt);
        // Open until the file has its final name, so that no other run takes it for a leftover
        // (those are removed only when nobody holds them); shared for deleting alone, which the
        // rename below needs.
        UniqueFile file(CreateFileW(name.c_str(), GENERIC_WRITE, FILE_SHARE_DELETE, nullptr, CREATE_NEW,
                                    FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
        if (file)
            return std::pair{std::move(file), std::move(name)};
        const DWORD error = GetLastError();
        if ((error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS) || attempt >= kLastTemporaryAttempt)
            return Unexpected(Win32Failure(error));
    }
}

} // namespace

Expected<StoredManifest, Failure> LoadPackageManifest()
{
    const HMODULE self = GetModuleHandleW(nullptr);
    const WORD neutral = MAKELANGID(LANG_NEUTRAL, SUBLANG_NEUTRAL);
    // Only a record that is not there at all (a stub, with no resources) is "no package"; one
    // that is there but cannot be read is a failure, reported as such.
    if (!FindResourceExW(self, kPackageRecordResourceType, MAKEINTRESOURCEW(kPackageRecordResourceId), neutral)) {
        const DWORD code = GetLastError();
        if (code == ERROR_RESOURCE_DATA_NOT_FOUND || code == ERROR_RESOURCE_TYPE_NOT_FOUND ||
            code == ERROR_RESOURCE_NAME_NOT_FOUND)
            return PackageManifest{};
        return Unexpected(Win32Failure(code));
    }
    const auto stored =
        ResourceBytes(self, kPackageRecordResourceType, MAKEINTRESOURCEW(kPackageRecordResourceId), neutral);
    if (!stored)
        return Unexpected(stored.error());
    return DecodePackageRecord(*stored);
}

Expected<PayloadBytes, Failure> LoadPayload(int resourceId, PayloadStorage storage)
{
    return ResourceBytes(GetModuleHandleW(nullptr), PayloadResourceType(storage), MAKEINTRESOURCEW(resourceId),
                         MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US));
}

Expected<void, Failure> WritePayloadFile(const std::wstring& path, PayloadBytes bytes, PauseClock& clock)
{
    const auto target = ExtendedPath(path);
    if (!target)
        return Unexpected(target.error());

    // A read-only file, or a folder, of the target's name is refused as Windows refuses to open
    // it for writing; checked here because Wine's rename would replace a read-only file regardless.
    if (IsUnreplaceable(*target))
        return Unexpected(Win32Failure(ERROR_ACCESS_DENIED));

    auto created = CreateTemporaryBeside(*target);
    if (!created)
        return Unexpected(created.error());
    // Declared first so it is removed only after the handle below has been closed.
    TemporaryFile temporary(std::move(created->second));
    UniqueFile file = std::move(created->first);

    DWORD written = 0;
    if (!WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr))
        return Unexpected(LastErrorFailure());
    if (written != bytes.size())
        return Unexpected(Win32Failure(ERROR_WRITE_FAULT));
    // On the disk before the old file goes: a crash right after the rename must not leave an empty file.
    if (const Mark mark("flush"); !FlushFileBuffers(file.get()))
        return Unexpected(LastErrorFailure());

    DWORD error = ERROR_SUCCESS;
    const TryResult renamed = RetryWhileBusy(
        [&] {
            if (MoveFileExW(temporary.path().c_str(), target->c_str(),
                            MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
                return TryResult::Done;
            error = GetLastError();
            return JudgeRenameFailure(error, *target);
        },
        clock);
    if (renamed != TryResult::Done)
        return Unexpected(Win32Failure(error != ERROR_SUCCESS ? error : ERROR_GEN_FAILURE));
    temporary.release();
    return {};
}

std::vector<std::wstring> FindFiles(const std::wstring& folder, const std::wstring& pattern)
{
    std::vector<std::wstring> names;
    const auto search = ExtendedPath(folder + L"\\" + pattern);
    if (!search)
        return names;
    WIN32_FIND_DATAW entry = {};
    // The plain search, which every Windows the installer runs on takes; Vista refuses the
    // lighter FindExInfoBasic, and the graphics folder is small.
    const UniqueFind find(FindFirstFileW(search->c_str(), &entry));
    if (!find)
        return names;
    do {
        // Folders and links are never a run's temporary files.
        if ((entry.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) == 0)
            names.emplace_back(entry.cFileName);
    } while (FindNextFileW(find.get(), &entry));
    return names;
}

bool IsProcessRunning(std::uint32_t processId) noexcept
{
    const UniqueHandle process(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, processId));
    if (!process) {
        // Windows answers an id no process has with an invalid parameter; any other refusal,
        // such as another user's process, means there is one.
        return GetLastError() != ERROR_INVALID_PARAMETER;
    }
    // A process that has ended stays openable while anyone holds a handle to it.
    DWORD exitCode = 0;
    return !GetExitCodeProcess(process.get(), &exitCode) || exitCode == STILL_ACTIVE;
}

bool RemoveUnheldFile(const std::wstring& path)
{
    const auto file = ExtendedPath(path);
    if (!file)
        return false;
    // Opening with no sharing at all fails while any other handle to the file is open, and
    // deleting on close then leaves no moment in which another program could open it.
    // A link is removed itself, never what it points to.
    UniqueFile handle(CreateFileW(file->c_str(), DELETE, 0, nullptr, OPEN_EXISTING,
                                  FILE_FLAG_DELETE_ON_CLOSE | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    return static_cast<bool>(handle);
}

} // namespace tazel::win32
