#include <gtest/gtest.h>

#include "core/FolderRules.h"

namespace tazel {
namespace {

TEST(FolderRulesTest, DoubledSeparatorCountsOnlyAfterTheFirstCharacter)
{
    EXPECT_FALSE(HasDoubledSeparator(L""));
    EXPECT_FALSE(HasDoubledSeparator(L"\\"));
    EXPECT_FALSE(HasDoubledSeparator(L"\\\\"));
    EXPECT_FALSE(HasDoubledSeparator(L"\\\\server\\share\\Ombrix\\graphics"));
    EXPECT_FALSE(HasDoubledSeparator(L"C:\\ProgramData\\Ombrix\\graphics"));
    EXPECT_FALSE(HasDoubledSeparator(L"D:\\"));

    EXPECT_TRUE(HasDoubledSeparator(L"C:\\ProgramData\\\\Ombrix\\graphics"));
    EXPECT_TRUE(HasDoubledSeparator(L"\\\\\\server\\share"));
    EXPECT_TRUE(HasDoubledSeparator(L"\\\\server\\\\share"));
    EXPECT_TRUE(HasDoubledSeparator(L"C:\\graphics\\\\"));
    EXPECT_TRUE(HasDoubledSeparator(L"x\\\\"));
}

TEST(FolderRulesTest, BufferTextEndsAtTheFirstNul)
{
    std::wstring buffer(kShellPathBufferLength, L'\0');
    EXPECT_EQ(CutAtFirstNul(buffer), L"");

    buffer.replace(0, 7, L"C:\\Data");
    buffer[9] = L'x'; // left over beyond the terminator
    EXPECT_EQ(CutAtFirstNul(buffer), L"C:\\Data");

    std::wstring longest(kShellPathBufferLength, L'\0');
    std::fill(longest.begin(), longest.end() - 1, L'a');
    EXPECT_EQ(CutAtFirstNul(longest).size(), 259u);

    EXPECT_EQ(CutAtFirstNul(L"no terminator"), L"no terminator");
}

TEST(FolderRulesTest, ExtendedLengthPathNamesEveryKindOfFullPath)
{
    const std::pair<const wchar_t*, const wchar_t*> rows[] = {
        {L"C:\\ProgramData\\Ombrix\\graphics\\Tazel.dek", L"\\\\?\\C:\\ProgramData\\Ombrix\\graphics\\Tazel.dek"},
        {L"d:\\", L"\\\\?\\d:\\"},
        {L"\\\\server\\share\\graphics\\Tazel.dek", L"\\\\?\\UNC\\server\\share\\graphics\\Tazel.dek"},
        {L"\\\\.\\C:\\graphics\\Tazel.dek", L"\\\\?\\C:\\graphics\\Tazel.dek"},
        {L"\\\\.\\UNC\\server\\share\\Tazel.dek", L"\\\\?\\UNC\\server\\share\\Tazel.dek"},
        {L"\\\\?\\C:\\graphics\\Tazel.dek", L"\\\\?\\C:\\graphics\\Tazel.dek"},
    };
    for (const auto& [full, extended] : rows)
        EXPECT_EQ(ExtendedLengthPath(full), extended) << full;
}

TEST(FolderRulesTest, ExtendedLengthPathRefusesWhatIsNotFull)
{
    // Each would name another file, or none, once the prefix turns off the system's reading.
    for (const wchar_t* path :
         {L"", L"C:Tazel.dek", L"graphics\\Tazel.dek", L"\\graphics\\Tazel.dek", L"//server/share/Tazel.dek",
          L"C:/graphics/Tazel.dek", L"C:\\graphics/Tazel.dek", L"\\\\server", L"\\\\server\\",
          L"\\\\\\share\\Tazel.dek", L"C:\\graphics\\..\\Tazel.dek", L"C:\\graphics\\.", L"C:\\graphics\\\\Tazel.dek",
          L"\\\\.\\"})
        EXPECT_EQ(ExtendedLengthPath(path), std::nullopt) << path;
}

} // namespace
} // namespace tazel
