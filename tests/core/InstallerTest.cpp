#include <gtest/gtest.h>

#include <algorithm>

#include "FakePlatform.h"
#include "core/Installer.h"

namespace tazel {
namespace {

using testing::DeckManifest;
using testing::FakePlatform;

const std::wstring kDefault = L"C:\\ProgramData\\Ombrix\\graphics";
const std::wstring kM2Prompt = L"Default destination folder not found.\r\n"
                               L"Make sure Ombrix has already been installed.\r\n"
                               L"Select OK to browse for Ombrix\\graphics folder or CANCEL to Exit.";

std::vector<std::wstring> TargetsIn(const std::wstring& folder, const PackageManifest& manifest, int count)
{
    std::vector<std::wstring> targets;
    for (int i = 0; i < count; ++i)
        targets.push_back(folder + L"\\" + manifest.FileNames[static_cast<std::size_t>(i)]);
    return targets;
}

TEST(InstallerTest, DefaultFolderPresentInstallsEveryFileWithoutAQuestion)
{
    FakePlatform platform;
    platform.folderTests = {true, true};

    EXPECT_EQ(Main(DeckManifest(), platform), RunOutcome::Installed);

    EXPECT_EQ(platform.packageLine, L"Tazel Deck Installation");
    EXPECT_EQ(platform.delays, std::vector<std::int32_t>{2000});
    // The folder is judged twice even when it was there the first time.
    EXPECT_EQ(platform.testedFolders, (std::vector<std::wstring>{kDefault, kDefault}));
    EXPECT_EQ(platform.writtenPaths, TargetsIn(kDefault, DeckManifest(), 8));
    EXPECT_EQ(platform.fetchedResources, (std::vector<int>{101, 102, 103, 104, 105, 106, 107, 108}));
    ASSERT_EQ(platform.boxes.size(), 1u);
    EXPECT_EQ(platform.boxes[0].prompt, L"Tazel Deck Installed!");
    EXPECT_EQ(platform.boxes[0].title, L"Success!");
    EXPECT_EQ(platform.boxes[0].buttons, Buttons::Ok);

    // The window is filled before it shows, shown before the pause, and the beep comes right
    // before the success box.
    const std::vector<std::string> start(platform.calls.begin(), platform.calls.begin() + 4);
    EXPECT_EQ(start, (std::vector<std::string>{"SetPackageLine", "ShowMainWindow", "Delay", "SpecialFolderPath:35"}));
    ASSERT_GE(platform.calls.size(), 2u);
    EXPECT_EQ(platform.calls[platform.calls.size() - 2], "Beep");
    EXPECT_EQ(platform.calls.back(), "ShowMessage");
}

TEST(InstallerTest, EmptyFirstFileNameEndsBeforeTheWindowIsShown)
{
    FakePlatform platform;
    PackageManifest manifest = DeckManifest();
    manifest.FileNames[0].clear();

    EXPECT_EQ(Main(manifest, platform), RunOutcome::NoEmbeddedFileInfo);

    EXPECT_EQ(platform.calls, std::vector<std::string>{"ShowMessage"});
    ASSERT_EQ(platform.boxes.size(), 1u);
    EXPECT_EQ(platform.boxes[0].prompt, L"No Embedded File Info!");
    EXPECT_EQ(platform.boxes[0].title, L"TazelDeck");
    EXPECT_EQ(platform.boxes[0].buttons, Buttons::Ok);
}

TEST(InstallerTest, MissingDefaultFolderAsksAndCancelEndsSilently)
{
    FakePlatform platform;
    platform.folderTests = {false};
    platform.boxAnswers = {BoxResult::Cancel};

    EXPECT_EQ(Main(DeckManifest(), platform), RunOutcome::Cancelled);

    ASSERT_EQ(platform.boxes.size(), 1u);
    EXPECT_EQ(platform.boxes[0].prompt, kM2Prompt);
    EXPECT_EQ(platform.boxes[0].title, kDefault + L" not found.");
    EXPECT_EQ(platform.boxes[0].buttons, Buttons::OkCancel);
    EXPECT_TRUE(platform.writtenPaths.empty());
    EXPECT_TRUE(platform.fetchedResources.empty());
    EXPECT_EQ(std::count(platform.calls.begin(), platform.calls.end(), "BrowseForFolder"), 0);
}

TEST(InstallerTest, CancelledBrowseReportsNoFolderSpecified)
{
    FakePlatform platform;
    platform.folderTests = {false};
    platform.browseResult = L"";

    EXPECT_EQ(Main(DeckManifest(), platform), RunOutcome::NoFolderSpecified);

    EXPECT_EQ(platform.browseOwner, FakePlatform::kWindow);
    ASSERT_EQ(platform.boxes.size(), 2u);
    EXPECT_EQ(platform.boxes[1].prompt, L"No folder specified.\r\nTazelDeck will now exit.");
    EXPECT_EQ(platform.boxes[1].title, L"Folder not specified.");
    EXPECT_EQ(platform.boxes[1].buttons, Buttons::Ok);
    EXPECT_EQ(platform.testedFolders.size(), 1u);
    EXPECT_TRUE(platform.writtenPaths.empty());
}

TEST(InstallerTest, PickedFolderReceivesTheFilesAsItIs)
{
    FakePlatform platform;
    platform.folderTests = {false, true};
    platform.browseResult = L"E:\\Games\\Decks";

    EXPECT_EQ(Main(DeckManifest(), platform), RunOutcome::Installed);

    EXPECT_EQ(platform.testedFolders, (std::vector<std::wstring>{kDefault, L"E:\\Games\\Decks"}));
    EXPECT_EQ(platform.writtenPaths, TargetsIn(L"E:\\Games\\Decks", DeckManifest(), 8));
    EXPECT_EQ(platform.boxes.back().prompt, L"Tazel Deck Installed!");
}

TEST(InstallerTest, PickedDriveRootIsJoinedPlainly)
{
    FakePlatform platform;
    platform.folderTests = {false, true};
    platform.browseResult = L"D:\\";

    EXPECT_EQ(Main(DeckManifest(), platform), RunOutcome::Installed);

    ASSERT_FALSE(platform.writtenPaths.empty());
    EXPECT_EQ(platform.writtenPaths[0], L"D:\\\\Tazel.dek");
}

TEST(InstallerTest, FolderFailingTheSecondTestReportsItsPath)
{
    // A picked folder that is not usable, and a default folder that went between the two tests.
    struct Case {
        std::deque<Expected<bool, Failure>> answers;
        std::wstring picked;
        std::wstring reported;
    };
    const std::vector<Case> cases = {
        {{false, false}, L"C:\\Picked\\\\Twice", L"C:\\Picked\\\\Twice"},
        {{true, false}, L"", kDefault},
    };
    for (const Case& c : cases) {
        FakePlatform platform;
        platform.folderTests = c.answers;
        platform.browseResult = c.picked;

        EXPECT_EQ(Main(DeckManifest(), platform), RunOutcome::FolderNotFound);

        EXPECT_EQ(platform.boxes.back().prompt, L"Destination folder not found.\r\nTazelDeck will now exit.");
        EXPECT_EQ(platform.boxes.back().title, c.reported + L" not found.");
        EXPECT_EQ(platform.boxes.back().buttons, Buttons::Ok);
        EXPECT_TRUE(platform.writtenPaths.empty());
    }
}

TEST(InstallerTest, DefaultDestinationDropsOneTrailingSeparator)
{
    EXPECT_EQ(DefaultDestination(L"C:\\ProgramData"), kDefault);
    EXPECT_EQ(DefaultDestination(L"D:\\"), L"D:\\Ombrix\\graphics");
    EXPECT_EQ(DefaultDestination(L"D:\\\\"), L"D:\\\\Ombrix\\graphics");
    EXPECT_EQ(DefaultDestination(L""), L"\\Ombrix\\graphics");

    FakePlatform platform;
    platform.specialFolder = L"";
    platform.boxAnswers = {BoxResult::Cancel};
    Main(DeckManifest(), platform);
    EXPECT_EQ(platform.testedFolders, std::vector<std::wstring>{L"\\Ombrix\\graphics"});
    EXPECT_EQ(platform.boxes[0].title, L"\\Ombrix\\graphics not found.");
}

TEST(InstallerTest, KindRuleDecidesHowManyFilesAreWritten)
{
    PackageManifest face = DeckManifest();
    face.FileNames = {L"Tazelfac",  L"Face0.cbx", L"Face1.cbx", L"Face2.cbx",
                      L"Face3.cbx", L"Face4.cbx", L"Face5.cbx", L"Face6.cbx"};
    PackageManifest upper = DeckManifest();
    upper.FileNames[0] = L"Tazel.DEK";

    for (const auto& [manifest, count] : {std::pair{face, 5}, std::pair{upper, 1}}) {
        FakePlatform platform;
        platform.folderTests = {true, true};
        EXPECT_EQ(Main(manifest, platform), RunOutcome::Installed);
        EXPECT_EQ(platform.writtenPaths, TargetsIn(kDefault, manifest, count));
        EXPECT_EQ(platform.fetchedResources.size(), static_cast<std::size_t>(count));
    }
}

TEST(InstallerTest, FailureBeforeTheFirstFetchGetsTheGenericReport)
{
    const Failure noScripting{0x800401F3, L"Invalid class string"};
    // The folder test failing at either of its two calls, and entry 0 missing: found as it is
    // fetched, or, when the record has its digest, by the check in the pause.
    for (int scenario = 0; scenario < 4; ++scenario) {
        FakePlatform platform;
        PackageManifest manifest = DeckManifest();
        if (scenario == 0)
            platform.folderTests = {Unexpected(noScripting)};
        if (scenario == 1)
            platform.folderTests = {true, Unexpected(noScripting)};
        if (scenario >= 2) {
            platform.folderTests = {true, true};
            platform.missingResources = {101};
        }
        if (scenario == 3)
            manifest.PayloadDigests[0] = Sha256Of(platform.Payload());

        EXPECT_EQ(Main(manifest, platform), RunOutcome::UnexpectedFailure) << scenario;
        // The check's failure comes before any question of the folder.
        EXPECT_EQ(platform.folderTests.size(), scenario == 3 ? 2u : 0u) << scenario;

        ASSERT_EQ(platform.boxes.size(), 1u) << scenario;
        EXPECT_EQ(platform.boxes[0].title, L"TazelDeck");
        EXPECT_EQ(platform.boxes[0].buttons, Buttons::Ok);
        const std::wstring expected = scenario >= 2 ? L"Error 1814 (0x00000716):\r\nThe specified resource name "
                                                      L"cannot be found in the image file."
                                                    : L"Error 2147746291 (0x800401F3):\r\nInvalid class string";
        EXPECT_EQ(platform.boxes[0].prompt, expected);
        EXPECT_TRUE(platform.writtenPaths.empty());
        EXPECT_EQ(std::count(platform.calls.begin(), platform.calls.end(), "Beep"), 0);
    }
}

TEST(InstallerTest, TrapIsArmedRightAfterTheFirstFetch)
{
    // The very first write failing is already the copy stage's failure: M6, not the generic report.
    FakePlatform platform;
    platform.folderTests = {true, true};
    platform.failingWrites[kDefault + L"\\Tazel.dek"] = Failure{5, L"Access is denied."};

    EXPECT_EQ(Main(DeckManifest(), platform), RunOutcome::CopyFailed);

    ASSERT_EQ(platform.boxes.size(), 1u);
    EXPECT_EQ(platform.boxes[0].prompt, L"Unexpected Error!\r\nTazelDeck will now exit.");
    EXPECT_EQ(platform.boxes[0].title, L"Error");
    EXPECT_EQ(platform.fetchedResources, std::vector<int>{101});
    // Armed once, between the first fetch and the first write: from there on, running out of
    // memory also ends the run as a failed copy.
    const auto armed = std::find(platform.calls.begin(), platform.calls.end(), "ArmFailureTrap");
    ASSERT_NE(armed, platform.calls.end());
    EXPECT_EQ(*(armed - 1), "LoadPayload:101");
    EXPECT_EQ(*(armed + 1), "WritePayloadFile");
    EXPECT_EQ(std::count(platform.calls.begin(), platform.calls.end(), "ArmFailureTrap"), 1);
}

TEST(InstallerTest, CopyStageStopsAtTheFirstFailureAndKeepsWhatWasWritten)
{
    // Entry 3 missing, and the fourth file's write refused: both stop after three files.
    for (const bool missingEntry : {true, false}) {
        FakePlatform platform;
        platform.folderTests = {true, true};
        if (missingEntry)
            platform.missingResources = {104};
        else
            platform.failingWrites[kDefault + L"\\Tazel2.cbx"] = Failure{5, L"Access is denied."};

        EXPECT_EQ(Main(DeckManifest(), platform), RunOutcome::CopyFailed);

        EXPECT_EQ(platform.writtenPaths, TargetsIn(kDefault, DeckManifest(), 3));
        EXPECT_EQ(platform.fetchedResources, (std::vector<int>{101, 102, 103, 104}));
        ASSERT_EQ(platform.boxes.size(), 1u);
        EXPECT_EQ(platform.boxes[0].title, L"Error");
        EXPECT_EQ(std::count(platform.calls.begin(), platform.calls.end(), "Beep"), 0);
    }
}

TEST(InstallerTest, DamagedInstallerIsFoundBeforeAnyQuestionAndWritesNothing)
{
    const std::wstring damaged = L"Error 1392 (0x00000570):\r\nThis installer is damaged: its files do not match "
                                 L"what it was made with. Download a new copy of ";
    const auto checked = [](const FakePlatform& platform) {
        PackageManifest manifest = DeckManifest();
        for (auto& digest : manifest.PayloadDigests)
            digest = Sha256Of(platform.Payload());
        return manifest;
    };

    // A record that could not be read: before the window is shown.
    {
        FakePlatform platform;
        EXPECT_EQ(Main(Unexpected(RecordFault::Damaged), platform), RunOutcome::Damaged);
        EXPECT_EQ(platform.calls, std::vector<std::string>{"ShowMessage"});
        ASSERT_EQ(platform.boxes.size(), 1u);
        EXPECT_EQ(platform.boxes[0].prompt, damaged + L"this installer.");
        EXPECT_EQ(platform.boxes[0].title, L"TazelDeck");
        EXPECT_EQ(platform.boxes[0].buttons, Buttons::Ok);
    }

    // The last entry damaged: found in the pause, or right after it when the pause ends first
    // (a clock that moves a second at each pump leaves it one step).
    for (const std::int32_t msPerPump : {0, 1000}) {
        FakePlatform platform;
        platform.folderTests = {true, true};
        platform.msPerPump = msPerPump;
        PackageManifest manifest = checked(platform);
        (*manifest.PayloadDigests[7])[31] ^= std::byte{1};

        EXPECT_EQ(Main(manifest, platform), RunOutcome::Damaged) << msPerPump;

        ASSERT_EQ(platform.boxes.size(), 1u);
        EXPECT_EQ(platform.boxes[0].prompt, damaged + L"TazelDeck.");
        EXPECT_EQ(platform.boxes[0].title, L"TazelDeck");
        EXPECT_EQ(platform.fetchedResources, (std::vector<int>{101, 102, 103, 104, 105, 106, 107, 108}));
        EXPECT_TRUE(platform.testedFolders.empty());
        EXPECT_TRUE(platform.writtenPaths.empty());
        EXPECT_EQ(std::count(platform.calls.begin(), platform.calls.end(), "ShowMainWindow"), 1);
    }

    // Sound: the check keeps the pause as long as it was, and the run is the same.
    FakePlatform platform;
    platform.folderTests = {true, true};
    EXPECT_EQ(Main(checked(platform), platform), RunOutcome::Installed);
    EXPECT_EQ(platform.delays, std::vector<std::int32_t>{2000});
    EXPECT_EQ(platform.writtenPaths, TargetsIn(kDefault, DeckManifest(), 8));
    ASSERT_EQ(platform.boxes.size(), 1u);
    EXPECT_EQ(platform.boxes[0].prompt, L"Tazel Deck Installed!");
}

TEST(InstallerTest, CompressedEntriesAreCheckedAsStoredAndWrittenAsDecoded)
{
    // Every entry is fetched from the compressed type, checked against its stored bytes, decoded
    // as its turn comes, and the decoded bytes written; a decoding failure is a failed copy.
    for (const bool decodeFails : {false, true}) {
        FakePlatform platform;
        platform.folderTests = {true, true};
        if (decodeFails)
            platform.failingDecode = Failure{1392, L"The file or directory is corrupted and unreadable."};
        PackageManifest manifest = DeckManifest();
        manifest.Storage = PayloadStorage::Lzma;
        for (auto& digest : manifest.PayloadDigests)
            digest = Sha256Of(platform.Payload());

        EXPECT_EQ(Main(manifest, platform), decodeFails ? RunOutcome::CopyFailed : RunOutcome::Installed);

        EXPECT_TRUE(
            std::ranges::all_of(platform.fetchedStorages, [](PayloadStorage s) { return s == PayloadStorage::Lzma; }));
        const auto decodes = std::count(platform.calls.begin(), platform.calls.end(), "DecodePayload");
        EXPECT_EQ(decodes, decodeFails ? 1 : 8);
        ASSERT_EQ(platform.writtenBytes.size(), decodeFails ? 0u : 8u);
        for (const PayloadBytes written : platform.writtenBytes)
            EXPECT_EQ(written.data(), platform.Decoded().data());
    }
}

TEST(InstallerTest, GenericReportGivesNumberAndDescription)
{
    EXPECT_EQ(GenericReportText(Failure{2, L"File not found.\r\n"}), L"Error 2 (0x00000002):\r\nFile not found.");
    EXPECT_EQ(GenericReportText(Failure{0x80004005, L""}), L"Error 2147500037 (0x80004005)");
    EXPECT_EQ(GenericReportText(Failure{0, L""}), L"Error 0 (0x00000000)");
    EXPECT_EQ(GenericReportText(Failure{0xFFFFFFFF, L""}), L"Error 4294967295 (0xFFFFFFFF)");
}

} // namespace
} // namespace tazel
