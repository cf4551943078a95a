#pragma once
// Little-endian byte assembly for the Windows file formats written here.

#include <cstddef>
#include <cstdint>
#include <vector>

namespace tazel::art {

using Bytes = std::vector<std::uint8_t>;

inline void PutU8(Bytes& out, std::uint32_t v) { out.push_back(static_cast<std::uint8_t>(v)); }

inline void PutU16(Bytes& out, std::uint32_t v) {
    PutU8(out, v);
    PutU8(out, v >> 8);
}

inline void PutU32(Bytes& out, std::uint32_t v) {
    PutU16(out, v);
    PutU16(out, v >> 16);
}

inline void PutZeros(Bytes& out, std::size_t count) { out.insert(out.end(), count, 0); }

} // namespace tazel::art
