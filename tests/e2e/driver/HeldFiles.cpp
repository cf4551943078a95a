#include "HeldFiles.h"

#include <algorithm>

#include "Json.h"

namespace tazel::e2e {
namespace {

// Whether the installer's temporary file for `path` is there now.
bool TemporaryFileOf(const std::wstring& path, DWORD processId)
{
    wchar_t suffix[32] = {};
    wsprintfW(suffix, L".%lx-*.tmp", processId);
    WIN32_FIND_DATAW entry = {};
    const win32::UniqueFind find(FindFirstFileW((path + suffix).c_str(), &entry));
    return static_cast<bool>(find);
}

} // namespace

bool HeldFiles::Hold(const std::wstring& path, int releaseAfterMs)
{
    // Shared for reading and writing, not for deleting: a rename onto the file has to wait.
    win32::UniqueFile handle(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                         OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!handle)
        return false;
    files_.push_back({path, std::move(handle), releaseAfterMs, 0});
    JsonLine("held").Text("path", path).Emit();
    return true;
}

void HeldFiles::Service(DWORD processId)
{
    for (HeldFile& held : files_) {
        if (!held.handle)
            continue;
        if (held.releaseAt == 0 && TemporaryFileOf(held.path, processId)) {
            held.releaseAt = GetTickCount64() + static_cast<ULONGLONG>(std::max(held.releaseAfterMs, 0));
            JsonLine("hold_touched").Text("path", held.path).Emit();
        }
        if (held.releaseAfterMs < 0 || held.releaseAt == 0 || GetTickCount64() < held.releaseAt)
            continue;
        // Still there: the installer has not put its file in place while the target was held.
        const bool waiting = TemporaryFileOf(held.path, processId);
        held.handle.reset();
        JsonLine("released").Text("path", held.path).Flag("waiting", waiting).Emit();
    }
}

} // namespace tazel::e2e
