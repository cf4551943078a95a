#include "core/Sha256.h"

#include <algorithm>

namespace tazel {

// The round constants. Writable, and of external linkage so the compiler keeps them so, on
// purpose: the installer's sections are page-aligned in its file, and these 256 bytes would tip
// its read-only data into another 4 KB page, while its writable data has room to spare.
std::array<std::uint32_t, 64> sha256RoundConstants = {
    0x428a2f98, 0x71374491, 0xb5c0fbcf, 0xe9b5dba5, 0x3956c25b, 0x59f111f1, 0x923f82a4, 0xab1c5ed5,
    0xd807aa98, 0x12835b01, 0x243185be, 0x550c7dc3, 0x72be5d74, 0x80deb1fe, 0x9bdc06a7, 0xc19bf174,
    0xe49b69c1, 0xefbe4786, 0x0fc19dc6, 0x240ca1cc, 0x2de92c6f, 0x4a7484aa, 0x5cb0a9dc, 0x76f988da,
    0x983e5152, 0xa831c66d, 0xb00327c8, 0xbf597fc7, 0xc6e00bf3, 0xd5a79147, 0x06ca6351, 0x14292967,
    0x27b70a85, 0x2e1b2138, 0x4d2c6dfc, 0x53380d13, 0x650a7354, 0x766a0abb, 0x81c2c92e, 0x92722c85,
    0xa2bfe8a1, 0xa81a664b, 0xc24b8b70, 0xc76c51a3, 0xd192e819, 0xd6990624, 0xf40e3585, 0x106aa070,
    0x19a4c116, 0x1e376c08, 0x2748774c, 0x34b0bcb5, 0x391c0cb3, 0x4ed8aa4a, 0x5b9cca4f, 0x682e6ff3,
    0x748f82ee, 0x78a5636f, 0x84c87814, 0x8cc70208, 0x90befffa, 0xa4506ceb, 0xbef9a3f7, 0xc67178f2,
};

namespace {

constexpr std::uint32_t Rotate(std::uint32_t value, int bits)
{
    return (value >> bits) | (value << (32 - bits));
}

std::uint32_t BigEndian(const std::byte* at)
{
    return (static_cast<std::uint32_t>(at[0]) << 24) | (static_cast<std::uint32_t>(at[1]) << 16) |
           (static_cast<std::uint32_t>(at[2]) << 8) | static_cast<std::uint32_t>(at[3]);
}

} // namespace

Sha256::Sha256(Sha256Blocks blocks)
    : state_{0x6a09e667, 0xbb67ae85, 0x3c6ef372, 0xa54ff53a, 0x510e527f, 0x9b05688c, 0x1f83d9ab, 0x5be0cd19},
      blocks_(blocks)
{
}

void Sha256::Compress(const std::byte* block)
{
    std::uint32_t w[64];
    for (int i = 0; i < 16; ++i)
        w[i] = BigEndian(block + 4 * i);
    for (int i = 16; i < 64; ++i) {
        const std::uint32_t s0 = Rotate(w[i - 15], 7) ^ Rotate(w[i - 15], 18) ^ (w[i - 15] >> 3);
        const std::uint32_t s1 = Rotate(w[i - 2], 17) ^ Rotate(w[i - 2], 19) ^ (w[i - 2] >> 10);
        w[i] = w[i - 16] + s0 + w[i - 7] + s1;
    }
    std::uint32_t a = state_[0], b = state_[1], c = state_[2], d = state_[3];
    std::uint32_t e = state_[4], f = state_[5], g = state_[6], h = state_[7];
    for (int i = 0; i < 64; ++i) {
        const std::uint32_t t1 = h + (Rotate(e, 6) ^ Rotate(e, 11) ^ Rotate(e, 25)) + ((e & f) ^ (~e & g)) +
                                 sha256RoundConstants[static_cast<std::size_t>(i)] + w[i];
        const std::uint32_t t2 = (Rotate(a, 2) ^ Rotate(a, 13) ^ Rotate(a, 22)) + ((a & b) ^ (a & c) ^ (b & c));
        h = g;
        g = f;
        f = e;
        e = d + t1;
        d = c;
        c = b;
        b = a;
        a = t1 + t2;
    }
    state_[0] += a;
    state_[1] += b;
    state_[2] += c;
    state_[3] += d;
    state_[4] += e;
    state_[5] += f;
    state_[6] += g;
    state_[7] += h;
}

void Sha256::Add(std::span<const std::byte> bytes)
{
    totalBytes_ += bytes.size();
    if (pendingSize_ > 0) {
        const std::size_t taken = std::min(bytes.size(), pending_.size() - pendingSize_);
        std::copy_n(bytes.begin(), taken, pending_.begin() + static_cast<std::ptrdiff_t>(pendingSize_));
        pendingSize_ += taken;
        bytes = bytes.subspan(taken);
        if (pendingSize_ < pending_.size())
            return;
        Compress(pending_.data());
        pendingSize_ = 0;
    }
    // Whole blocks straight from the caller's bytes: no copy for the bulk of an entry.
    if (blocks_ && bytes.size() >= pending_.size()) {
        const std::size_t count = bytes.size() / pending_.size();
        blocks_(state_.data(), bytes.data(), count);
        bytes = bytes.subspan(count * pending_.size());
    }
    while (bytes.size() >= pending_.size()) {
        Compress(bytes.data());
        bytes = bytes.subspan(pending_.size());
    }
    std::copy(std::begin(bytes), std::end(bytes), pending_.begin());
    pendingSize_ = bytes.size();
}

Sha256Digest Sha256::Finish()
{
    const std::uint64_t bits = totalBytes_ * 8;
    // A 1 bit, zeros up to 8 bytes short of a block's end, then the length in bits.
    std::array<std::byte, 72> padding = {};
    padding[0] = std::byte{0x80};
    const std::size_t zeros = (pendingSize_ < 56 ? 56 : 120) - pendingSize_;
    for (int i = 0; i < 8; ++i)
        padding[zeros + static_cast<std::size_t>(i)] = static_cast<std::byte>((bits >> (56 - 8 * i)) & 0xFF);
    Add(std::span(padding).first(zeros + 8));

    Sha256Digest digest;
    for (std::size_t i = 0; i < state_.size(); ++i)
        for (std::size_t j = 0; j < 4; ++j)
            digest[4 * i + j] = static_cast<std::byte>((state_[i] >> (24 - 8 * j)) & 0xFF);
    return digest;
}

Sha256Digest Sha256Of(std::span<const std::byte> bytes, Sha256Blocks blocks)
{
    Sha256 sha(blocks);
    sha.Add(bytes);
    return sha.Finish();
}

} // namespace tazel
