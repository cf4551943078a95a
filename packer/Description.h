#pragma once
// The package description (docs/publishing.md): a small text file, written by hand,
// that says everything about one installer. Reading it finds every problem, each with its line,
// before anything is made from it.

#include "core/Expected.h"
#include <array>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace tazel::pack {

// A source larger than this is refused. One payload entry is one resource, whose size the PE format
// holds in 32 bits, and the installer maps its whole image: a game file anywhere near that is a
// mistake, so the bound is a round one well below it.
inline constexpr std::uint64_t kLargestSource = std::uint64_t{1} << 30;

// What a package without its own version or company gets: the product's.
inline constexpr std::string_view kProductVersionText = "2.00.0004";
inline constexpr std::string_view kProductCompany = "Tazel Deck Project";

// The one section; the keys come before it, the files after.
inline constexpr std::string_view kFilesSection = "[files]";

// Texts are UTF-8, as written.
struct DescribedFile {
    std::string name;
    std::string source;
    int line = 0;
    std::u16string units; // the name as Windows holds it, converted once as it is read
};

struct Description {
    std::string installerName;
    std::string displayName;
    // The publisher's own, each empty when not given (a given one is never empty).
    std::string version; // as written: "2.00.0004"
    std::string company;
    std::string copyright;
    std::string icon;          // a source, as written
    std::string windowPicture; // a source, as written
    std::string compression;   // "none" or "lzma"
    std::vector<DescribedFile> files;
    std::map<std::string, int> keyLines; // key -> the line it stood on
};

struct Problem {
    int line = 0; // 0: the description as a whole
    std::string text;
};

// The numbers of a version as a description writes it, in their order: "3.01.0.27" gives 3, 1, 0,
// 27, and missing numbers are 0 ("3.1" gives 3, 1, 0, 0). Nothing for what the version key refuses.
[[nodiscard]] std::optional<std::array<std::uint16_t, 4>> VersionNumbers(std::string_view text);

// Reads the file at `path` and checks it; sources are relative to `sources`. Every problem is
// found (of the sources only what the file system says of them, and whether they open) before
// this returns; the problems come sorted by line, then text.
[[nodiscard]] tazel::Expected<Description, std::vector<Problem>> ReadDescription(const std::filesystem::path& path,
                                                                                 const std::filesystem::path& sources);

// The same, from the description's bytes. `read`, when given, gets what could be read of it
// whatever its problems: the page's preview shows the names as they are typed.
[[nodiscard]] tazel::Expected<Description, std::vector<Problem>>
CheckDescription(std::span<const std::byte> bytes, const std::filesystem::path& sources, Description* read = nullptr);

// A key before [files] as the reader knows it, for the packer's help and its starter descriptions.
struct KeyGuide {
    std::string_view name;
    bool required = false;
    std::string_view takes;                    // what its value is; a "~" joins words that stay on one line
    std::string_view byDefault;                // what a package without it gets; empty for a required key
    std::string_view example;                  // a value to show; "{Kind}" stands for the package's kind ("Deck")
    bool namesFile = false;                    // its value is a source, relative to the sources as the files' are
    std::string_view choices;                  // the values it takes where they are few, between '|': "none|lzma"
    std::string Description::*value = nullptr; // where a description holds it
};

// The reader's keys, in its order.
[[nodiscard]] std::vector<KeyGuide> DescribedKeys();

// A kind of package, as the installer's own rule makes it of the first file's name.
struct KindGuide {
    std::string_view name;  // "deck"
    std::string ending;     // kDeckEnding for a deck: the first file's name ends so, case counting
    std::size_t files = 0;  // exactly this many are listed
    std::string_view count; // "eight"
};

// The kinds, deck first; a first name of any other ending makes a package of that one file.
[[nodiscard]] std::vector<KindGuide> PackageKinds();

// "PATH:LINE: text" ("PATH: text" for line 0) a line each, then "PATH: not built: N problem(s)".
[[nodiscard]] std::string ProblemReport(const std::string& shownPath, const std::vector<Problem>& problems);

// What the first file's name makes of the package, by the installer's own kind rule: how many
// files the installer writes. Nothing for a one-file package.
struct PackageKind {
    std::string_view name; // "deck", "face"
    std::size_t files;
    std::string_view count; // "eight", "five"
};
[[nodiscard]] std::optional<PackageKind> KindOf(std::u16string_view firstName);

// What the package installs and what the player reads, for the publisher; three lines.
[[nodiscard]] std::string Summary(const Description& description);

} // namespace tazel::pack
