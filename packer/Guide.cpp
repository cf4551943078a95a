#include "packer/Guide.h"

#include <algorithm>
#include <vector>

#include "packer/Description.h"

namespace tazel::pack {
namespace {

constexpr std::size_t kWidth = 79;
// Joins words that Wrapped keeps on one line ("'name~=~source'"), and is shown as a space.
constexpr char kJoin = '~';

constexpr std::string_view kFiles =
    "the files in the order the installer writes them, one 'name~=~source' a line: the name the file gets in "
    "the game's graphics folder, and the file it is made from, relative to the description's folder (or to "
    "--sources~FOLDER). Spaces around a name or a source are not part of it; a name in double quotes may hold "
    "'=' or start with '#'.";

// `text` in lines of at most kWidth columns (a longer word stays whole): the first after `first`,
// the others after `rest`.
std::string Wrapped(std::string_view text, std::string_view first, std::string_view rest)
{
    std::string out(first);
    std::size_t column = first.size();
    bool lineEmpty = true;
    for (std::size_t start = 0; start < text.size();) {
        const std::size_t end = std::min(text.find(' ', start), text.size());
        const std::string_view word = text.substr(start, end - start);
        start = end + 1;
        if (word.empty())
            continue;
        if (!lineEmpty && column + 1 + word.size() > kWidth) {
            out += '\n';
            out += rest;
            column = rest.size();
            lineEmpty = true;
        }
        if (!lineEmpty) {
            out += ' ';
            ++column;
        }
        out += word;
        column += word.size();
        lineEmpty = false;
    }
    std::replace(std::begin(out), std::end(out), kJoin, ' ');
    return out + "\n";
}

std::string Capitalised(std::string_view word)
{
    std::string out(word);
    if (!out.empty() && out[0] >= 'a' && out[0] <= 'z')
        out[0] = static_cast<char>(out[0] - 'a' + 'A');
    return out;
}

// A key's example for a package of the kind titled `title` ("Deck").
std::string Example(std::string_view example, std::string_view title)
{
    constexpr std::string_view kPlaceholder = "{Kind}";
    std::string out(example);
    if (const std::size_t at = out.find(kPlaceholder); at != std::string::npos)
        out.replace(at, kPlaceholder.size(), title);
    return out;
}

} // namespace

std::string KindNames()
{
    std::string names;
    const std::vector<KindGuide> kinds = PackageKinds();
    for (std::size_t i = 0; i < kinds.size(); ++i)
        names += std::string(i == 0 ? "" : i + 1 == kinds.size() ? " or " : ", ") + std::string(kinds[i].name);
    return names;
}

std::string DescriptionGuide()
{
    std::string text = Wrapped("A package description is UTF-8 text, one item a line; blank lines and lines that "
                               "start with '#' are passed over. Before " +
                                   std::string(kFilesSection) + ", 'key = value' lines, each key at most once:",
                               "", "");
    const std::vector<KeyGuide> keys = DescribedKeys();
    const auto longest = std::max_element(std::begin(keys), std::end(keys), [](const KeyGuide& a, const KeyGuide& b) {
        return a.name.size() < b.name.size();
    });
    const std::size_t column = 2 + longest->name.size() + 2;
    for (const KeyGuide& key : keys) {
        std::string first = "  " + std::string(key.name);
        first.resize(column, ' ');
        const std::string what = key.required ? "required: " + std::string(key.takes)
                                              : std::string(key.takes) + "; default: " + std::string(key.byDefault);
        text += Wrapped(what, first, std::string(column, ' '));
    }
    text += Wrapped("After " + std::string(kFilesSection) + ", " + std::string(kFiles), "", "");
    text += Wrapped("The first file's name makes the package's kind by its last three characters, upper and lower "
                    "case counting:",
                    "", "");
    const std::string other = "anything else";
    for (const KindGuide& kind : PackageKinds()) {
        std::string first = "  ends in '" + kind.ending + "'";
        first.resize(std::max(first.size(), 2 + other.size()) + 2, ' ');
        text += Wrapped("a " + std::string(kind.name) + " package: list exactly " + std::string(kind.count) + " files",
                        first, std::string(first.size(), ' '));
    }
    text += "  " + other + "  the installer writes the first file alone: list exactly one\n";
    return text;
}

std::optional<std::string> StarterDescription(std::string_view kindName)
{
    const std::vector<KindGuide> kinds = PackageKinds();
    const auto kind =
        std::find_if(std::begin(kinds), std::end(kinds), [&](const KindGuide& item) { return item.name == kindName; });
    if (kind == kinds.end())
        return std::nullopt;
    const std::string title = Capitalised(kind->name);

    std::string text = Wrapped("A " + std::string(kind->name) +
                                   " package for tazelpack. Fill in the names and put the files in place, then "
                                   "'tazelpack --check THIS-FILE' checks it and writes nothing, and 'tazelpack "
                                   "THIS-FILE' makes the installer. Lines that start with '#' are notes; 'tazelpack "
                                   "--help' tells the whole form.",
                               "# ", "# ") +
                       "\n";
    bool optional = false;
    for (const KeyGuide& key : DescribedKeys()) {
        if (!key.required && !optional) {
            text += "\n# The rest is optional: take away the '# ' before a line to give it.\n";
            optional = true;
        }
        if (key.required) {
            text += Wrapped(std::string(key.name) + " (required): " + std::string(key.takes), "# ", "#   ");
            text += std::string(key.name) + " = " + Example(key.example, title) + "\n";
        } else {
            text += Wrapped(std::string(key.name) + ": " + std::string(key.takes) + "; without it, " +
                                std::string(key.byDefault),
                            "# ", "#   ");
            text += "# " + std::string(key.name) + " = " + Example(key.example, title) + "\n";
        }
    }

    // Names as the product's deck spells them: the first with the kind's ending, then the card
    // pictures' strips; every source the name it gets.
    const std::string stem = "My" + title;
    std::vector<std::string> names = {stem + "." + kind->ending};
    for (std::size_t i = 1; i < kind->files; ++i)
        names.push_back(stem + std::to_string(i - 1) + ".cbx");
    text += '\n';
    text += kFilesSection;
    text += '\n';
    text += Wrapped("Below: " + std::string(kFiles), "# ", "# ");
    text += Wrapped("The first name ends in '" + kind->ending + "', which makes a " + std::string(kind->name) +
                        " package: the installer writes exactly these " + std::string(kind->count) + " files.",
                    "# ", "# ");
    for (const std::string& name : names)
        text += name + " = " + name + "\n";
    return text;
}

} // namespace tazel::pack
