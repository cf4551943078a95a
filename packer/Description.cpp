#include "packer/Description.h"
#include "core/Text.h"

#include <algorithm>
#include <cstdint>
#include <optional>
#include <string_view>
#include <tuple>

#include "core/NameRules.h"
#include "core/PackageManifest.h"
#include "core/Utf.h"
#include "packer/image/Icon.h"
#include "packer/image/Picture.h"
#include "packer/machine/Machine.h"

namespace tazel::pack {
namespace {

constexpr std::size_t kMostFiles = kFileCount;
constexpr std::size_t kLargestDescription = std::size_t{1} << 20;
constexpr std::size_t kLongestShown = 40;
// Explorer shows the version block's texts on one line each (a file's Details, its tooltip) and
// cuts what does not fit; 128 holds any company name or copyright line, and keeps the block far
// from its 16-bit lengths.
constexpr std::size_t kLongestVersionText = 128;
constexpr std::uint32_t kLargestVersionNumber = 65535;
constexpr std::size_t kMostVersionNumbers = 4;
// The largest icon Windows shows, 256 x 256 at 32 bits, takes 256 KiB; a file far beyond that
// is a mistake, and the bound keeps the check from reading a whole disk image.
constexpr std::size_t kLargestArt = std::size_t{16} << 20;

using Problems = std::vector<Problem>;
using Verdict = std::optional<std::string>;

// Text helpers -----------------------------------------------------------------------------------

// The text has been checked to be UTF-8 when it reaches these.
std::u32string CodePoints(std::string_view text)
{
    return DecodeUtf8(text).value_or(std::u32string());
}

std::u16string Units(std::string_view text)
{
    return Utf8ToUtf16(text).value_or(std::u16string());
}

std::string Utf8(std::u32string_view codePoints)
{
    std::string out;
    for (const char32_t c : codePoints)
        AppendUtf8(out, c);
    return out;
}

// "0009", "00AD": at least four upper-case hex digits, as a code point is written.
std::string Hex(char32_t codePoint)
{
    return HexDigits(codePoint, 4, true);
}

// 1,073,741,824
std::string Grouped(std::uintmax_t value)
{
    const std::string digits = std::to_string(value);
    std::string grouped;
    for (std::size_t i = 0; i < digits.size(); ++i) {
        if (i != 0 && (digits.size() - i) % 3 == 0)
            grouped += ',';
        grouped += digits[i];
    }
    return grouped;
}

// A text as a message quotes it: as written (a backslash stays one), control characters by
// their code, a long one by its start.
std::string Shown(std::string_view text, std::string_view quote = "'")
{
    const std::u32string codePoints = CodePoints(text);
    std::string out(quote);
    for (std::size_t i = 0; i < codePoints.size() && i < kLongestShown; ++i) {
        if (IsControlCharacter(codePoints[i]))
            out += "<U+" + Hex(codePoints[i]) + ">";
        else
            AppendUtf8(out, codePoints[i]);
    }
    out += quote;
    if (codePoints.size() > kLongestShown)
        out += "...";
    return out;
}

std::string ShownCharacter(char32_t c)
{
    return Shown(Utf8(std::u32string_view(&c, 1)));
}

std::string_view Trimmed(std::string_view text)
{
    const std::size_t first = text.find_first_not_of(" \t");
    if (first == std::string_view::npos)
        return {};
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

struct Split {
    std::string_view before;
    std::string_view after;
    bool found = false;
};

Split Partition(std::string_view text, char separator)
{
    const std::size_t at = text.find(separator);
    if (at == std::string_view::npos)
        return {text, {}, false};
    return {text.substr(0, at), text.substr(at + 1), true};
}

// Name rules -------------------------------------------------------------------------------------

Verdict WindowsNameProblem(std::string_view name, std::u16string_view units, std::string_view what)
{
    const NameVerdict verdict = JudgeWindowsFileName(units);
    const std::string named = std::string(what) + " " + Shown(name);
    switch (verdict.fault) {
    case NameFault::None:
        return std::nullopt;
    case NameFault::Empty:
        return std::string(what) + " is empty";
    case NameFault::FolderName:
        return named + " is a folder's name, not a file's";
    case NameFault::FolderPart:
        return named + " has a folder part (" + ShownCharacter(verdict.character) +
               "); the installer writes every file into the one destination folder, so give the bare file name";
    case NameFault::RefusedCharacter:
    case NameFault::ControlCharacter: {
        const std::string character = verdict.fault == NameFault::RefusedCharacter
                                          ? ShownCharacter(verdict.character)
                                          : "the control character U+" + Hex(verdict.character);
        return named + " holds " + character +
               ", which Windows refuses in file names (< > : \" / \\ | ? * and control characters)";
    }
    case NameFault::EndsInDot:
        return named + " ends in a dot, which Windows drops from file names";
    case NameFault::EndsInSpace:
        return named + " ends in a space, which Windows drops from file names";
    case NameFault::DeviceName:
        return named + " is the device " + Utf16ToUtf8(verdict.device) + " to Windows, which refuses it as a file name";
    }
    return std::nullopt;
}

Verdict TextProblem(std::string_view value, std::string_view what)
{
    if (value.empty())
        return "the " + std::string(what) + " is empty";
    const std::u32string codePoints = CodePoints(value);
    const auto control = std::find_if(std::begin(codePoints), std::end(codePoints), IsControlCharacter);
    if (control != codePoints.end())
        return "the " + std::string(what) + " holds the control character U+" + Hex(*control);
    return std::nullopt;
}

// A text of the version block, shown by Explorer.
Verdict VersionTextProblem(std::string_view value, std::string_view what)
{
    if (Verdict problem = TextProblem(value, what))
        return problem;
    if (const std::size_t units = Units(value).size(); units > kLongestVersionText)
        return "the " + std::string(what) + " is " + std::to_string(units) + " UTF-16 units long; Explorer shows " +
               "at most " + std::to_string(kLongestVersionText) + " on its one line";
    return std::nullopt;
}

using VersionParse = tazel::Expected<std::array<std::uint16_t, 4>, std::string>;

VersionParse ParseVersion(std::string_view text)
{
    const std::string form = "; a version is one to four numbers of 0 to " + std::to_string(kLargestVersionNumber) +
                             " separated by dots, such as 3.1.0.27";
    const std::string named = "the version " + Shown(text);
    if (text.empty())
        return Unexpected("the version is empty" + form);
    const std::u32string codePoints = CodePoints(text);
    const auto odd = std::find_if(std::begin(codePoints), std::end(codePoints),
                                  [](char32_t c) { return c != U'.' && (c < U'0' || c > U'9'); });
    if (odd != codePoints.end())
        return Unexpected(named + " holds " + ShownCharacter(*odd) + form);
    std::vector<std::string_view> parts;
    for (std::size_t start = 0; start <= text.size();) {
        const std::size_t end = std::min(text.find('.', start), text.size());
        parts.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    if (parts.size() > kMostVersionNumbers)
        return Unexpected(named + " has " + std::to_string(parts.size()) + " numbers" + form);
    std::array<std::uint16_t, 4> numbers{};
    for (std::size_t i = 0; i < parts.size(); ++i) {
        if (parts[i].empty())
            return Unexpected(named + " has an empty number: a dot at an end or two together" + form);
        std::uint32_t value = 0;
        for (const char digit : parts[i])
            value = std::min<std::uint32_t>(value * 10 + static_cast<std::uint32_t>(digit - '0'),
                                            kLargestVersionNumber + 1);
        if (value > kLargestVersionNumber)
            return Unexpected(named + ": " + std::string(parts[i].substr(parts[i].find_first_not_of('0'))) +
                              " is more than the " + std::to_string(kLargestVersionNumber) + " a version block holds");
        numbers[i] = static_cast<std::uint16_t>(value);
    }
    return numbers;
}

Verdict VersionProblem(std::string_view version)
{
    if (auto parsed = ParseVersion(version); !parsed)
        return std::move(parsed.error());
    return VersionTextProblem(version, "version");
}

Verdict InstallerNameProblem(std::string_view name)
{
    if (Verdict problem = TextProblem(name, "installer name"))
        return problem;
    const std::u32string codePoints = CodePoints(name);
    const auto odd = std::find_if_not(std::begin(codePoints), std::end(codePoints), IsInstallerNameCharacter);
    if (odd != codePoints.end())
        return "the installer name " + Shown(name) + " holds " + ShownCharacter(*odd) + "; it becomes the file name " +
               std::string(name) + ".exe and may hold letters, digits, spaces and - _ . ( )";
    const std::u16string units = Units(name);
    if (Verdict problem = WindowsNameProblem(name, units, "the installer name"))
        return problem;
    constexpr std::size_t kExtension = 4; // ".exe"
    if (units.size() + kExtension > kLongestNameComponent)
        return "the installer name is longer than the " + std::to_string(kLongestNameComponent - kExtension) +
               " characters its .exe file name can take";
    return std::nullopt;
}

Verdict DisplayNameProblem(std::string_view name)
{
    return TextProblem(name, "display name");
}

Verdict CompressionProblem(std::string_view value)
{
    if (value == "none" || value == "lzma")
        return std::nullopt;
    return "the compression " + Shown(value) + " is not one there is: none (the default) or lzma";
}

// Files named by the keys: read whole and checked by `content` -----------------------------------

// A source as written, then the path it names where that shows more: "'art/x.ico' (faces/art/x.ico)",
// but "'art/x.ico'" alone where the sources' folder is the current one.
std::string ShownSource(std::string_view source, const std::filesystem::path& path)
{
    const std::string shown = ShownPath(path);
    if (CodePoints(source).size() <= kLongestShown && shown == ShownPath(PathFromUtf8(source)))
        return Shown(source);
    return Shown(source) + " (" + shown + ")";
}

// What keeps the file `what` names from being read: missing, not a file, unreadable, empty, or
// larger than `largest` (which `bound` then explains).
Verdict ReadableProblem(const std::string& what, const std::filesystem::path& path, std::uintmax_t largest,
                        std::string_view bound)
{
    const auto facts = Inspect(path);
    if (!facts) {
        if (facts.error().code == std::errc::no_such_file_or_directory)
            return what + " does not exist";
        return what + " cannot be read (" + facts.error().description + ")";
    }
    if (facts->kind == FileKind::Folder)
        return what + " is a folder, not a file";
    if (facts->kind != FileKind::Regular)
        return what + " is not a regular file";
    if (const auto opened = InputFile::Open(path); !opened)
        return what + " cannot be read (" + opened.error().description + ")";
    if (facts->size == 0)
        return what + " is empty";
    if (facts->size > largest)
        return what + " is too large: " + Grouped(facts->size) + " bytes; " + std::string(bound) + " " +
               Grouped(largest);
    return std::nullopt;
}

Verdict ArtProblem(std::string_view source, const std::filesystem::path& sources, std::string_view what,
                   Verdict (*content)(std::span<const std::byte> bytes))
{
    if (source.empty())
        return "the " + std::string(what) + " is empty: name its file after '='";
    const std::filesystem::path path = Joined(sources, source);
    const std::string named = "the " + std::string(what) + " " + ShownSource(source, path);
    if (Verdict problem = ReadableProblem(named, path, kLargestArt, "an icon or picture file may hold at most"))
        return problem;
    const auto bytes = ReadUpTo(path, kLargestArt);
    if (!bytes)
        return named + " cannot be read (" + bytes.error().description + ")";
    if (Verdict problem = content(*bytes))
        return named + " " + *problem;
    return std::nullopt;
}

Verdict IconContentProblem(std::span<const std::byte> bytes)
{
    if (auto icon = ReadIcon(bytes); !icon)
        return std::move(icon.error());
    return std::nullopt;
}

// The keys before [files], in the order the messages name them; a new key is a new row. Each is
// given at most once; the required ones exactly once. Its guide is what --help and the starter
// descriptions tell of it (KeyGuide).
struct Key {
    std::string_view name;
    std::string Description::*value;
    Verdict (*problem)(std::string_view value, const std::filesystem::path& sources);
    bool required = false;
    std::string_view takes;
    std::string_view byDefault;
    std::string_view example;
    bool namesFile = false;
    std::string_view choices;
};

// The guides below write these bounds out.
static_assert(kLargestVersionNumber == 65535 && kMostVersionNumbers == 4 && kLongestVersionText == 128);
static_assert(kWindowPictureWidth == 151 && kWindowPictureHeight == 96);

constexpr Key kKeys[] = {
    {"installer-name", &Description::installerName,
     [](std::string_view value, const std::filesystem::path&) { return InstallerNameProblem(value); }, true,
     "the installer's name, <installer-name>.exe: letters, digits, spaces and~-~_~.~(~)", "", "My{Kind}", false, ""},
    {"display-name", &Description::displayName,
     [](std::string_view value, const std::filesystem::path&) { return DisplayNameProblem(value); }, true,
     "what the player reads: \"<display-name>~Installation\" on the window, \"<display-name>~Installed!\" "
     "at the end",
     "", "My {Kind}", false, ""},
    {"version", &Description::version,
     [](std::string_view value, const std::filesystem::path&) { return VersionProblem(value); }, false,
     "the installer's version, one to four numbers of 0 to 65535 separated by dots", kProductVersionText, "1.0", false,
     ""},
    {"company", &Description::company,
     [](std::string_view value, const std::filesystem::path&) { return VersionTextProblem(value, "company"); }, false,
     "the company in the installer's version block, at most 128 UTF-16 units", kProductCompany, "My Company", false,
     ""},
    {"copyright", &Description::copyright,
     [](std::string_view value, const std::filesystem::path&) { return VersionTextProblem(value, "copyright"); }, false,
     "the copyright line in the installer's version block, at most 128 UTF-16 units", "none",
     "Copyright 2026 My Company", false, ""},
    {"icon", &Description::icon,
     [](std::string_view value, const std::filesystem::path& sources) {
         return ArtProblem(value, sources, "icon", IconContentProblem);
     },
     false, "the installer's icon, an .ico file that holds a 32~x~32 image", "the product's icon", "My{Kind}.ico", true,
     ""},
    {"window-picture", &Description::windowPicture,
     [](std::string_view value, const std::filesystem::path& sources) {
         return ArtProblem(value, sources, "window picture", WindowPictureProblem);
     },
     false, "the picture in the window's top right box, a JPEG or PNG of exactly 151~x~96 pixels",
     "the product's picture", "My{Kind}.jpg", true, ""},
    {"compression", &Description::compression,
     [](std::string_view value, const std::filesystem::path&) { return CompressionProblem(value); }, false,
     "none, or lzma to store the files compressed, which makes a smaller installer", "none", "lzma", false,
     "none|lzma"},
};

std::string KeyList()
{
    std::string list;
    for (std::size_t i = 0; i < std::size(kKeys); ++i) {
        list += i == 0 ? "" : i + 1 == std::size(kKeys) ? " and " : ", ";
        list += kKeys[i].name;
    }
    return list;
}

// Reading ----------------------------------------------------------------------------------------

struct Parsed {
    Description description;
    int unreadableFiles = 0; // file lines not of the form; the count is not known then
};

// "<name> = <source>"; a name in double quotes keeps spaces at its ends and may hold '=' or
// begin with '#' (Windows refuses '"' in names, so the quotes cannot be part of one).
std::optional<DescribedFile> ParseFileLine(std::string_view text, int number, Problems& problems)
{
    std::string_view name;
    std::string_view source;
    if (text.starts_with('"')) {
        const Split quoted = Partition(text.substr(1), '"');
        if (!quoted.found) {
            problems.push_back({number, "the quoted file name has no closing quote"});
            return std::nullopt;
        }
        const std::size_t equals = std::min(quoted.after.find_first_not_of(" \t"), quoted.after.size());
        const std::string_view rest = quoted.after.substr(equals);
        if (!rest.starts_with('=')) {
            problems.push_back({number, "expected '=' and the source after the quoted file name"});
            return std::nullopt;
        }
        name = quoted.before;
        source = rest.substr(1);
    } else {
        const Split line = Partition(text, '=');
        if (!line.found) {
            problems.push_back({number, "expected '<file name> = <source>', found " + Shown(text)});
            return std::nullopt;
        }
        name = Trimmed(line.before);
        source = line.after;
    }
    return DescribedFile{std::string(name), std::string(Trimmed(source)), number, Units(name)};
}

void ParseKeyLine(std::string_view text, int number, Description& description, Problems& problems)
{
    const Split line = Partition(text, '=');
    const std::string_view name = Trimmed(line.before);
    const auto key =
        std::find_if(std::begin(kKeys), std::end(kKeys), [&](const Key& item) { return item.name == name; });
    if (!line.found) {
        problems.push_back(
            {number, "expected 'key = value' or " + std::string(kFilesSection) + ", found " + Shown(text)});
    } else if (key == std::end(kKeys)) {
        problems.push_back({number, "unknown key " + Shown(name) + "; the keys are " + KeyList() +
                                        ", and the files go under " + std::string(kFilesSection)});
    } else if (const auto first = description.keyLines.find(std::string(name)); first != description.keyLines.end()) {
        problems.push_back(
            {number, std::string(name) + " a second time (first on line " + std::to_string(first->second) + ")"});
    } else {
        description.keyLines.emplace(name, number);
        description.*key->value = std::string(Trimmed(line.after));
    }
}

Parsed Parse(std::string_view data, Problems& problems)
{
    Parsed parsed;
    enum class Section { Head, Files, Unknown } section = Section::Head;
    int fileLines = 0;
    if (data.starts_with("\xEF\xBB\xBF"))
        data.remove_prefix(3);

    int number = 0;
    for (std::size_t start = 0; start <= data.size();) {
        const std::size_t end = std::min(data.find('\n', start), data.size());
        std::string_view line = data.substr(start, end - start);
        start = end + 1;
        ++number;
        if (!DecodeUtf8(line)) {
            problems.push_back({number, "the line is not UTF-8 text; save the description as UTF-8"});
            continue;
        }
        if (line.ends_with('\r'))
            line.remove_suffix(1);
        const std::string_view text = Trimmed(line);
        if (text.empty() || text.starts_with('#'))
            continue;
        if (text.starts_with('[')) {
            if (text != kFilesSection) {
                // Its lines are passed over: they would only repeat the one mistake.
                problems.push_back(
                    {number, "unknown section " + Shown(text) + "; the one section is " + std::string(kFilesSection)});
                section = Section::Unknown;
            } else {
                if (section == Section::Files)
                    problems.push_back({number, std::string(kFilesSection) + " a second time"});
                section = Section::Files;
            }
            continue;
        }
        if (section == Section::Unknown)
            continue;
        if (section == Section::Files) {
            ++fileLines;
            if (auto file = ParseFileLine(text, number, problems))
                parsed.description.files.push_back(std::move(*file));
            else
                ++parsed.unreadableFiles;
            continue;
        }
        ParseKeyLine(text, number, parsed.description, problems);
    }

    for (const Key& key : kKeys) {
        if (key.required && !parsed.description.keyLines.contains(std::string(key.name))) {
            const std::string name(key.name);
            problems.push_back(
                {0, "no " + name + " line ('" + name + " = ...' before " + std::string(kFilesSection) + ")"});
        }
    }
    if (fileLines == 0)
        problems.push_back(
            {0, "no files: list them under " + std::string(kFilesSection) + ", one 'name = source' a line"});
    return parsed;
}

// A description saved as UTF-16 or UTF-32, as some editors save text: known by its byte order
// mark, or without one by where its NUL bytes fall. A UTF-8 description has none, and its keys and
// names are mostly ASCII, each character of which is one unit with NUL in its other bytes.
std::optional<std::string_view> WideEncoding(std::string_view data)
{
    struct Encoding {
        std::string_view mark;
        std::string_view name;
        std::array<bool, 4> nul; // which of every four bytes are NUL in ASCII text
    };
    using namespace std::string_view_literals;
    constexpr Encoding kEncodings[] = {
        {"\xFF\xFE\0\0"sv, "UTF-32 text (little-endian)", {false, true, true, true}},
        {"\0\0\xFE\xFF"sv, "UTF-32 text (big-endian)", {true, true, true, false}},
        {"\xFF\xFE"sv, "UTF-16 text (little-endian)", {false, true, false, true}},
        {"\xFE\xFF"sv, "UTF-16 text (big-endian)", {true, false, true, false}},
    };
    for (const Encoding& encoding : kEncodings) {
        if (data.starts_with(encoding.mark))
            return encoding.name;
    }
    if (data.find('\0') == std::string_view::npos)
        return std::nullopt;
    std::array<std::size_t, 4> bytes{}, nuls{};
    for (std::size_t i = 0; i < data.size(); ++i) {
        ++bytes[i % 4];
        nuls[i % 4] += data[i] == '\0' ? 1 : 0;
    }
    for (const Encoding& encoding : kEncodings) {
        bool fits = true;
        for (std::size_t i = 0; i < 4; ++i)
            fits = fits && (2 * nuls[i] > bytes[i]) == encoding.nul[i]; // more than half of them NUL, or not
        if (fits)
            return encoding.name;
    }
    return std::nullopt;
}

// Checking ---------------------------------------------------------------------------------------

// `earlier`: the names before it that Windows can hold, by the key Windows finds them under.
Verdict FileNameProblem(const std::vector<DescribedFile>& files, std::size_t index,
                        std::map<std::u16string, std::size_t>& earlier)
{
    const DescribedFile& named = files[index];
    const std::string& name = named.name;
    if (Verdict problem = WindowsNameProblem(name, named.units, "the file name"))
        return problem;
    if (named.units.size() > kLongestFileName)
        return "the file name " + Shown(name) + " is " + std::to_string(named.units.size()) +
               " UTF-16 units long; the installer writes names of at most " + std::to_string(kLongestFileName) +
               ": Windows holds " + std::to_string(kLongestNameComponent) +
               " in a name and the temporary file written beside it adds up to " +
               std::to_string(kLongestTemporarySuffix);
    const auto [twin, first] = earlier.try_emplace(WindowsNameKey(named.units), index);
    if (!first) {
        const DescribedFile& other = files[twin->second];
        return "the file name " + Shown(name) + " is the same file as " + Shown(other.name) + " on line " +
               std::to_string(other.line) + ": Windows ignores case in file names";
    }
    return std::nullopt;
}

// The files of each name, in their order.
using NamedFiles = std::map<std::u16string_view, std::vector<std::size_t>>;

Verdict LeftoverProblem(const std::vector<DescribedFile>& files, std::size_t index, const NamedFiles& named)
{
    // A temporary file's name is its target's and a suffix of at most kLongestTemporarySuffix
    // units that starts with a dot: only the names this one starts with, up to one of its last
    // dots, can be its target. So a description of many files is checked in a time in step with them.
    const std::u16string_view name = files[index].units;
    std::optional<std::size_t> target;
    for (std::size_t dot = name.find(u'.', name.size() - std::min(name.size(), kLongestTemporarySuffix));
         dot != std::u16string_view::npos; dot = name.find(u'.', dot + 1)) {
        const auto same = named.find(name.substr(0, dot));
        if (same == named.end())
            continue;
        // Files of one name are all its target or none: the first but this one says which.
        const auto other =
            std::find_if(same->second.begin(), same->second.end(), [&](std::size_t i) { return i != index; });
        if (other != same->second.end() && IsSpeltAsTemporaryFileOf(name, files[*other].units))
            target = std::min(target.value_or(*other), *other);
    }
    if (!target)
        return std::nullopt;
    return "the file name " + Shown(files[index].name) + " is spelt as a temporary file the installer writes for " +
           Shown(files[*target].name) + " on line " + std::to_string(files[*target].line) +
           ": a later run would remove it as the leftover of an interrupted one";
}

Verdict SourceProblem(const DescribedFile& file, const std::filesystem::path& sources)
{
    const std::string named = file.name.empty() ? "the file" : Shown(file.name, "");
    if (file.source.empty())
        return named + " has no source after '='";
    const std::filesystem::path path = Joined(sources, file.source);
    return ReadableProblem("the source of " + named + ", " + ShownSource(file.source, path), path, kLargestSource,
                           "a file the installer carries may hold at most");
}

Verdict KindProblem(const DescribedFile& first, std::size_t count)
{
    // The ending as the player reads it; the rule reads UTF-16 units, which gives the same kind.
    const std::u32string codePoints = CodePoints(first.name);
    const std::u32string ending = codePoints.substr(codePoints.size() < 3 ? 0 : codePoints.size() - 3);
    const std::string listed = std::to_string(count) + (count == 1 ? " is listed" : " are listed");
    if (const auto kind = KindOf(first.units)) {
        if (count == kind->files)
            return std::nullopt;
        return "the first file " + Shown(first.name) + " ends in " + Shown(Utf8(ending)) + ", which makes a " +
               std::string(kind->name) + " package: the installer writes exactly " + std::string(kind->count) +
               " files, and " + listed;
    }
    if (count == 1)
        return std::nullopt;
    std::u32string lower = ending;
    for (char32_t& c : lower)
        c = (c >= U'A' && c <= U'Z') ? c + 32 : c == 0x212A ? U'k' : c; // the Kelvin sign lowers to k
    // Near a kind when the installer's own rule would take the ending in lower case for one.
    const std::string lowered = Utf8(lower);
    const std::string near = KindOf(Utf8ToUtf16(lowered).value_or(u"")) ? lowered : "";
    // The installer's own endings, which are ASCII.
    const auto endingOf = [](std::wstring_view kind) { return std::string(kind.begin(), kind.end()); };
    std::string text = "the first file " + Shown(first.name) + " ends in " + Shown(Utf8(ending)) +
                       ", which is neither " + Shown(endingOf(kDeckEnding)) + " (a deck package of eight files) nor " +
                       Shown(endingOf(kFaceEnding)) +
                       " (a face package of five): "
                       "the installer then writes this one file only, and " +
                       listed;
    if (!near.empty())
        text += "; the ending is compared case by case, so " + Shown(Utf8(ending)) + " is not " + Shown(near);
    return text;
}

void Check(const Parsed& parsed, const std::filesystem::path& sources, Problems& problems)
{
    const Description& description = parsed.description;
    const auto add = [&](int line, Verdict problem) {
        if (problem)
            problems.push_back({line, std::move(*problem)});
    };

    for (const Key& key : kKeys) {
        if (const auto line = description.keyLines.find(std::string(key.name)); line != description.keyLines.end())
            add(line->second, key.problem(description.*key.value, sources));
    }

    const std::vector<DescribedFile>& files = description.files;
    std::map<std::u16string, std::size_t> earlier;
    for (std::size_t i = 0; i < files.size(); ++i) {
        const int line = files[i].line;
        if (i == kMostFiles)
            add(line, "a ninth file: a package holds at most eight");
        add(line, FileNameProblem(files, i, earlier));
        add(line, SourceProblem(files[i], sources));
    }
    NamedFiles named;
    for (std::size_t i = 0; i < files.size(); ++i)
        named[files[i].units].push_back(i);
    for (std::size_t i = 0; i < files.size(); ++i)
        add(files[i].line, LeftoverProblem(files, i, named));
    // The count is judged only when every file line could be read.
    if (!files.empty() && !files[0].name.empty() && files.size() <= kMostFiles && parsed.unreadableFiles == 0)
        add(files[0].line, KindProblem(files[0], files.size()));
}

} // namespace

std::optional<PackageKind> KindOf(std::u16string_view firstName)
{
    // The installer's own rule decides how many files it writes; the kinds only name the counts.
    constexpr PackageKind kKinds[] = {{"deck", 8, "eight"}, {"face", 5, "five"}};
    const auto written = static_cast<std::size_t>(LastFileIndexFor(WideUnits(firstName))) + 1;
    const auto kind = std::find_if(std::begin(kKinds), std::end(kKinds),
                                   [&](const PackageKind& item) { return item.files == written; });
    if (kind == std::end(kKinds))
        return std::nullopt;
    return *kind;
}

std::optional<std::array<std::uint16_t, 4>> VersionNumbers(std::string_view text)
{
    auto numbers = ParseVersion(text);
    if (!numbers)
        return std::nullopt;
    return *numbers;
}

tazel::Expected<Description, std::vector<Problem>>
CheckDescription(std::span<const std::byte> bytes, const std::filesystem::path& sources, Description* read)
{
    const std::string_view text(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    // One line for it, not one for each line that does not read as UTF-8.
    if (const auto encoding = WideEncoding(text))
        return Unexpected(Problems{{0, "is " + std::string(*encoding) + "; save the description as UTF-8"}});
    Problems problems;
    Parsed parsed = Parse(text, problems);
    if (read)
        *read = parsed.description;
    Check(parsed, sources, problems);
    if (problems.empty())
        return std::move(parsed.description);
    std::sort(problems.begin(), problems.end(),
              [](const Problem& a, const Problem& b) { return a.line != b.line ? a.line < b.line : a.text < b.text; });
    return Unexpected(std::move(problems));
}

tazel::Expected<Description, std::vector<Problem>> ReadDescription(const std::filesystem::path& path,
                                                                   const std::filesystem::path& sources)
{
    const auto unreadable = [](const SystemError& error) {
        return Unexpected(Problems{{0, "cannot be read (" + error.description + ")"}});
    };
    // On Windows such a name opens the device, which reads as empty.
    if (const auto device = DeviceNamed(path)) {
        const std::u8string name = path.filename().u8string();
        return Unexpected(
            Problems{{0, "the name " + Shown(std::string(name.begin(), name.end())) + " is the device " + *device +
                             " to Windows, which opens the device in its place; give the description another name"}});
    }
    const auto bytes = ReadUpTo(path, kLargestDescription);
    if (!bytes)
        return unreadable(bytes.error());
    if (bytes->size() > kLargestDescription)
        return Unexpected(Problems{{0, "is larger than 1 MiB; a description is a short text file"}});
    return CheckDescription(*bytes, sources);
}

std::vector<KeyGuide> DescribedKeys()
{
    std::vector<KeyGuide> keys;
    for (const Key& key : kKeys)
        keys.push_back(
            {key.name, key.required, key.takes, key.byDefault, key.example, key.namesFile, key.choices, key.value});
    return keys;
}

std::vector<KindGuide> PackageKinds()
{
    std::vector<KindGuide> kinds;
    for (const std::wstring_view ending : {std::wstring_view(kDeckEnding), std::wstring_view(kFaceEnding)}) {
        // The endings are ASCII.
        const std::string text(ending.begin(), ending.end());
        if (const auto kind = KindOf(Units(text)))
            kinds.push_back({kind->name, text, kind->files, kind->count});
    }
    return kinds;
}

std::string ProblemReport(const std::string& shownPath, const std::vector<Problem>& problems)
{
    std::string report;
    for (const Problem& problem : problems) {
        report += shownPath;
        if (problem.line != 0)
            report += ':' + std::to_string(problem.line);
        report += ": " + problem.text + '\n';
    }
    report += shownPath + ": not built: " + std::to_string(problems.size()) +
              (problems.size() > 1 ? " problems\n" : " problem\n");
    return report;
}

std::string Summary(const Description& description)
{
    std::string names;
    for (const DescribedFile& file : description.files) {
        names += names.empty() ? "" : ", ";
        names += file.name;
    }
    const auto kind = KindOf(description.files.empty() ? std::u16string() : description.files[0].units);
    return description.installerName + ".exe: a " + std::string(kind ? kind->name : "one-file") + " package: " + names +
           "\n" + "  the window's bottom line: " + description.displayName + " Installation\n" +
           "  the box at the end:       " + description.displayName + " Installed!\n" +
           (description.compression == "lzma" ? "  its files stored compressed (LZMA)\n" : "");
}

} // namespace tazel::pack
