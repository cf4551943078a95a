#include <gtest/gtest.h>

#include <span>
#include <vector>

#include "core/ManifestFormat.h"
#include "core/PackageManifest.h"

namespace tazel {
namespace {

TEST(ManifestTest, KindRuleReadsOnlyTheLastThreeCharactersExactly)
{
    const std::pair<const wchar_t*, std::int32_t> cases[] = {
        {L"Tazel.dek", 7}, {L"Tazeldek", 7}, {L"dek", 7},     {L"Tazel.fac", 4}, {L"fac", 4},
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

TEST(ManifestTest, RecordCarriesEveryTextAsWritten)
{
    // An astral character (two UTF-16 units), a quote, a backslash; an empty first name travels too.
    const PackageManifest written{L"T\u00e0zelF\u00e4ces", L"T\u00e0zel \"F\u00e4ces\" \\ \xD83C\xDCA1",
                                  {L"", L"Face0.cbx", L"Face1.cbx"}, 0};
    const auto read = DecodePackageRecord(EncodePackageRecord(written));
    ASSERT_TRUE(read.has_value());
    EXPECT_EQ(read->InstallerName, written.InstallerName);
    EXPECT_EQ(read->DisplayName, written.DisplayName);
    EXPECT_EQ(read->FileNames, written.FileNames);
}

TEST(ManifestTest, DamagedRecordIsRefusedWhole)
{
    const PackageManifest deck{L"TazelDeck", L"Tazel Deck",
                               {L"Tazel.dek", L"Tazel0.cbx", L"Tazel1.cbx", L"Tazel2.cbx", L"Tazel3.cbx",
                                L"Tazel4.cbx", L"Tazel5.cbx", L"Tazel6.cbx"}, 0};
    const std::vector<std::byte> good = EncodePackageRecord(deck);
    // Cut anywhere, the record is refused, and never read past its end.
    for (std::size_t length = 0; length < good.size(); ++length)
        EXPECT_FALSE(DecodePackageRecord(std::span(good).first(length))) << length;

    auto nine = good;
    const std::byte name[] = {std::byte{3}, std::byte{0}, std::byte{2}, std::byte{0}, std::byte{0},
                              std::byte{0}, std::byte{'x'}, std::byte{0}};
    nine.insert(nine.end(), std::begin(name), std::end(name));
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
}

} // namespace
} // namespace tazel
