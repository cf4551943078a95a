#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>

#include "FakePlatform.h"
#include "core/BusyRetry.h"
#include "core/Installer.h"
#include "core/TemporaryFiles.h"
#include "core/Text.h"

namespace tazel {
namespace {

using testing::DeckManifest;
using testing::FakePlatform;

const std::wstring kFolder = L"C:\\ProgramData\\Ombrix\\graphics";

TEST(BusyRetryTest, TriesAgainWithGrowingWaitsWhileBusy)
{
    FakePlatform platform;
    std::vector<TryResult> answers = {TryResult::Busy, TryResult::Busy, TryResult::Busy, TryResult::Done};
    std::size_t tries = 0;
    EXPECT_EQ(RetryWhileBusy([&] { return answers[tries++]; }, platform.Clock()), TryResult::Done);
    EXPECT_EQ(tries, 4u);
    EXPECT_EQ(platform.delays, (std::vector<std::int32_t>{20, 40, 80}));
}

TEST(BusyRetryTest, GivesUpAfterAboutTwoSecondsAndAtOnceWhenRefused)
{
    FakePlatform busy;
    int tries = 0;
    EXPECT_EQ(RetryWhileBusy([&] { return ++tries, TryResult::Busy; }, busy.Clock()), TryResult::Busy);
    EXPECT_EQ(tries, 8);
    EXPECT_TRUE(std::is_sorted(busy.delays.begin(), busy.delays.end()));
    EXPECT_EQ(std::accumulate(busy.delays.begin(), busy.delays.end(), 0), 2000);

    FakePlatform refused;
    tries = 0;
    EXPECT_EQ(RetryWhileBusy([&] { return ++tries, TryResult::Refused; }, refused.Clock()), TryResult::Refused);
    EXPECT_EQ(tries, 1);
    EXPECT_TRUE(refused.delays.empty());
}

TEST(BusyRetryTest, FailedReplaceIsWaitedOnOnlyWhileItMayPass)
{
    // As Windows answers on NTFS: the rename's error, then after "access denied" what opening the
    // target for deletion with full sharing gave.
    struct Row {
        FailedReplace failure;
        TryResult expected;
        const char* what;
    };
    const Row rows[] = {
        {{kErrorSharingViolation}, TryResult::Busy, "the temporary file or the target held by a scanner"},
        {{kErrorLockViolation}, TryResult::Busy, "a range of the target locked"},
        {{kErrorAccessDenied, false, kErrorSharingViolation}, TryResult::Busy, "held without delete sharing"},
        {{kErrorAccessDenied, false, 0}, TryResult::Busy, "let go between the rename and the probe (and Wine)"},
        {{kErrorAccessDenied, false, 2}, TryResult::Busy, "the target gone between the rename and the probe"},
        {{kErrorAccessDenied, false, kErrorAccessDenied}, TryResult::Refused, "another account's file"},
        {{kErrorAccessDenied, false, kErrorAccessDenied, kStatusDeletePending},
         TryResult::Busy,
         "deleted while still held"},
        {{kErrorAccessDenied, true, 0}, TryResult::Refused, "a read-only file or a folder"},
        {{112}, TryResult::Refused, "the disk full"},
        {{3}, TryResult::Refused, "the folder gone"},
    };
    for (const Row& row : rows)
        EXPECT_EQ(JudgeFailedReplace(row.failure), row.expected) << row.what;
}

TEST(TemporaryFilesTest, NameIsReadBackOnlyInTheSpellingARunWrites)
{
    EXPECT_EQ(L"Tazel4.cbx" + TemporaryFileSuffix(0x1a2b, 3), L"Tazel4.cbx.1a2b-3.tmp");
    EXPECT_EQ(TemporaryFileWriter(L"Tazel4.cbx.1a2b-3.tmp", L"Tazel4.cbx"), 0x1a2bu);
    EXPECT_EQ(TemporaryFileWriter(L"Tazel4.cbx.ffffffff-16.tmp", L"Tazel4.cbx"), 0xffffffffu);
    // The longest suffix, which bounds the package's file names.
    EXPECT_EQ(TemporaryFileSuffix(0xffffffffu, kLastTemporaryAttempt).size(), kLongestTemporarySuffix);
    for (const wchar_t* stranger :
         {L"Tazel4.cbx.1a2b-3.tmp.bak", L"Tazel4.cbx.1a2b-3.TMP", L"tazel4.cbx.1a2b-3.tmp", L"Tazel4.cbx.1A2B-3.tmp",
          L"Tazel4.cbx.01a2b-3.tmp", L"Tazel4.cbx.1a2b-03.tmp", L"Tazel4.cbx.1a2b-17.tmp", L"Tazel4.cbx.1a2b-.tmp",
          L"Tazel4.cbx.-3.tmp", L"Tazel4.cbx.123456789-3.tmp", L"Tazel4.cbx.backup.tmp", L"Tazel4.cbx.1a2b.tmp",
          L"Tazel4.cbx1a2b-3.tmp", L"Tazel4.cbx", L"Tazel4.cbx.1a2b-3", L"Tazel40.cbx.1a2b-3.tmp",
          L"Tazel4.cbx.0-3.tmp"})
        EXPECT_EQ(TemporaryFileWriter(stranger, L"Tazel4.cbx"), std::nullopt) << stranger;
    EXPECT_EQ(TemporaryFileWriter(L".1a2b-3.tmp", L""), std::nullopt);
}

TEST(TemporaryFilesTest, DigitsPadToAnyWidthAndRefuseAnUnknownBase)
{
    EXPECT_EQ(Digits(0xffffffff, 2), std::wstring(32, L'1'));
    EXPECT_EQ(Digits(42, 10, 40), std::wstring(38, L'0') + L"42");
    EXPECT_EQ(Digits(42, 1), L"");
    EXPECT_EQ(Digits(42, 17), L"");
}

TEST(TemporaryFilesTest, RunRemovesOnlyUnheldLeftoversOfEndedRunsForItsOwnTargets)
{
    FakePlatform platform;
    platform.folderTests = {true, true};
    platform.filesInFolder = {
        L"Tazel4.cbx.7ffffffc-0.tmp",     // an ended run's: removed
        L"Tazel.dek.7ffffffc-16.tmp",     // the same
        L"Tazel5.cbx.7ffffffc-1.tmp",     // an ended run's, but something holds it: tried, stays
        L"Tazel4.cbx.4d2-0.tmp",          // process 0x4d2 still runs: maybe another installer
        L"Tazel4.cbx.7ffffffc-0.tmp.bak", // strangers of similar names
        L"Tazel4.cbx.backup.tmp",         L"Other.cbx.7ffffffc-0.tmp",
    };
    platform.runningProcesses = {0x4d2};
    platform.heldFiles = {kFolder + L"\\Tazel5.cbx.7ffffffc-1.tmp"};

    EXPECT_EQ(Main(DeckManifest(), platform), RunOutcome::Installed);

    std::vector<std::wstring> tried = platform.removalAttempts;
    std::sort(tried.begin(), tried.end());
    EXPECT_EQ(tried, (std::vector<std::wstring>{kFolder + L"\\Tazel.dek.7ffffffc-16.tmp",
                                                kFolder + L"\\Tazel4.cbx.7ffffffc-0.tmp",
                                                kFolder + L"\\Tazel5.cbx.7ffffffc-1.tmp"}));
    // All of it before the first file is written.
    const auto firstWrite = std::find(platform.calls.begin(), platform.calls.end(), "WritePayloadFile");
    EXPECT_EQ(std::find(firstWrite, platform.calls.end(), "RemoveUnheldFile"), platform.calls.end());
    EXPECT_EQ(platform.boxes.back().prompt, L"Tazel Deck Installed!");
}

TEST(TemporaryFilesTest, OnlyTheTargetsThisRunWritesAreLookedAt)
{
    // The kind rule gives one file for this package: leftovers for the names past it stay.
    PackageManifest manifest = DeckManifest();
    manifest.FileNames[0] = L"Tazel.DEK";
    FakePlatform platform;
    platform.folderTests = {true, true};
    platform.filesInFolder = {L"Tazel.DEK.7ffffffc-0.tmp", L"Tazel0.cbx.7ffffffc-0.tmp"};

    EXPECT_EQ(Main(manifest, platform), RunOutcome::Installed);

    EXPECT_EQ(platform.removalAttempts, std::vector<std::wstring>{kFolder + L"\\Tazel.DEK.7ffffffc-0.tmp"});
}

} // namespace
} // namespace tazel
