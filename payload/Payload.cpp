#include "payload/Payload.h"

#include "core/PackageManifest.h"
#include "platform/Owners.h"
#include "platform/Resources.h"
#include "platform/Win32Error.h"

namespace tazel::win32 {
namespace {

// A path in the form that lifts the MAX_PATH limit: made absolute and normalised first (which
// also folds a doubled separator such as the one in "D:\\Tazel.dek"), then given the "\\?\" prefix.
[[nodiscard]] std::expected<std::wstring, Failure> ExtendedPath(const std::wstring& path)
{
    const DWORD needed = GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
    if (needed == 0)
        return std::unexpected(LastErrorFailure());
    std::wstring full(needed, L'\0');
    const DWORD length = GetFullPathNameW(path.c_str(), needed, full.data(), nullptr);
    if (length == 0 || length >= needed)
        return std::unexpected(LastErrorFailure());
    full.resize(length);

    if (full.starts_with(L"\\\\?\\"))
        return full;
    if (full.starts_with(L"\\\\"))
        return L"\\\\?\\UNC\\" + full.substr(2);
    return L"\\\\?\\" + full;
}

// Creates a new, empty file beside the target under a name no other file has.
[[nodiscard]] std::expected<std::pair<UniqueFile, std::wstring>, Failure> CreateTemporaryBeside(
    const std::wstring& target)
{
    const DWORD process = GetCurrentProcessId();
    for (unsigned attempt = 0;; ++attempt) {
        wchar_t suffix[48] = {};
        wsprintfW(suffix, L".%lx-%u.tmp", process, attempt);
        std::wstring name = target + suffix;
        UniqueFile file(CreateFileW(name.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                    FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
        if (file)
            return std::pair{std::move(file), std::move(name)};
        const DWORD error = GetLastError();
        if ((error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS) || attempt >= 16)
            return std::unexpected(Win32Failure(error));
    }
}

} // namespace

std::expected<PayloadBytes, Failure> LoadPayload(int resourceId)
{
    return ResourceBytes(GetModuleHandleW(nullptr), kPayloadResourceType, MAKEINTRESOURCEW(resourceId),
                         MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US));
}

std::expected<void, Failure> WritePayloadFile(const std::wstring& path, PayloadBytes bytes)
{
    const auto target = ExtendedPath(path);
    if (!target)
        return std::unexpected(target.error());

    // A read-only file, or a folder, of the target's name is refused as Windows refuses to open
    // it for writing; checked here because a rename would otherwise replace it regardless.
    const DWORD attributes = GetFileAttributesW(target->c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES &&
        (attributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DIRECTORY)) != 0)
        return std::unexpected(Win32Failure(ERROR_ACCESS_DENIED));

    auto created = CreateTemporaryBeside(*target);
    if (!created)
        return std::unexpected(created.error());
    // Declared first so it is removed only after the handle below has been closed.
    TemporaryFile temporary(std::move(created->second));
    UniqueFile file = std::move(created->first);

    DWORD written = 0;
    if (!WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr))
        return std::unexpected(LastErrorFailure());
    if (written != bytes.size())
        return std::unexpected(Win32Failure(ERROR_WRITE_FAULT));
    // On the disk before the old file goes: a crash right after the rename must not leave an empty file.
    if (!FlushFileBuffers(file.get()))
        return std::unexpected(LastErrorFailure());
    file.reset();

    if (!MoveFileExW(temporary.path().c_str(), target->c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return std::unexpected(LastErrorFailure());
    temporary.release();
    return {};
}

} // namespace tazel::win32
