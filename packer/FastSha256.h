#pragma once
// The packer's SHA-256: the core's, with whole blocks run through the processor's SHA
// instructions where it has them (most x86 processors since 2017), so recording the digests
// costs a packing a few milliseconds rather than twenty. The installer keeps the portable rounds.

#include <span>

#include "core/Sha256.h"

namespace tazel::pack {

// The processor's way, or none where it has no SHA instructions.
[[nodiscard]] Sha256Blocks AcceleratedSha256Blocks() noexcept;

[[nodiscard]] inline Sha256Digest FastSha256Of(std::span<const std::byte> bytes)
{
    return Sha256Of(bytes, AcceleratedSha256Blocks());
}

} // namespace tazel::pack
