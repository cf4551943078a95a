#pragma once
// What an installer made by the package maker carries, read back from its file without running it:
//
//     tazelpack --inspect INSTALLER
//
// Prints its names, kind, version, company and copyright, whether it is compressed, and each file
// in order with its size and SHA-256 as installed (decoded, when compressed), then whether the
// package record and every payload entry match their digests, by the installer's own check
// (core/PayloadCheck.h). Anything that is not such an installer is refused in one line.

#include <string>

#include "packer/programs/Commands.h"

namespace tazel::pack {

// Exit statuses of an inspection besides kPacked (intact), kRefused (not such an installer, or
// not readable) and kUsage.
inline constexpr int kDamaged = 3;

// Inspects the installer at `installer` (UTF-8, as given) and gives the exit status.
[[nodiscard]] int InspectCommand(const std::string& installer);

} // namespace tazel::pack
