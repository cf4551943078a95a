#include <gtest/gtest.h>

#include <unistd.h>

#include <fstream>
#include <optional>
#include <random>

#include "packer/Description.h"
#include "tests/fuzz/Framing.h"

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

// Pictures and icons as far as the checks read them: a PNG's header, a JPEG's markers up to its
// first scan, an icon's entries and its bitmaps' headers and sizes.
std::string Bytes(std::uint32_t value, int count, bool bigEndian)
{
    std::string out;
    for (int i = 0; i < count; ++i)
        out += static_cast<char>(value >> 8 * (bigEndian ? count - 1 - i : i));
    return out;
}

std::string Png(std::uint32_t width, std::uint32_t height)
{
    return std::string("\x89PNG\r\n\x1A\n", 8) + Bytes(13, 4, true) + "IHDR" + Bytes(width, 4, true) +
           Bytes(height, 4, true) + std::string("\x08\x06\0\0\0", 5) + Bytes(0, 4, true); // 8-bit RGBA
}

std::string Jpeg(unsigned frame, std::uint32_t width, std::uint32_t height, unsigned components = 3)
{
    std::string out = "\xFF\xD8\xFF" + std::string(1, static_cast<char>(frame)) + Bytes(8 + 3 * components, 2, true) +
                      "\x08" + Bytes(height, 2, true) + Bytes(width, 2, true) + static_cast<char>(components);
    for (unsigned c = 1; c <= components; ++c)
        out += std::string{static_cast<char>(c), '\x11', '\0'};
    return out + "\xFF\xDA" + Bytes(6 + 2 * components, 2, true) + std::string(4 + 2 * components, '\0');
}

// A bitmap's header and room for its pixels and mask; `headerHeight` 0: picture and mask.
std::string Bitmap(std::uint32_t side, std::uint16_t bitCount, std::uint32_t headerHeight = 0)
{
    const std::uint32_t row = (side * bitCount + 31) / 32 * 4, maskRow = (side + 31) / 32 * 4;
    const std::uint32_t colours = bitCount <= 8 ? 1u << bitCount : 0;
    std::string header = Bytes(40, 4, false) + Bytes(side, 4, false) +
                         Bytes(headerHeight ? headerHeight : 2 * side, 4, false) + Bytes(1, 2, false) +
                         Bytes(bitCount, 2, false) + std::string(24, '\0');
    return header + std::string(4 * colours + side * (row + maskRow), '\0');
}

struct IconImage {
    std::uint32_t side;
    std::string bytes;
    std::uint16_t bitCount = 32; // as the entry says
};

std::string Ico(const std::vector<IconImage>& images)
{
    std::string entries, data;
    std::size_t offset = 6 + 16 * images.size();
    for (const IconImage& image : images) {
        entries += std::string(2, static_cast<char>(image.side & 0xFF)) + std::string(2, '\0') + Bytes(1, 2, false) +
                   Bytes(image.bitCount, 2, false) + Bytes(static_cast<std::uint32_t>(image.bytes.size()), 4, false) +
                   Bytes(static_cast<std::uint32_t>(offset), 4, false);
        offset += image.bytes.size();
        data += image.bytes;
    }
    return Bytes(0, 2, false) + Bytes(1, 2, false) + Bytes(static_cast<std::uint32_t>(images.size()), 2, false) +
           entries + data;
}

std::string Cut(std::string bytes, std::size_t size)
{
    bytes.resize(size);
    return bytes;
}

const std::pair<const char*, std::string> kArt[] = {
    {"icon.ico", Ico({{16, Bitmap(16, 4), 4}, {32, Bitmap(32, 32)}, {256, Png(256, 256)}})},
    {"picture.jpg", Jpeg(0xC2, 151, 96)}, // progressive
    {"picture.png", Png(151, 96)},
    {"short-table.ico", Cut(Ico({{32, Png(32, 32)}, {16, Png(16, 16)}}), 30)},
    {"beyond.ico", Cut(Ico({{32, Png(32, 32)}}), 6 + 16 + 32)},
    {"png-size.ico", Ico({{32, Png(64, 64)}})},
    {"bitmap-height.ico", Ico({{32, Bitmap(32, 32, 32)}})},
    {"bitmap-short.ico", Ico({{32, Cut(Bitmap(32, 32), 4000)}})},
    {"bitmap-bits.ico", Ico({{32, Bitmap(32, 8), 32}})},
    {"no-32.ico", Ico({{16, Png(16, 16)}, {48, Png(48, 48)}, {16, Bitmap(16, 32)}})},
    {"large.jpg", Jpeg(0xC0, 300, 200)},
    {"wide.png", Png(152, 96)},
    {"picture.gif", "GIF89a\x97\0\x60\0"},
    {"arithmetic.jpg", Jpeg(0xC9, 151, 96)},
    {"cmyk.jpg", Jpeg(0xC0, 151, 96, 4)},
    {"no-frame.jpg", "\xFF\xD8\xFF\xD9"},
};

