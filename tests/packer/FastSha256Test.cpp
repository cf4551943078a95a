#include <gtest/gtest.h>

#include <cstddef>
#include <vector>

#include "packer/FastSha256.h"

namespace tazel::pack {
namespace {

// The processor's rounds must give the portable ones' digest for every length, whatever the
// split into whole blocks and the rest. On a processor without them both sides are the same code.
TEST(FastSha256Test, GivesThePortableDigestForEveryLength)
{
    std::vector<std::byte> bytes(1 << 20);
    std::uint32_t seed = 12345;
    for (std::byte& b : bytes) {
        seed = seed * 1103515245 + 12345;
        b = static_cast<std::byte>(seed >> 24);
    }
    for (std::size_t length : {0, 1, 55, 56, 63, 64, 65, 127, 128, 129, 1000, 4096, 65537, 1 << 20})
        EXPECT_EQ(FastSha256Of(std::span(bytes).first(length)), Sha256Of(std::span(bytes).first(length))) << length;
    if (!AcceleratedSha256Blocks())
        GTEST_SKIP() << "this processor has no SHA instructions: only the portable rounds ran";
}

} // namespace
} // namespace tazel::pack
