// The payload is rebuilt on every machine that builds the installer; it must come out
// byte for byte the same each time.

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <initializer_list>
#include <set>
#include <string>
#include <unistd.h>

#include "ArtFiles.h"

namespace tazel::art::test {
namespace {

namespace fs = std::filesystem;

const std::set<std::string> kExpectedFiles{
    "Tazel.dek",  "Tazel0.cbx", "Tazel1.cbx", "Tazel2.cbx",    "Tazel3.cbx",     "Tazel4.cbx",
    "Tazel5.cbx", "Tazel6.cbx", "Window.jpg", "Icon30001.bin", "IconGroup1.bin", "Tazel.ico",
};

class GeneratorRun : public ::testing::Test {
protected:
    void SetUp() override
    {
        root = fs::temp_directory_path() / ("tazel_art_test_" + std::to_string(::getpid()));
        fs::remove_all(root);
        fs::create_directories(root);
    }
    void TearDown() override { fs::remove_all(root); }

    static int Run(std::initializer_list<fs::path> arguments)
    {
        std::string command = "\"" TAZEL_ART_GENERATOR "\"";
        for (const fs::path& a : arguments) {
            command += " \"";
            command += a.string();
            command += '"';
        }
        command += " >/dev/null 2>&1";
        return std::system(command.c_str());
    }

    static std::set<std::string> Listing(const fs::path& dir)
    {
        std::set<std::string> names;
        for (const auto& entry : fs::directory_iterator(dir))
            names.insert(entry.path().filename().string());
        return names;
    }

    fs::path root;
};

TEST_F(GeneratorRun, TwoRunsAndTheBuildAgreeByteForByte)
{
    const fs::path first = root / "first", second = root / "second" / "nested";
    ASSERT_EQ(Run({first}), 0);
    ASSERT_EQ(Run({second}), 0);
    ASSERT_EQ(Listing(first), kExpectedFiles);
    ASSERT_EQ(Listing(second), kExpectedFiles);
    for (const std::string& name : kExpectedFiles) {
        const Bytes a = ReadFile(first / name);
        EXPECT_EQ(a, ReadFile(second / name)) << name << " differs between runs";
        EXPECT_EQ(a, ReadOutput(name)) << name << " differs from the build's copy";
    }
}

} // namespace
} // namespace tazel::art::test
