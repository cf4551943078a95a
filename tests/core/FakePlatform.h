#pragma once
// A scripted stand-in for the system: answers as a test sets it up and keeps a log of every
// call, so a test can check both what the user was shown and what was touched.

#include <deque>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "core/Platform.h"

namespace tazel::testing {

struct ShownBox {
    std::wstring prompt;
    std::wstring title;
    Buttons buttons;
};

class FakePlatform final : public Platform {
public:
    // --- the script ---
    std::wstring specialFolder = L"C:\\ProgramData";
    // Answers of successive folder tests; when it runs out, every further test says "missing".
    std::deque<Expected<bool, Failure>> folderTests;
    std::wstring browseResult;
    std::deque<BoxResult> boxAnswers; // missing answers are OK
    std::set<int> missingResources;
    std::map<std::wstring, Failure> failingWrites; // by target path
    std::optional<Failure> failingDecode;
    // Every file name in every folder: the fake's search matches no pattern, so the core has to
    // judge each name itself.
    std::vector<std::wstring> filesInFolder;
    std::set<std::uint32_t> runningProcesses;
    std::set<std::wstring> heldFiles; // by path
    // How far the clock moves each time events are pumped (by default it moves only in waits).
    std::int32_t msPerPump = 0;

    // --- what happened ---
    std::vector<std::string> calls;
    std::vector<ShownBox> boxes;
    std::vector<std::wstring> testedFolders;
    std::vector<std::wstring> writtenPaths;
    std::vector<std::wstring> removalAttempts; // paths, held ones included
    std::vector<int> fetchedResources;
    std::vector<PayloadStorage> fetchedStorages;
    std::vector<PayloadBytes> writtenBytes;
    std::vector<std::int32_t> delays;
    std::wstring packageLine;
    WindowHandle browseOwner = 0;

    static constexpr WindowHandle kWindow = 0x1234;

    void SetPackageLine(const std::wstring& text) override
    {
        calls.push_back("SetPackageLine");
        packageLine = text;
    }
    void ShowMainWindow() override { calls.push_back("ShowMainWindow"); }
    WindowHandle MainWindowHandle() override { return kWindow; }
    PauseClock& Clock() override { return clock_; }
    std::wstring SpecialFolderPath(std::int32_t folderId) override
    {
        calls.push_back("SpecialFolderPath:" + std::to_string(folderId));
        return specialFolder;
    }
    Expected<bool, Failure> DirectoryExists(const std::wstring& path) override
    {
        calls.push_back("DirectoryExists");
        testedFolders.push_back(path);
        if (folderTests.empty())
            return false;
        auto answer = folderTests.front();
        folderTests.pop_front();
        return answer;
    }
    std::wstring BrowseForFolder(WindowHandle owner) override
    {
        calls.push_back("BrowseForFolder");
        browseOwner = owner;
        return browseResult;
    }
    Expected<PayloadBytes, Failure> LoadPayload(int resourceId, PayloadStorage storage) override
    {
        calls.push_back("LoadPayload:" + std::to_string(resourceId));
        fetchedResources.push_back(resourceId);
        fetchedStorages.push_back(storage);
        if (missingResources.contains(resourceId))
            return Unexpected(Failure{1814, L"The specified resource name cannot be found in the image file."});
        return Payload();
    }
    // What every payload entry holds.
    PayloadBytes Payload() const { return PayloadBytes(payload_, sizeof payload_); }
    // What every compressed entry decodes to.
    PayloadBytes Decoded() const { return PayloadBytes(decoded_, sizeof decoded_); }
    Expected<PayloadBytes, Failure> DecodePayload(PayloadBytes) override
    {
        calls.push_back("DecodePayload");
        if (failingDecode)
            return Unexpected(*failingDecode);
        return Decoded();
    }
    Expected<void, Failure> WritePayloadFile(const std::wstring& path, PayloadBytes bytes) override
    {
        calls.push_back("WritePayloadFile");
        if (auto failing = failingWrites.find(path); failing != failingWrites.end())
            return Unexpected(failing->second);
        writtenPaths.push_back(path);
        writtenBytes.push_back(bytes);
        return {};
    }
    void ArmFailureTrap() override { calls.push_back("ArmFailureTrap"); }
    std::vector<std::wstring> FindFiles(const std::wstring&, const std::wstring&) override
    {
        calls.push_back("FindFiles");
        return filesInFolder;
    }
    bool IsProcessRunning(std::uint32_t processId) override { return runningProcesses.contains(processId); }
    bool RemoveUnheldFile(const std::wstring& path) override
    {
        calls.push_back("RemoveUnheldFile");
        removalAttempts.push_back(path);
        return !heldFiles.contains(path);
    }
    BoxResult ShowMessage(const std::wstring& prompt, const std::wstring& title, Buttons buttons) override
    {
        calls.push_back("ShowMessage");
        boxes.push_back({prompt, title, buttons});
        if (boxAnswers.empty())
            return BoxResult::Ok;
        const BoxResult answer = boxAnswers.front();
        boxAnswers.pop_front();
        return answer;
    }
    void Beep() override { calls.push_back("Beep"); }

private:
    // Moves when the pause waits, and then by exactly the time asked for, so each pause is one
    // wait: logged as a "Delay" of that many milliseconds; and by msPerPump at each pump.
    class WaitingClock final : public PauseClock {
    public:
        explicit WaitingClock(FakePlatform& platform) : platform_(platform) {}
        std::int32_t Now() override { return static_cast<std::int32_t>(time_); }
        void PumpEvents() override { time_ += platform_.msPerPump; }
        void WaitForEvents(std::uint32_t milliseconds) override
        {
            platform_.calls.push_back("Delay");
            platform_.delays.push_back(static_cast<std::int32_t>(milliseconds));
            time_ += milliseconds;
        }

    private:
        FakePlatform& platform_;
        std::int64_t time_ = 0;
    };

    WaitingClock clock_{*this};
    const std::byte payload_[4] = {std::byte{1}, std::byte{2}, std::byte{3}, std::byte{4}};
    const std::byte decoded_[6] = {std::byte{9}, std::byte{8}, std::byte{7}, std::byte{6}, std::byte{5}, std::byte{4}};
};

// The deck's own manifest, as the product carries it.
inline PackageManifest DeckManifest()
{
    return PackageManifest{L"TazelDeck",
                           L"Tazel Deck",
                           {L"Tazel.dek", L"Tazel0.cbx", L"Tazel1.cbx", L"Tazel2.cbx", L"Tazel3.cbx", L"Tazel4.cbx",
                            L"Tazel5.cbx", L"Tazel6.cbx"},
                           0};
}

} // namespace tazel::testing
