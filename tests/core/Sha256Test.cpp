#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

#include "core/Sha256.h"

namespace tazel {
namespace {

std::string Hex(const Sha256Digest& digest)
{
    std::string text;
    for (const std::byte b : digest) {
        text += "0123456789abcdef"[static_cast<unsigned>(b) >> 4];
        text += "0123456789abcdef"[static_cast<unsigned>(b) & 0xF];
    }
    return text;
}

std::span<const std::byte> Bytes(std::string_view text)
{
    return std::as_bytes(std::span(text.data(), text.size()));
}

// The examples of FIPS 180-4 and NIST's test vectors: the empty message, one block, a message
// whose padding takes a second block (56 bytes), two blocks, and a million "a".
TEST(Sha256Test, GivesTheStandardsDigests)
{
    const std::pair<std::string, const char*> vectors[] = {
        {"", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
        {"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
        {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
         "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
        {"abcdefghbcdefghicdefghijdefghijkefghijklfghijklmghijklmnhijklmnoijklmnopjklmnopqklmnopqrlmnopqrsmnopqrstnopqr"
         "stu",
         "cf5b16a778af8380036ce59e7b0492370b249b11e8f07a51afac45037afee9d1"},
        {std::string(1'000'000, 'a'), "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
    };
    for (const auto& [message, expected] : vectors)
        EXPECT_EQ(Hex(Sha256Of(Bytes(message))), expected) << message.size();
}

TEST(Sha256Test, PiecesOfAnySizeGiveTheWholesDigest)
{
    // Pieces that end inside a block, on its edge and across several, as the installer's steps do.
    const std::string message(1'000'000, 'a');
    const std::size_t sizes[] = {1, 63, 64, 65, 0, 200, 4096, 7};
    Sha256 sha;
    std::size_t at = 0;
    for (std::size_t i = 0; at < message.size(); ++i) {
        const std::size_t size = std::min(sizes[i % std::size(sizes)], message.size() - at);
        sha.Add(Bytes(std::string_view(message).substr(at, size)));
        at += size;
    }
    EXPECT_EQ(Hex(sha.Finish()), "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0");
}

} // namespace
} // namespace tazel
