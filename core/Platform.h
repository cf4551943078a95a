#pragma once
// The one narrow interface through which the installation sequence reaches the system.
// The Win32 host implements it; the unit tests replace it with a scripted fake.

#include "core/Expected.h"
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "core/Failure.h"
#include "core/PackageManifest.h"
#include "core/Pause.h"
#include "core/PayloadCheck.h"

namespace tazel {

// A native window handle, carried opaquely so the core never sees <windows.h>.
using WindowHandle = std::uintptr_t;

enum class Buttons : int { Ok = 0, OkCancel = 1 };
enum class BoxResult : int { Ok = 1, Cancel = 2 };

// The payload's entries come through PayloadSource::LoadPayload, the integrity check's source.
class Platform : public PayloadSource {
public:
    virtual ~Platform() = default;

    // The main window: created hidden at the start, shown once the manifest is usable.
    virtual void SetPackageLine(const std::wstring& text) = 0;
    virtual void ShowMainWindow() = 0;
    virtual WindowHandle MainWindowHandle() = 0;

    // The clock and the event queue the pause runs on.
    virtual PauseClock& Clock() = 0;

    // Destination folder services. SpecialFolderPath swallows every failure into empty text;
    // DirectoryExists fails only when it cannot ask the file system at all.
    [[nodiscard]] virtual std::wstring SpecialFolderPath(std::int32_t folderId) = 0;
    [[nodiscard]] virtual Expected<bool, Failure> DirectoryExists(const std::wstring& path) = 0;
    [[nodiscard]] virtual std::wstring BrowseForFolder(WindowHandle owner) = 0;

    // Payload entries and the files they become. LoadPayload (of PayloadSource) gives an entry's
    // stored bytes, in the resource type of its storage, which the executable's resource section
    // owns; DecodePayload the bytes a compressed entry decodes to, a view valid until its next
    // call, which holds one entry at a time.
    [[nodiscard]] virtual Expected<PayloadBytes, Failure> DecodePayload(PayloadBytes stored) = 0;
    [[nodiscard]] virtual Expected<void, Failure> WritePayloadFile(const std::wstring& path, PayloadBytes bytes) = 0;

    // The copy stage's failure trap is armed: from here on, a failure that cannot come back as a
    // value (the system running out of memory) ends the run as a failed copy.
    virtual void ArmFailureTrap() = 0;

    // What an interrupted earlier run may have left. FindFiles gives the names of the files (not
    // folders) directly in `folder` that the file system matches with the wildcard `pattern`,
    // a coarse match the caller judges name by name; nothing when the folder cannot be read.
    [[nodiscard]] virtual std::vector<std::wstring> FindFiles(const std::wstring& folder,
                                                              const std::wstring& pattern) = 0;
    // True while a process of this id runs, and whenever that cannot be told.
    [[nodiscard]] virtual bool IsProcessRunning(std::uint32_t processId) = 0;
    // Deletes the file unless anyone holds it open; false when it stays.
    virtual bool RemoveUnheldFile(const std::wstring& path) = 0;

    // Talking to the user.
    virtual BoxResult ShowMessage(const std::wstring& prompt, const std::wstring& title, Buttons buttons) = 0;
    virtual void Beep() = 0;
};

} // namespace tazel
