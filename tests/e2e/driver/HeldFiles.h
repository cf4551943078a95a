#pragma once
// Files the driver keeps open while the installer writes them, as a virus scanner or the game
// might: the hold=PATH[,MS] action.

#include <windows.h>

#include <string>
#include <vector>

#include "platform/Owners.h"

namespace tazel::e2e {

class HeldFiles {
public:
    HeldFiles() = default;
    HeldFiles(const HeldFiles&) = delete;
    HeldFiles& operator=(const HeldFiles&) = delete;

    // Opens the existing file and keeps it until the driver ends, or with releaseAfterMs of 0 or
    // more until that long after the installer's temporary file for it has appeared. Reports the
    // hold; false when the file cannot be opened.
    bool Hold(const std::wstring& path, int releaseAfterMs);
    // Called while the driver waits: notes the installer's temporary files as they appear and
    // lets go of the files whose time has come.
    void Service(DWORD processId);

private:
    struct HeldFile {
        std::wstring path;
        win32::UniqueFile handle;
        int releaseAfterMs = -1; // -1: until the driver ends
        ULONGLONG releaseAt = 0; // set once the installer's temporary file has appeared
    };

    std::vector<HeldFile> files_;
};

} // namespace tazel::e2e
