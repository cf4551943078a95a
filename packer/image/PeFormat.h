#pragma once
// The parts of the PE/COFF layout the package maker writes and reads, as offset tables: the writer
// (PeImage.cpp, ResourceSection.cpp) and the reader (ImageReader.cpp) take them from here alone.

#include <cstddef>
#include <cstdint>
#include <string>

#include "core/Text.h"

namespace tazel::pack::pe {

// The COFF file header, after the "PE\0\0" signature:
//   0 machine (2)  2 number of sections (2)  4 time stamp (4)  16 size of optional header (2)
//   18 characteristics (2); 20 bytes in all.
inline constexpr std::size_t kFileHeaderSize = 20;
inline constexpr std::uint16_t kMachineI386 = 0x014C;
inline constexpr std::uint16_t kRemovableRunFromSwap = 0x0400; // characteristics
inline constexpr std::uint16_t kNetRunFromSwap = 0x0800;

// The optional header (PE32), from its magic; the data directories follow its 96 fixed bytes.
inline constexpr std::size_t kOptionalHeaderFixedSize = 96;
inline constexpr std::uint16_t kMagicPe32 = 0x010B;
inline constexpr std::uint16_t kMagicPe32Plus = 0x020B;
inline constexpr std::size_t kSizeOfInitializedData = 8;
inline constexpr std::size_t kSectionAlignment = 32;
inline constexpr std::size_t kFileAlignment = 36;
inline constexpr std::size_t kSizeOfImage = 56;
inline constexpr std::size_t kSizeOfHeaders = 60;
inline constexpr std::size_t kCheckSum = 64;
inline constexpr std::size_t kNumberOfRvaAndSizes = 92;
// Data directories, 8 bytes each (RVA, size), by index.
inline constexpr std::uint32_t kResourceDirectory = 2;
inline constexpr std::uint32_t kSecurityDirectory = 4;

// A section header: 0 name (8)  8 virtual size (4)  12 RVA (4)  16 raw size (4)  20 raw offset (4)
// 36 characteristics (4); 40 bytes in all.
inline constexpr std::size_t kSectionHeaderSize = 40;
inline constexpr std::uint32_t kResourceSectionFlags = 0x40000040; // initialised data, readable
inline constexpr char kResourceSectionName[] = ".rsrc";

// The resource directory: a table (16 bytes: ..., 12 named entries (2), 14 numbered entries (2)),
// its entries (8 bytes: a name's offset or an id, then an offset), and the data entries at the
// leaves (16 bytes: 0 RVA (4), 4 size (4), ...). kHighBit marks a name, and an offset to a table.
inline constexpr std::uint64_t kTableSize = 16;
inline constexpr std::uint64_t kEntrySize = 8;
inline constexpr std::uint64_t kDataEntrySize = 16;
inline constexpr std::uint32_t kHighBit = 0x80000000;

// "0x" and lower-case hex digits, as the messages write offsets.
[[nodiscard]] inline std::string Hex(std::uint64_t value)
{
    return "0x" + HexDigits(value);
}

} // namespace tazel::pack::pe
