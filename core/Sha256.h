#pragma once
// SHA-256, the digest the packer records of each payload entry and of the package record, and
// the installer checks before it asks or writes anything.
//
// Why SHA-256 and not the CRC-32 of other installers: a CRC catches a burst of damage but lets
// some changes through, while no accidental change of the bytes (a bad download, a faulty disk,
// a tool rewriting the file) passes a SHA-256 check. Written here once, portably, so the packer
// (on Linux and Windows) and the installer compute it with the same code; the system's CNG would
// tie the installer's check to Windows' (and Wine's) bcrypt and is not there for the Linux packer.

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

namespace tazel {

using Sha256Digest = std::array<std::byte, 32>;

// The 64 round constants, for the packer's processor-specific rounds too.
extern std::array<std::uint32_t, 64> sha256RoundConstants;

// A faster way to run whole 64-byte blocks through the state (the packer's, with the processor's
// SHA instructions); it must give what the portable rounds give.
using Sha256Blocks = void (*)(std::uint32_t* state, const std::byte* blocks, std::size_t count);

// A digest computed piece by piece: Add any number of times, then Finish once.
class Sha256 {
public:
    explicit Sha256(Sha256Blocks blocks = nullptr);

    void Add(std::span<const std::byte> bytes);
    [[nodiscard]] Sha256Digest Finish();

private:
    void Compress(const std::byte* block);

    std::array<std::uint32_t, 8> state_;
    std::array<std::byte, 64> pending_ = {};
    std::size_t pendingSize_ = 0;
    std::uint64_t totalBytes_ = 0;
    Sha256Blocks blocks_;
};

[[nodiscard]] Sha256Digest Sha256Of(std::span<const std::byte> bytes, Sha256Blocks blocks = nullptr);

} // namespace tazel
