#pragma once
// Little-endian fields read and written byte by byte, for every binary format here (the package
// record, coded entries, the executable image, icons, bitmaps): they are little-endian whatever
// the machine, and a struct laid over the bytes would depend on the compiler's packing.

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>
#include <type_traits>
#include <vector>

namespace tazel {

// std::byte, or an 8-bit integer as a drawing program's buffers hold.
template <typename T>
concept ByteLike = sizeof(T) == 1 && (std::is_same_v<T, std::byte> || std::is_integral_v<T>);

[[nodiscard]] inline std::uint16_t ReadU16(std::span<const std::byte> bytes, std::size_t at)
{
    return static_cast<std::uint16_t>(std::to_integer<unsigned>(bytes[at]) | std::to_integer<unsigned>(bytes[at + 1])
                                                                                 << 8);
}

[[nodiscard]] inline std::uint32_t ReadU32(std::span<const std::byte> bytes, std::size_t at)
{
    return static_cast<std::uint32_t>(ReadU16(bytes, at)) | static_cast<std::uint32_t>(ReadU16(bytes, at + 2)) << 16;
}

inline void WriteU16(std::span<std::byte> bytes, std::size_t at, std::uint16_t value)
{
    bytes[at] = static_cast<std::byte>(value & 0xFF);
    bytes[at + 1] = static_cast<std::byte>(value >> 8);
}

inline void WriteU32(std::span<std::byte> bytes, std::size_t at, std::uint32_t value)
{
    WriteU16(bytes, at, static_cast<std::uint16_t>(value & 0xFFFF));
    WriteU16(bytes, at + 2, static_cast<std::uint16_t>(value >> 16));
}

template <ByteLike Byte>
void AppendU16(std::vector<Byte>& out, std::uint16_t value)
{
    out.push_back(static_cast<Byte>(value & 0xFF));
    out.push_back(static_cast<Byte>(value >> 8));
}

template <ByteLike Byte>
void AppendU32(std::vector<Byte>& out, std::uint32_t value)
{
    AppendU16(out, static_cast<std::uint16_t>(value & 0xFFFF));
    AppendU16(out, static_cast<std::uint16_t>(value >> 16));
}

inline void AppendUtf16(std::vector<std::byte>& out, std::u16string_view text)
{
    for (const char16_t unit : text)
        AppendU16(out, static_cast<std::uint16_t>(unit));
}

// `value` rounded up to a multiple of `alignment`, a power of two.
[[nodiscard]] constexpr std::uint64_t AlignUp(std::uint64_t value, std::uint64_t alignment)
{
    return (value + alignment - 1) & ~(alignment - 1);
}

} // namespace tazel
