#include <gtest/gtest.h>

#include <functional>

#include "tests/packer/image/ImageFixture.h"

namespace tazel::pack::test {
namespace {

std::vector<SampleResource> Resources()
{
    return SampleResources(Pattern(672, 9));
}

void PutName(std::vector<std::byte>& stub, std::size_t at, std::string_view name)
{
    for (std::size_t i = 0; i < 8; ++i)
        stub[at + i] = static_cast<std::byte>(i < name.size() ? name[i] : '\0');
}

std::string NameAt(std::span<const std::byte> image, std::size_t at)
{
    std::string name;
    for (std::size_t i = 0; i < 8; ++i)
        name += static_cast<char>(image[at + i]);
    return name;
}

// The stub with its PE headers moved so that only 32 bytes are left after the section table.
void CrowdTheHeaders(std::vector<std::byte>& stub)
{
    const std::size_t length = kSectionTableAt + 80 - kPeAt;
    const std::size_t newAt = kPage - 32 - length;
    std::vector<std::byte> headers(stub.begin() + kPeAt, stub.begin() + kPeAt + length);
    std::fill(stub.begin() + kPeAt, stub.begin() + kPeAt + length, std::byte{0});
    std::ranges::copy(headers, stub.begin() + newAt);
    WriteU32(stub, 0x3C, static_cast<std::uint32_t>(newAt));
}

TEST(PeImageTest, RefusesEveryStubItCannotFinish)
{
    struct Case {
        const char* expected; // a part of the message
        std::function<void(std::vector<std::byte>&)> spoil;
    };
    const auto u16 = [](std::size_t at, std::uint16_t value) {
        return [=](std::vector<std::byte>& s) { WriteU16(s, at, value); };
    };
    const auto u32 = [](std::size_t at, std::uint32_t value) {
        return [=](std::vector<std::byte>& s) { WriteU32(s, at, value); };
    };
    const Case cases[] = {
        {"no MZ header", u16(0, 0x4D5A)},
        {"no PE signature at 0x80", u32(kPeAt, 0x00014550)},
        {"no PE signature at 0xfffff0", u32(0x3C, 0xFFFFF0)},
        {"machine 0x8664, not for i386", u16(kFileHeaderAt, 0x8664)},
        {"64-bit PE32+", u16(kOptionalAt, 0x020B)},
        {"signed (a certificate table of 2048 bytes)", u32(kDirectoriesAt + 8 * 4 + 4, 2048)},
        {"already has a resource directory", u32(kDirectoriesAt + 8 * 2, 0x3000)},
        {"already has a .rsrc section", [](auto& s) { PutName(s, kSectionTableAt + 40, ".rsrc"); }},
        {"file alignment is 0x200, not 0x1000", u32(kOptionalAt + 36, 0x200)},
        {"section 2 (.data) starts at RVA 0x3000, not 0x2000", u32(kSectionTableAt + 40 + 12, 0x3000)},
        {"section 2 (.data) runs to 0x4000, past the end of the file at 0x3000",
         u32(kSectionTableAt + 40 + 16, 0x2000)},
        {"the image size 0x4000 is not the sections' end 0x3000", u32(kOptionalAt + 56, 0x4000)},
        {"512 bytes after its last section (an overlay) at 0x3000", [](auto& s) { s.resize(s.size() + 512); }},
        {"no free room for one more section header", u32(kSectionTableAt + 80, 0x1234)},
        {"no free room for one more section header", CrowdTheHeaders},
    };
    for (const Case& c : cases) {
        std::vector<std::byte> stub = MinimalStub();
        c.spoil(stub);
        const auto parsed = ParseStub(stub);
        ASSERT_FALSE(parsed) << c.expected;
        EXPECT_NE(parsed.error().message.find(c.expected), std::string::npos) << parsed.error().message;
    }
    ASSERT_TRUE(ParseStub(MinimalStub())) << "the unspoilt stub";
}

TEST(PeImageTest, RefusesAStubCutShortAtAnyLength)
{
    // Each cut in an allocation of its own, so that a read past it is one past the allocation,
    // which the address sanitizer reports.
    const std::vector<std::byte> whole = MinimalStub();
    for (std::size_t length = 0; length < whole.size(); ++length) {
        const std::vector<std::byte> cut(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(length));
        const auto parsed = ParseStub(cut);
        ASSERT_FALSE(parsed) << length;
        // Before the PE signature ends the cut cannot be told from a header pointing elsewhere.
        const char* expected = length < 2                             ? "no MZ header"
                               : length >= 0x40 && length < kPeAt + 4 ? "no PE signature at 0x80"
                               : length < kPage                       ? "the stub is cut short"
                                                                      : "past the end of the file";
        EXPECT_NE(parsed.error().message.find(expected), std::string::npos) << length << ": " << parsed.error().message;
    }
}

TEST(PeImageTest, RefusesAnImageBeyondOneGibibyte)
{
    const std::vector<std::byte> bytes = MinimalStub();
    const auto stub = ParseStub(bytes);
    ASSERT_TRUE(stub);
    const auto refused = AddResourceSection(*stub, 0x40000000 - 3 * kPage + 1);
    ASSERT_FALSE(refused);
    EXPECT_NE(refused.error().message.find("would be 1073745920 bytes"), std::string::npos) << refused.error().message;
}

TEST(PeImageTest, RefusesResourcesTheLoaderCouldNotFind)
{
    const auto refusal = [](std::vector<Resource> resources) {
        const auto layout = LayOutResources(resources, 0x3000);
        return layout ? std::string("laid out") : layout.error().message;
    };
    EXPECT_EQ(refusal({{u"CUSTOM", std::uint16_t{101}, 1033, 1}, {u"custom", std::uint16_t{101}, 1033, 2}}),
              "two resources with type \"CUSTOM\", name 101, language 1033 (names are compared in upper case)");
    EXPECT_NE(refusal({{u"CUSTOM", std::uint16_t{0}, 1033, 1}}).find("cannot be number 0"), std::string::npos);
    EXPECT_NE(refusal({{u"", std::uint16_t{1}, 0, 1}}).find("empty name"), std::string::npos);
    EXPECT_NE(refusal({{u"CUST\u00d6M", std::uint16_t{1}, 0, 1}}).find("\"CUST\\u00d6M\" has characters beyond ASCII"),
              std::string::npos);
    // "AB" < "A_" in upper case, "a_" < "ab" in lower case; "#5" is what FindResource takes for 5.
    EXPECT_NE(refusal({{u"a_", std::uint16_t{1}, 0, 1}, {u"AB", std::uint16_t{1}, 0, 1}})
                  .find("\"AB\" and \"A_\" sort one way in upper case and the other in lower case"),
              std::string::npos);
    EXPECT_NE(refusal({{u"CUSTOM", u"#5", 0, 1}}).find("name \"#5\" starts with #"), std::string::npos);
    EXPECT_EQ(refusal({{u"CUSTOM", std::uint16_t{101}, 1033, 1}, {u"CUSTOM", std::uint16_t{101}, 0, 2}}), "laid out");
}

TEST(PeImageTest, FinishedImageCarriesEveryResourceInTheLoadersOrder)
{
    const std::vector<std::byte> stub = MinimalStub();
    const std::vector<SampleResource> resources = Resources();
    const auto image = Compose(stub, resources);
    ASSERT_TRUE(image) << image.error().message;
    const std::span<const std::byte> out(*image);

    // The section after the stub's last, a whole number of pages; the headers say so.
    const std::size_t rsrc = kSectionTableAt + 80;
    EXPECT_EQ(ReadU16(out, kFileHeaderAt + 2), 3);
    EXPECT_EQ(ReadU16(out, kFileHeaderAt + 18), 0x0102 | 0x0C00);
    EXPECT_EQ(NameAt(out, rsrc), std::string(".rsrc\0\0\0", 8));
    const std::uint32_t size = ReadU32(out, rsrc + 8);
    EXPECT_EQ(ReadU32(out, rsrc + 12), 0x3000u);
    EXPECT_EQ(ReadU32(out, rsrc + 16), AlignUp(size, kPage));
    EXPECT_EQ(ReadU32(out, rsrc + 20), 0x3000u);
    EXPECT_EQ(ReadU32(out, rsrc + 36), 0x40000040u);
    EXPECT_EQ(out.size(), 0x3000 + AlignUp(size, kPage));
    EXPECT_EQ(ReadU32(out, kOptionalAt + 56), AlignUp(0x3000 + size, kPage));
    EXPECT_EQ(ReadU32(out, kOptionalAt + 8), kPage + AlignUp(size, kPage));
    EXPECT_EQ(ReadU32(out, kDirectoriesAt + 16), 0x3000u);
    EXPECT_EQ(ReadU32(out, kDirectoriesAt + 20), size);
    EXPECT_TRUE(std::ranges::equal(out.subspan(kPage, 2 * kPage), std::span(stub).subspan(kPage, 2 * kPage)));

    // Named types and names first, in upper case and ascending; numbers ascending; each
    // resource's bytes 8-byte aligned and whole. The last number is the resource's place in
    // SampleResources.
    const std::tuple<ResourceId, ResourceId, std::uint16_t, std::size_t> expected[] = {
        {u"ALPHA", std::uint16_t{7}, 0, 17},
        {u"ALPHA", std::uint16_t{7}, 1033, 16},
        {u"ALPHA_B", std::uint16_t{7}, 0, 15},
        {u"CUSTOM", std::uint16_t{101}, 1033, 8},
        {u"CUSTOM", std::uint16_t{102}, 1033, 7},
        {u"CUSTOM", std::uint16_t{103}, 1033, 6},
        {u"CUSTOM", std::uint16_t{104}, 1033, 5},
        {u"CUSTOM", std::uint16_t{105}, 1033, 4},
        {u"CUSTOM", std::uint16_t{106}, 1033, 3},
        {u"CUSTOM", std::uint16_t{107}, 1033, 2},
        {u"CUSTOM", std::uint16_t{108}, 1033, 1},
        {u"ZETA", u"FIRST", 0x407, 14},
        {u"ZETA", u"SECOND", 0x407, 13},
        {std::uint16_t{3}, std::uint16_t{30001}, 0, 9},
        {std::uint16_t{10}, std::uint16_t{201}, 0, 11},
        {std::uint16_t{14}, std::uint16_t{1}, 0, 10},
        {std::uint16_t{16}, std::uint16_t{1}, 1033, 0},
        {std::uint16_t{24}, std::uint16_t{1}, 0, 12},
    };
    const std::vector<FoundResource> found = ReadResources(out);
    ASSERT_EQ(found.size(), std::size(expected));
    for (std::size_t i = 0; i < found.size(); ++i) {
        const auto& [type, name, language, given] = expected[i];
        EXPECT_EQ(std::tie(found[i].type, found[i].name, found[i].language), std::tie(type, name, language))
            << "entry " << i;
        EXPECT_EQ(found[i].rva % 8, 0u) << "entry " << i;
        EXPECT_EQ(found[i].data, resources[given].data) << "entry " << i;
    }

    // Sealed last, over the whole file; and the same input gives the same bytes.
    EXPECT_EQ(ReadU32(out, kOptionalAt + 64), ImageChecksum(out, kOptionalAt + 64));
    EXPECT_NE(ReadU32(out, kOptionalAt + 64), 0u);
    const auto again = Compose(stub, resources);
    ASSERT_TRUE(again);
    EXPECT_EQ(*again, *image);
}

TEST(PeImageTest, ChecksumFoldsEveryCarry)
{
    // Worked by hand: words 0xFFFF + 0xFFFF + 0x0002 = 0x20000, folded 0x0002; the checksum
    // field (bytes 2..5) is skipped; an odd last byte counts as a word of its own.
    const std::vector<std::byte> bytes = {std::byte{0xFF}, std::byte{0xFF}, std::byte{0x12},
                                          std::byte{0x34}, std::byte{0x56}, std::byte{0x78},
                                          std::byte{0xFF}, std::byte{0xFF}, std::byte{0x02}};
    EXPECT_EQ(ImageChecksum(bytes, 2), 0x0002u + 9u);
}

} // namespace
} // namespace tazel::pack::test
