#pragma once
// The byte buffers the art files are assembled in; their fields are written with the project's one
// little-endian writer.

#include <cstddef>
#include <cstdint>
#include <vector>

#include "core/LittleEndian.h"

namespace tazel::art {

using Bytes = std::vector<std::uint8_t>;

inline void PutU8(Bytes& out, std::uint32_t v)
{
    out.push_back(static_cast<std::uint8_t>(v));
}

inline void PutZeros(Bytes& out, std::size_t count)
{
    out.insert(out.end(), count, 0);
}

} // namespace tazel::art
