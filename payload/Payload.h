#pragma once
// Payload entries: fetched from the executable's own resources, written to their files.

#include <windows.h>

#include "core/Expected.h"
#include <string>
#include <vector>

#include "core/Failure.h"
#include "core/Installer.h"
#include "core/PackageManifest.h"
#include "core/Platform.h"

namespace tazel::win32 {

// The package record the packer wrote into this executable. An executable without one (a stub
// no package was put into) gives an empty manifest, which the installation sequence refuses; a
// record that cannot be decoded, or whose own digest does not match, gives its fault, for the
// sequence to report a damaged installer; a failure to fetch it is a failure.
[[nodiscard]] Expected<StoredManifest, Failure> LoadPackageManifest();

// The whole stored bytes of payload resource `resourceId` (US English) of this executable, of the
// type of `storage`: "CUSTOM" for raw entries, "LZMA" for compressed ones. The view stays valid
// for the life of the process: the resource section is never unloaded.
[[nodiscard]] Expected<PayloadBytes, Failure> LoadPayload(int resourceId, PayloadStorage storage);

// The resource type entries of `storage` are in. The product's stub knows raw entries alone: for it
// every entry is "CUSTOM", so a record that says otherwise finds none.
[[nodiscard]] const wchar_t* PayloadResourceType(PayloadStorage storage) noexcept;

// The bytes compressed entry `stored` decodes to, valid until the next call: one entry's pages,
// given back before the next entry's are taken. Only the installer built with the decoder
// (payload/Decoding.cpp) can; the product's (payload/NoDecoding.cpp) refuses every compressed entry.
[[nodiscard]] Expected<PayloadBytes, Failure> DecodePayload(PayloadBytes stored);

// Afterwards the file at `path` holds exactly `bytes`, or, on failure, is as it was before:
// the bytes go to a temporary file beside it, which then replaces the target in one step.
// While another program holds the target for a moment, that step is retried for about two
// seconds, waiting on `clock`.
[[nodiscard]] Expected<void, Failure> WritePayloadFile(const std::wstring& path, PayloadBytes bytes, PauseClock& clock);

// Leftovers of interrupted runs, as the core's Platform describes them.
[[nodiscard]] std::vector<std::wstring> FindFiles(const std::wstring& folder, const std::wstring& pattern);
[[nodiscard]] bool IsProcessRunning(std::uint32_t processId) noexcept;
bool RemoveUnheldFile(const std::wstring& path);

} // namespace tazel::win32
