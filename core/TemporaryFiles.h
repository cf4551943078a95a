#pragma once
// The temporary files a run writes beside each target before it takes the target's place, and
// the removal of those an interrupted earlier run left behind.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "core/PackageManifest.h"
#include "core/Platform.h"

namespace tazel {

// A run names its temporary file for a target "<target>.<process id in hex>-<attempt>.tmp";
// the attempt counts up from 0 while the name is taken, up to this.
inline constexpr unsigned kLastTemporaryAttempt = 16;

// The longest suffix a run adds, ".ffffffff-16.tmp", and the most UTF-16 units Windows holds in
// one name: a package's file names may be at most the difference long, or their temporary files
// cannot be written. The package description checks (tools/package, and the packer through
// core/NameRules.h) read both numbers from here.
inline constexpr std::size_t kLongestTemporarySuffix = 16;
inline constexpr std::size_t kLongestNameComponent = 255;

// ".<process id in lower-case hex>-<attempt in decimal>.tmp"
[[nodiscard]] std::wstring TemporaryFileSuffix(std::uint32_t processId, unsigned attempt);

// The process id in `fileName` when it is exactly a temporary file's name for `targetName`
// as a run writes it; nothing for every other name.
[[nodiscard]] std::optional<std::uint32_t> TemporaryFileWriter(std::wstring_view fileName,
                                                               std::wstring_view targetName);

// Removes from `destination` the temporary files left for the targets this run writes, each
// only when the process that wrote it no longer runs and nobody holds the file open. Nothing
// else is touched; what cannot be removed stays, for a later run.
void RemoveLeftoverTemporaryFiles(const PackageManifest& manifest, const std::wstring& destination, Platform& platform);

} // namespace tazel