constexpr const char* kPublisher = "version = 3.01.0.27\ncompany = Planet Cards\ncopyright = \u00a9 2024 Planet Cards\n"
                                   "icon = icon.ico\nwindow-picture = picture.jpg";

// The keys before [files] go in before line 3.
Edits Keys(const std::string& lines)
{
    return {{3, lines + "\n[files]"}};
}

// The (ASCII) description as an editor saves it in UTF-16 or UTF-32, with or without a byte order mark.
template <int kUnit, bool kBigEndian, bool kMark>
std::string Encoded(std::string_view ascii)
{
    std::string out = kMark ? Bytes(0xFEFF, kUnit, kBigEndian) : "";
    for (const char c : ascii)
        out += Bytes(static_cast<unsigned char>(c), kUnit, kBigEndian);
    return out;
}

struct BadRow {
    const char* what;
    Edits edits;
    int line;                                           // of the problem; 0 for the whole description
    std::string message;                                // what the problem's text must hold
    std::string (*encoded)(std::string_view) = nullptr; // the edited text saved otherwise than as UTF-8
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
    {"too long",
     {{5, Repeated("\U0001F0A1", 120) + " = b"}},
     5,
     "is 240 UTF-16 units long; the installer writes names of at most 239: Windows holds 255 in a name "
     "and the temporary file written beside it adds up to 16"},
    {"same name but for case", {{6, "FACE0.cbx = c"}}, 6, "'FACE0.cbx' is the same file as 'Face0.cbx' on line 5"},
    {"same name but for case, beyond ASCII",
     {{5, "\u00c9t\u00e9.cbx = b"}, {6, "\u00c9T\u00c9.cbx = c"}},
     6,
     "'\u00c9T\u00c9.cbx' is the same file as '\u00c9t\u00e9.cbx' on line 5"},
    {"empty name", {{5, "\"\" = b"}}, 5, "the file name is empty"},
    {"a temporary file's name",
     {{6, "Face0.cbx.1f-0.tmp = c"}},
     6,
     "'Face0.cbx.1f-0.tmp' is spelt as a temporary file the installer writes for 'Face0.cbx' on line 5"},
    {"deck of five", kDeck, 4,
     "'Tazel.dek' ends in 'dek', which makes a deck package: the installer writes exactly eight files, and 5 are "
     "listed"},
    {"face of eight",
     {{9, std::string(kThreeMore)}},
     4,
     "ends in 'fac', which makes a face package: the installer writes exactly five files, and 8 are listed"},
    {"neither kind",
     {{4, "Tazel.DEK = a"}},
     4,
     "'Tazel.DEK' ends in 'DEK', which is neither 'dek' (a deck package of eight files) nor 'fac' (a face package "
     "of five): the installer then writes this one file only, and 5 are listed; the ending is compared case by "
     "case, so 'DEK' is not 'dek'"},
    {"nine files", With(kDeck, {{9, std::string(kMore)}}), 12, "a ninth file: a package holds at most eight"},
    {"missing source", {{5, "Face0.cbx = nothing"}}, 5, "the source of Face0.cbx, 'nothing' ("},
    {"source is a folder", {{5, "Face0.cbx = folder"}}, 5, "is a folder, not a file"},
    {"empty source", {{5, "Face0.cbx = empty"}}, 5, "'empty' ("},
    {"source too large",
     {{5, "Face0.cbx = huge"}},
     5,
     "is too large: 1,073,741,825 bytes; a file the installer carries may hold at most 1,073,741,824"},
    {"no source", {{5, "Face0.cbx ="}}, 5, "Face0.cbx has no source after '='"},
    {"installer name not a plain name",
     {{1, "installer-name = Tazel;Faces"}},
     1,
     "the installer name 'Tazel;Faces' holds ';'; it becomes the file name Tazel;Faces.exe"},
    {"installer name a device", {{1, "installer-name = aux"}}, 1, "the installer name 'aux' is the device AUX"},
    {"installer name too long",
     {{1, "installer-name = " + std::string(252, 'x')}},
     1,
     "the installer name is longer than the 251 characters its .exe file name can take"},
    {"empty display name", {{2, "display-name ="}}, 2, "the display name is empty"},
    {"control character in the display name",
     {{2, "display-name = Tazel\tFaces"}},
     2,
     "the display name holds the control character U+0009"},
    {"missing key", {{1, std::nullopt}}, 0, "no installer-name line"},
    {"repeated key", {{3, "display-name = Again\n[files]"}}, 3, "display-name a second time (first on line 2)"},
    {"unknown key",
     {{1, "installer = TazelFaces\ninstaller-name = TazelFaces"}},
     1,
     "unknown key 'installer'; the keys are installer-name, display-name, version, company, copyright, icon, "
     "window-picture and compression"},
    {"compression of another kind", Keys("compression = zip"), 3,
     "the compression 'zip' is not one there is: none (the default) or lzma"},
    {"compression's name in capitals", Keys("compression = LZMA"), 3, "the compression 'LZMA' is not one there is"},
    {"version beyond its block", Keys("version = 2.0.0.070000"), 3,
     "the version '2.0.0.070000': 70000 is more than the 65535 a version block holds"},
    {"version of five numbers", Keys("version = 1.2.3.4.5"), 3,
     "the version '1.2.3.4.5' has 5 numbers; a version is one to four numbers of 0 to 65535 separated by dots"},
    {"version with an empty number", Keys("version = 2..4"), 3, "the version '2..4' has an empty number"},
    {"version not of numbers", Keys("version = v2.0"), 3, "the version 'v2.0' holds 'v'"},
    {"empty company", Keys("company ="), 3, "the company is empty"},
    {"control character in the copyright", Keys("copyright = (c)\t2024"), 3,
     "the copyright holds the control character U+0009"},
    {"copyright too long", Keys("copyright = " + Repeated("\U0001F0A1", 64) + "x"), 3,
     "the copyright is 129 UTF-16 units long; Explorer shows at most 128"},
    {"version twice", Keys("version = 1\nversion = 2"), 4, "version a second time (first on line 3)"},
    {"missing icon", Keys("icon = nothing.ico"), 3, "the icon 'nothing.ico' ("},
    {"icon not an icon", Keys("icon = picture.png"), 3,
     "is not an icon file but a PNG picture; an icon file starts with 00 00 01 00"},
    {"icon cut short", Keys("icon = short-table.ico"), 3,
     "is cut short: its header counts 2 images, whose entries end at byte 38, and the file holds 30"},
    {"icon image beyond the file", Keys("icon = beyond.ico"), 3,
     "image 1 (32 x 32) lies beyond the end of the file: its entry puts it at bytes 22 to 55, and the file holds 54"},
    {"icon PNG of another size", Keys("icon = png-size.ico"), 3,
     "image 1 (32 x 32) is a PNG of 64 x 64 pixels, but its entry says 32 x 32"},
    {"icon bitmap without its mask", Keys("icon = bitmap-height.ico"), 3,
     "image 1 (32 x 32)'s bitmap header says 32 x 32, which is a picture of 32 x 16 above its mask, but its entry "
     "says 32 x 32"},
    {"icon bitmap cut short", Keys("icon = bitmap-short.ico"), 3,
     "image 1 (32 x 32)'s bitmap needs 4264 bytes for its header, 0 colours, 32 x 32 pixels of 32 bits and its mask, "
     "and its entry gives it 4000"},
    {"icon bitmap of other bits", Keys("icon = bitmap-bits.ico"), 3,
     "image 1 (32 x 32)'s bitmap has 8 bits a pixel, but its entry says 32"},
    {"icon without 32 x 32", Keys("icon = no-32.ico"), 3, "holds no 32 x 32 image, only 16 x 16 and 48 x 48; Windows"},
    {"picture too large", Keys("window-picture = large.jpg"), 3,
     "is a 300 x 200 JPEG; the window's picture is a JPEG or PNG of exactly 151 x 96 pixels"},
    {"picture of another size", Keys("window-picture = wide.png"), 3,
     "is a 152 x 96 PNG; the window's picture is a JPEG or PNG of exactly 151 x 96 pixels"},
    {"picture of another format", Keys("window-picture = picture.gif"), 3,
     "is a GIF picture, which the window does not draw; the window's picture is a JPEG or PNG"},
    {"arithmetic-coded JPEG", Keys("window-picture = arithmetic.jpg"), 3, "is an arithmetic-coded JPEG"},
    {"CMYK JPEG", Keys("window-picture = cmyk.jpg"), 3, "is a JPEG of 4 colour components"},
    {"JPEG without a frame", Keys("window-picture = no-frame.jpg"), 3, "is a JPEG that ends before its frame header"},
    {"not a key line", {{2, "display-name: Tazel Faces\ndisplay-name = Tazel Faces"}}, 2, "expected 'key = value'"},
    {"not a file line", {{5, "Face0.cbx b"}}, 5, "expected '<file name> = <source>'"},
    {"unknown section", {{3, "[file]\n[files]"}}, 3, "unknown section '[file]'; the one section is [files]"},
    {"no files", Removed(4, 8), 0, "no files: list them under [files]"},
    {"not UTF-8",
     {{3, "# F\xe4"
          "ces\n[files]"}},
     3,
     "the line is not UTF-8 text"},
    {"UTF-16 with a byte order mark",
     {},
     0,
     "is UTF-16 text (little-endian); save the description as UTF-8",
     Encoded<2, false, true>},
    {"UTF-32 without one",
     {},
     0,
     "is UTF-32 text (big-endian); save the description as UTF-8",
     Encoded<4, true, false>},
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
        for (const auto& [name, bytes] : kArt)
            Write(*folder_ / name, bytes);
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
        fuzz::WriteSeed(bytes, folder_->string()); // the description fuzz target's seeds, when asked for
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
        {"a publisher's own", Edited(Keys(kPublisher))},
        {"a PNG picture, one number", Edited(Keys("window-picture = picture.png\nversion = 65535"))},
        {"compressed", Edited(Keys("compression = lzma"))},
        {"not compressed, said so", Edited(Keys("compression = none"))},
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
                              "  the window's bottom line: " +
                                  display +
                                  " Installation\n"
                                  "  the box at the end:       " +
                                  display + " Installed!\n");

    const auto own = ReadDescription(Described(Edited(Keys(kPublisher))), *folder_);
    ASSERT_TRUE(own);
    EXPECT_EQ(std::tie(own->version, own->company, own->copyright, own->icon, own->windowPicture),
              std::tie("3.01.0.27", "Planet Cards", "\u00a9 2024 Planet Cards", "icon.ico", "picture.jpg"));
    EXPECT_EQ(VersionNumbers(own->version), (std::array<std::uint16_t, 4>{3, 1, 0, 27}));
    EXPECT_EQ(VersionNumbers("1.2.3"), (std::array<std::uint16_t, 4>{1, 2, 3, 0}));
    EXPECT_EQ(VersionNumbers("65536"), std::nullopt);

    // A description named as a device of Windows is an ordinary file here.
    Write(*folder_ / "nul.package", kGood);
    EXPECT_TRUE(ReadDescription(*folder_ / "nul.package", *folder_));

    const auto quoted = CheckDescription(std::as_bytes(std::span(crlf.data(), crlf.size())), *folder_);
    ASSERT_TRUE(quoted);
    EXPECT_EQ(quoted->files[1].name, "#0=.cbx");
    EXPECT_EQ(quoted->files[1].line, 8); // after the comment line above it
}

