#pragma once
// The installer under test as a process: started from its own folder, as a double click in a file
// manager starts it, watched for its end, and ended when the script has to stop.

#include <windows.h>

#include <string>
#include <vector>

#include "Script.h"
#include "platform/Owners.h"

namespace tazel::e2e {

class InstallerProcess {
public:
    InstallerProcess() = default;
    InstallerProcess(const InstallerProcess&) = delete;
    InstallerProcess& operator=(const InstallerProcess&) = delete;

    // Starts the script's installer; false, reported, when it could not be started or the files
    // to occupy could not be made.
    bool Start(const Script& script);

    HANDLE handle() const noexcept { return process_.get(); }
    DWORD id() const noexcept { return id_; }
    bool Exited() const;
    // Ends the installer at once unless it has ended already; reports its exit either way.
    void Kill();
    void ReportExit(bool killed);

private:
    bool Occupy(const std::vector<std::wstring>& targets);

    win32::UniqueHandle process_;
    DWORD id_ = 0;
};

} // namespace tazel::e2e
