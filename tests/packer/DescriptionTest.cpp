#include <gtest/gtest.h>

#include <unistd.h>

#include <fstream>
#include <optional>
#include <random>

#include "packer/Description.h"

namespace tazel::pack {
namespace {

namespace fs = std::filesystem;

// A good face package; the rows below edit it by line number (nothing removes a line).
constexpr std::string_view kGood = "installer-name = TazelFaces\n"
                                   "display-name = Tazel Faces\n"
                                   "[files]\n"
                                   "Tazelfac = a\n"
                                   "Face0.cbx = b\n"
                                   "Face1.cbx = c\n"
                                   "Face2.cbx = d\n"
                                   "Face3.cbx = e\n";
constexpr std::string_view kMore = "Face4.cbx = f\nFace5.cbx = g\nFace6.cbx = h\nFace7.cbx = i";
constexpr std::string_view kThreeMore = "Face4.cbx = f\nFace5.cbx = g\nFace6.cbx = h";

using Edits = std::map<int, std::optional<std::string>>;
const Edits kDeck = {{4, "Tazel.dek = a"}};

Edits With(Edits edits, const Edits& more)
{
    edits.insert(more.begin(), more.end());
    return edits;
}

Edits Removed(int first, int last)
{
    Edits edits;
    for (int line = first; line <= last; ++line)
        edits[line] = std::nullopt;
    return edits;
}

std::string Edited(const Edits& edits, std::string_view text = kGood)
{
    std::vector<std::string> lines;
    for (std::size_t start = 0; start <= text.size();) {
        const std::size_t end = std::min(text.find('\n', start), text.size());
        lines.emplace_back(text.substr(start, end - start));
        start = end + 1;
    }
    for (auto edit = edits.rbegin(); edit != edits.rend(); ++edit) {
        const auto at = lines.begin() + (edit->first - 1);
        if (edit->second)
            *at = *edit->second;
        else
            lines.erase(at);
    }
    std::string joined;
    for (std::size_t i = 0; i < lines.size(); ++i)
        joined += (i ? "\n" : "") + lines[i];
    return joined;
}

std::string Repeated(std::string_view text, int times)
{
    std::string out;
    for (int i = 0; i < times; ++i)
        out += text;
    return out;
}

struct BadRow {
    const char* what;
    Edits edits;
    int line; // of the problem; 0 for the whole description
    std::string message; // what the problem's text must hold
};

const BadRow kBad[] = {
    {"folder part", {{5, R"(..\Face0.cbx = b)"}}, 5, R"('..\Face0.cbx' has a folder part ('\'))"},
    {"sub-folder", {{5, "graphics/x.cbx = b"}}, 5, "'graphics/x.cbx' has a folder part ('/')"},
    {"the folder above", {{5, ".. = b"}}, 5, "'..' is a folder's name"},
    {"refused character", {{5, "a:b.cbx = b"}}, 5, "holds ':', which Windows refuses in file names"},
    {"control character", {{5, "\"Face\x01.cbx\" = b"}}, 5, "holds the control character U+0001"},
    {"device name", {{5, "con .cbx = b"}}, 5, "'con .cbx' is the device CON to Windows"},
    {"numbered device", {{5, "LPT\u00b9.cbx = b"}}, 5, "is the device LPT\u00b9 to Windows"},
    {"trailing dot", {{5, "Face0.cbx. = b"}}, 5, "'Face0.cbx.' ends in a dot, which Windows drops"},
    {"trailing space", {{5, "\"Face0.cbx \" = b"}}, 5, "'Face0.cbx ' ends in a space, which Windows drops"},
    // An astral character is two UTF-16 units: 120 of them are one too many.
    {"too long", {{5, Repeated("\U0001F0A1", 120) + " = b"}}, 5,
     "is 240 UTF-16 units long; the installer writes names of at most 239: Windows holds 255 in a name "
     "and the temporary file written beside it adds up to 16"},
    {"same name but for case", {{6, "FACE0.cbx = c"}}, 6, "'FACE0.cbx' is the same file as 'Face0.cbx' on line 5"},
    {"same name but for case, beyond ASCII", {{5, "\u00c9t\u00e9.cbx = b"}, {6, "\u00c9T\u00c9.cbx = c"}}, 6,
     "'\u00c9T\u00c9.cbx' is the same file as '\u00c9t\u00e9.cbx' on line 5"},
    {"empty name", {{5, "\"\" = b"}}, 5, "the file name is empty"},
    {"a temporary file's name", {{6, "Face0.cbx.1f-0.tmp = c"}}, 6,
     "'Face0.cbx.1f-0.tmp' is spelt as a temporary file the installer writes for 'Face0.cbx' on line 5"},
    {"deck of five", kDeck, 4,
     "'Tazel.dek' ends in 'dek', which makes a deck package: the installer writes exactly eight files, and 5 are "
     "listed"},
    {"face of eight", {{9, std::string(kThreeMore)}}, 4,
     "ends in 'fac', which makes a face package: the installer writes exactly five files, and 8 are listed"},
    {"neither kind", {{4, "Tazel.DEK = a"}}, 4,
     "'Tazel.DEK' ends in 'DEK', which is neither 'dek' (a deck package of eight files) nor 'fac' (a face package "
     "of five): the installer then writes this one file only, and 5 are listed; the ending is compared case by "
     "case, so 'DEK' is not 'dek'"},
    {"nine files", With(kDeck, {{9, std::string(kMore)}}), 12, "a ninth file: a package holds at most eight"},
    {"missing source", {{5, "Face0.cbx = nothing"}}, 5, "the source of Face0.cbx, 'nothing' ("},
    {"source is a folder", {{5, "Face0.cbx = folder"}}, 5, "is a folder, not a file"},
    {"empty source", {{5, "Face0.cbx = empty"}}, 5, "'empty' ("},
    {"source too large", {{5, "Face0.cbx = huge"}}, 5,
     "is too large: 1,073,741,825 bytes; a file the installer carries may hold at most 1,073,741,824"},
    {"no source", {{5, "Face0.cbx ="}}, 5, "Face0.cbx has no source after '='"},
    {"installer name not a plain name", {{1, "installer-name = Tazel;Faces"}}, 1,
     "the installer name 'Tazel;Faces' holds ';'; it becomes the file name Tazel;Faces.exe"},
    {"installer name a device", {{1, "installer-name = aux"}}, 1, "the installer name 'aux' is the device AUX"},
    {"installer name too long", {{1, "installer-name = " + std::string(252, 'x')}}, 1,
     "the installer name is longer than the 251 characters its .exe file name can take"},
    {"empty display name", {{2, "display-name ="}}, 2, "the display name is empty"},
    {"control character in the display name", {{2, "display-name = Tazel\tFaces"}}, 2,
     "the display name holds the control character U+0009"},
    {"missing key", {{1, std::nullopt}}, 0, "no installer-name line"},
    {"repeated key", {{3, "display-name = Again\n[files]"}}, 3, "display-name a second time (first on line 2)"},
    {"unknown key", {{1, "installer = TazelFaces\ninstaller-name = TazelFaces"}}, 1,
     "unknown key 'installer'; the keys are installer-name and display-name"},
    {"not a key line", {{2, "display-name: Tazel Faces\ndisplay-name = Tazel Faces"}}, 2, "expected 'key = value'"},
    {"not a file line", {{5, "Face0.cbx b"}}, 5, "expected '<file name> = <source>'"},
    {"unknown section", {{3, "[file]\n[files]"}}, 3, "unknown section '[file]'; the one section is [files]"},
    {"no files", Removed(4, 8), 0, "no files: list them under [files]"},
    {"not UTF-8", {{3, "# F\xe4" "ces\n[files]"}}, 3, "the line is not UTF-8 text"},
};

class DescriptionTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        const std::string name = "tazel-description-" + std::to_string(std::random_device()());
        folder_ = new fs::path(fs::temp_directory_path() / name);
        fs::create_directories(*folder_);
        for (const char name : std::string_view("abcdefghi"))
            Write(*folder_ / std::string(1, name), std::string("payload ") + name + "\n");
        Write(*folder_ / "empty", "");
        fs::create_directory(*folder_ / "folder");
        // Sparse: one byte past what one payload entry may hold, without writing a gibibyte.
        Write(*folder_ / "huge", "x");
        fs::resize_file(*folder_ / "huge", (std::uintmax_t{1} << 30) + 1);
    }