TEST_F(DescriptionTest, EveryBadInputNamesItsLineAndItsProblem)
{
    const std::string path = (*folder_ / "test.package").string();
    for (const BadRow& row : kBad) {
        const auto problems = Problems(row.encoded ? row.encoded(Edited(row.edits)) : Edited(row.edits));
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
              path + ": no display-name line ('display-name = ...' before [files])\n" + path +
                  ":4: the file name 'CON.cbx' is the device CON to Windows, which refuses it as a file name\n" + path +
                  ":4: the source of CON.cbx, 'nothing' (" + source + ") does not exist\n" + path +
                  ":5: the source of huge.cbx, 'huge' (" + huge +
                  ") is too large: 1,073,741,825 bytes; a file "
                  "the installer carries may hold at most 1,073,741,824\n" +
                  path + ": not built: 4 problems\n");
    EXPECT_EQ(ProblemReport("x.package", {{3, "one"}}), "x.package:3: one\nx.package: not built: 1 problem\n");

    // Sources in the current folder: the path is the source as written, and is named once.
    const std::string icon = Edited(Keys("icon = nothing.ico"));
    const auto once = CheckDescription(std::as_bytes(std::span(icon.data(), icon.size())), ".");
    ASSERT_FALSE(once);
    EXPECT_EQ(once.error()[0].text, "the icon 'nothing.ico' does not exist");
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
