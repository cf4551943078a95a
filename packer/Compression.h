#pragma once
// Compressing a package's entries as the installer's decoder reads them (core/CodedEntry.h).

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "packer/PackError.h"

namespace tazel::pack {

// The stored form of each source, in order. A bitmap goes through the delta filter at its row's
// length, which turns its rows into their differences from the row below: LZMA then stores a
// card's flat areas and gradients in far fewer bytes. Entries of some size are cut in two chunks,
// so the installer decodes each half on a processor of its own. The chunks of all the entries
// are compressed over the machine's processors.
[[nodiscard]] Expected<std::vector<std::vector<std::byte>>>
CompressEntries(std::span<const std::span<const std::byte>> sources);

// The delta filter's distance for these bytes: a bitmap's row length, else 0 (none).
[[nodiscard]] std::uint32_t DeltaDistanceFor(std::span<const std::byte> bytes) noexcept;

} // namespace tazel::pack
