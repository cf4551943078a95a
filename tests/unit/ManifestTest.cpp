#include <gtest/gtest.h>

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

} // namespace
} // namespace tazel
