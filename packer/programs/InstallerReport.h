#pragma once
// `tazelpack --inspect INSTALLER`: what an installer the package maker made carries, and whether
// its record and payload match their digests by the installer's own check (core/PayloadCheck.h),
// read from its file without running it. Anything else is refused in one line.

#include <string>

#include "packer/programs/Commands.h"

namespace tazel::pack {

// The exit status of a damaged installer; an intact one is kPacked, anything else kRefused.
inline constexpr int kDamaged = 3;

// Inspects the installer at `installer` (UTF-8, as given) and gives the exit status.
[[nodiscard]] int InspectCommand(const std::string& installer);

} // namespace tazel::pack
