#include <gtest/gtest.h>

#include <span>
#include <string_view>
#include <vector>

#include "core/ManifestFormat.h"
#include "core/PackageManifest.h"
#include "core/Sha256.h"

namespace tazel {
namespace {

TEST(ManifestTest, KindRuleReadsOnlyTheLastThreeCharactersExactly)
{
    const std::pair<const wchar_t*, std::int32_t> cases[] = {
        {L"Tazel.dek", 7}, {L"Tazeldek", 7},  {L"dek", 7},       {L"Tazel.fac", 4},  {L"fac", 4},
        {L"Tazel.DEK", 0}, {L"Tazel.Dek", 0}, {L"Tazel.FAC", 0}, {L"Tazel.dek ", 0}, {L"ek", 0},
        {L"k", 0},         {L"", 0},          {L"deck", 0},      {L"dekfac", 4},     {L"facdek", 7},
    };
    for (const auto& [name, expected] : cases)
        EXPECT_EQ(LastFileIndexFor(name), expected) << std::wstring(name).size();
}

TEST(ManifestTest, UsableOnlyWithAFirstFileName)
{
    PackageManifest manifest;
    EXPECT_FALSE(IsManifestUsable(manifest));
    manifest.FileNames[1] = L"Tazel0.cbx";
    EXPECT_FALSE(IsManifestUsable(manifest));
    manifest.FileNames[0] = L"x";
    EXPECT_TRUE(IsManifestUsable(manifest));
}

Sha256Digest DigestOf(std::string_view text)
{
    return Sha256Of(std::as_bytes(std::span(text.data(), text.size())));
}

TEST(ManifestTest, RecordCarriesEveryTextAndDigestAsWritten)
{
    // An astral character (two UTF-16 units), a quote, a backslash; an empty first name travels
    // too, and so does an entry's digest past the last name.
    PackageManifest written{
        L"T\u00e0zelF\u00e4ces", L"T\u00e0zel \"F\u00e4ces\" \\ \xD83C\xDCA1", {L"", L"Face0.cbx", L"Face1.cbx"}, 0};
    written.PayloadDigests[0] = DigestOf("entry 0");
    written.PayloadDigests[2] = DigestOf("entry 2");
    written.PayloadDigests[7] = DigestOf("entry 7");
    written.Storage = PayloadStorage::Lzma;
    const auto read = DecodePackageRecord(EncodePackageRecord(written));
    ASSERT_TRUE(read.has_value());
    EXPECT_EQ(read->InstallerName, written.InstallerName);
    EXPECT_EQ(read->DisplayName, written.DisplayName);
    EXPECT_EQ(read->FileNames, written.FileNames);
    EXPECT_EQ(read->PayloadDigests, written.PayloadDigests);
    EXPECT_EQ(read->Storage, PayloadStorage::Lzma);
}

TEST(ManifestTest, DamagedRecordIsRefusedWhole)
{
    const PackageManifest deck{L"TazelDeck",
                               L"Tazel Deck",
                               {L"Tazel.dek", L"Tazel0.cbx", L"Tazel1.cbx", L"Tazel2.cbx", L"Tazel3.cbx", L"Tazel4.cbx",
                                L"Tazel5.cbx", L"Tazel6.cbx"},
                               0};
    const std::vector<std::byte> good = EncodePackageRecord(deck);
    // Cut anywhere, the record is refused, and never read past its end.
    for (std::size_t length = 0; length < good.size(); ++length)
        EXPECT_FALSE(DecodePackageRecord(std::span(good).first(length))) << length;

    // A ninth name, where the names end and the record's own digest begins.
    constexpr std::size_t kRecordDigestField = 6 + 32;
    auto nine = good;
    const std::byte name[] = {std::byte{3}, std::byte{0}, std::byte{2},   std::byte{0},
                              std::byte{0}, std::byte{0}, std::byte{'x'}, std::byte{0}};
    nine.insert(nine.end() - kRecordDigestField, std::begin(name), std::end(name));
    EXPECT_EQ(DecodePackageRecord(nine).error(), RecordFault::TooManyFiles);

    auto unknown = good;
    unknown[8] = std::byte{9}; // the first field's tag
    EXPECT_EQ(DecodePackageRecord(unknown).error(), RecordFault::UnknownField);
    auto huge = good;
    huge[13] = std::byte{0x7F}; // the first field's length
    EXPECT_EQ(DecodePackageRecord(huge).error(), RecordFault::Truncated);
    auto odd = good;
    odd[10] = std::byte{17};
    EXPECT_EQ(DecodePackageRecord(odd).error(), RecordFault::BadText);
    auto other = good;
    other[0] = std::byte{'M'};
    EXPECT_EQ(DecodePackageRecord(other).error(), RecordFault::NotARecord);
    for (const auto version : {std::byte{1}, std::byte{2}}) { // before the digests, before the storage
        auto older = good;
        older[4] = version;
        EXPECT_EQ(DecodePackageRecord(older).error(), RecordFault::NotARecord);
    }
    auto storage = good;
    storage[7] = std::byte{2}; // a way of storing the entries there is not
    EXPECT_EQ(DecodePackageRecord(storage).error(), RecordFault::BadStorage);
    auto trailing = good;
    trailing.push_back(std::byte{0});
    EXPECT_EQ(DecodePackageRecord(trailing).error(), RecordFault::UnknownField);
    // The last name's field tagged as the record's digest: a name short of what the header says.
    auto early = good;
    early[good.size() - kRecordDigestField - (6 + 20)] = std::byte{5};
    EXPECT_EQ(DecodePackageRecord(early).error(), RecordFault::Truncated);
    auto shortDigest = good;
    shortDigest[good.size() - kRecordDigestField + 2] = std::byte{31}; // its length
    shortDigest.pop_back();
    EXPECT_EQ(DecodePackageRecord(shortDigest).error(), RecordFault::BadDigest);

    // Any one byte changed, the record is refused; inside a text, which the format alone cannot
    // tell from another, it is the record's own digest that finds it.
    for (std::size_t at = 0; at < good.size(); ++at) {
        auto flipped = good;
        flipped[at] ^= std::byte{0x01};
        EXPECT_FALSE(DecodePackageRecord(flipped)) << at;
    }
    auto renamed = good;
    renamed[14] ^= std::byte{0x01}; // the installer name's first character
    EXPECT_EQ(DecodePackageRecord(renamed).error(), RecordFault::Damaged);
}

TEST(ManifestTest, DigestsOutOfRangeOrderOrSizeAreRefused)
{
    PackageManifest deck{L"TazelDeck", L"Tazel Deck", {L"Tazel.dek", L"Tazel0.cbx"}, 0};
    deck.PayloadDigests[0] = DigestOf("entry 0");
    deck.PayloadDigests[1] = DigestOf("entry 1");
    const std::vector<std::byte> good = EncodePackageRecord(deck);
    // The two entries' fields stand right before the record's own digest.
    const std::size_t second = good.size() - (6 + 32) - (6 + 2 + 32);
    const std::size_t first = second - (6 + 2 + 32);

    auto repeated = good;
    repeated[second + 6] = std::byte{0}; // entry 0 again
    auto beyond = good;
    beyond[second + 6] = std::byte{8}; // an entry no installer has
    auto shorter = good;
    shorter[first + 2] = std::byte{33}; // the first digest field one byte short
    for (const auto& bad : {repeated, beyond, shorter})
        EXPECT_EQ(DecodePackageRecord(bad).error(), RecordFault::BadDigest);
}

} // namespace
} // namespace tazel