    static void TearDownTestSuite()
    {
        fs::remove_all(*folder_);
        delete folder_;
    }

    static void Write(const fs::path& path, std::string_view bytes)
    {
        std::ofstream(path, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    }

    static fs::path Described(std::string_view bytes)
    {
        const fs::path path = *folder_ / "test.package";
        Write(path, bytes);
        return path;
    }

    static std::vector<Problem> Problems(std::string_view bytes)
    {
        const auto description = ReadDescription(Described(bytes), *folder_);
        return description ? std::vector<Problem>() : description.error();
    }

    static std::string Report(const std::vector<Problem>& problems)
    {
        return ProblemReport((*folder_ / "test.package").string(), problems);
    }

    static inline fs::path* folder_ = nullptr;
};

TEST_F(DescriptionTest, AGoodDescriptionPassesWhateverItsDisplayName)
{
    const std::string display = "T\u00e0zel \"F\u00e4ces\" \\ \u00dcn\u00efcode \U0001F0A1";
    std::string named(kGood);
    named.replace(named.find("Tazel Faces"), 11, display);
    std::string crlf = "\xEF\xBB\xBF# comment\r\n\r\n";
    for (const char c : kGood)
        crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
    crlf.replace(crlf.find("Face0.cbx = b"), 13, "  # not a file\r\n\"#0=.cbx\" = b");

    const std::pair<const char*, std::string> cases[] = {
        {"face", named},
        {"deck", Edited(With(kDeck, {{9, std::string(kThreeMore)}}))},
        {"one file", Edited(With({{4, "Tazel.cbx = a"}}, Removed(5, 8)))},
        {"longest name", Edited({{5, std::string(239, 'x') + " = b"}})},
        {"quoted, comments, blanks, CRLF", crlf},
    };
    for (const auto& [what, bytes] : cases) {
        const auto problems = Problems(bytes);
        EXPECT_TRUE(problems.empty()) << what << "\n" << Report(problems);
    }

    const auto face = ReadDescription(Described(named), *folder_);
    ASSERT_TRUE(face);
    EXPECT_EQ(face->installerName, "TazelFaces");
    EXPECT_EQ(face->displayName, display);
    EXPECT_EQ(face->keyLines, (std::map<std::string, int>{{"installer-name", 1}, {"display-name", 2}}));
    ASSERT_EQ(face->files.size(), 5u);
    EXPECT_EQ(face->files[1].name, "Face0.cbx");
    EXPECT_EQ(face->files[1].source, "b");
    EXPECT_EQ(face->files[1].line, 5);
    EXPECT_EQ(Summary(*face), "TazelFaces.exe: a face package: Tazelfac, Face0.cbx, Face1.cbx, Face2.cbx, Face3.cbx\n"
                              "  the window's bottom line: " + display + " Installation\n"
                              "  the box at the end:       " + display + " Installed!\n");

    const auto quoted = CheckDescription(std::as_bytes(std::span(crlf.data(), crlf.size())), *folder_);
    ASSERT_TRUE(quoted);
    EXPECT_EQ(quoted->files[1].name, "#0=.cbx");
    EXPECT_EQ(quoted->files[1].line, 8); // after the comment line above it
}

TEST_F(DescriptionTest, EveryBadInputNamesItsLineAndItsProblem)
{
    const std::string path = (*folder_ / "test.package").string();
    for (const BadRow& row : kBad) {
        const auto problems = Problems(Edited(row.edits));
        const std::string report = Report(problems);
        ASSERT_EQ(problems.size(), 1u) << row.what << "\n" << report;
        EXPECT_EQ(problems[0].line, row.line) << row.what << "\n" << report;
        EXPECT_NE(problems[0].text.find(row.message), std::string::npos) << row.what << "\n" << report;
        const std::string where = row.line ? path + ':' + std::to_string(row.line) : path;
        EXPECT_TRUE(report.starts_with(where + ": ")) << report;
    }
}

TEST_F(DescriptionTest, EveryProblemIsReportedInOrderOfLineThenText)
{
    const auto problems = Problems(Edited({{2, std::nullopt}, {5, "CON.cbx = nothing"}, {6, "huge.cbx = huge"}}));
    const std::string source = (*folder_ / "nothing").generic_string();
    const std::string huge = (*folder_ / "huge").generic_string();
    const std::string path = (*folder_ / "test.package").string();
    EXPECT_EQ(Report(problems),
              path + ": no display-name line ('display-name = ...' before [files])\n" +
              path + ":4: the file name 'CON.cbx' is the device CON to Windows, which refuses it as a file name\n" +
              path + ":4: the source of CON.cbx, 'nothing' (" + source + ") does not exist\n" +
              path + ":5: the source of huge.cbx, 'huge' (" + huge + ") is too large: 1,073,741,825 bytes; a file "
                     "the installer carries may hold at most 1,073,741,824\n" +
              path + ": not built: 4 problems\n");
    EXPECT_EQ(ProblemReport("x.package", {{3, "one"}}), "x.package:3: one\nx.package: not built: 1 problem\n");
}

TEST_F(DescriptionTest, AnUnreadableOrOversizedDescriptionIsRefusedWhole)
{
    const auto missing = ReadDescription(*folder_ / "no such.package", *folder_);
    ASSERT_FALSE(missing);
    EXPECT_EQ(Report(missing.error()), Report({{0, "cannot be read (No such file or directory)"}}));

    // Comment lines, so that only the size is wrong with it.
    std::string large = std::string(kGood);
    while (large.size() <= (std::size_t{1} << 20))
        large += "# " + std::string(1000, 'x') + "\n";
    const auto problems = Problems(large);
    ASSERT_EQ(problems.size(), 1u) << Report(problems);
    EXPECT_EQ(problems[0].line, 0);
    EXPECT_EQ(problems[0].text, "is larger than 1 MiB; a description is a short text file");
    large.resize(std::size_t{1} << 20);
    large.back() = '\n';
    EXPECT_TRUE(Problems(large).empty()) << "a description of exactly 1 MiB is read";
}

TEST_F(DescriptionTest, AnUnreadableSource)
{
    if (geteuid() == 0)
        GTEST_SKIP() << "root reads a file whatever its permissions";
    const fs::path unreadable = *folder_ / "unreadable";
    Write(unreadable, "payload");
    fs::permissions(unreadable, fs::perms::none);
    const auto problems = Problems(Edited({{5, "Face0.cbx = unreadable"}}));
    ASSERT_EQ(problems.size(), 1u) << Report(problems);
    EXPECT_EQ(problems[0].line, 5);
    EXPECT_NE(problems[0].text.find("cannot be read (Permission denied)"), std::string::npos) << problems[0].text;
}

} // namespace
} // namespace tazel::pack
