#pragma once
// The description target's input: a description, then the files it names, each after a line of
// its own "--- NAME":
//
//     installer-name = X
//     ...
//     [files]
//     a.cbx = a
//     --- a
//     <the bytes of a>
//
// The description's tests write their rows so as seeds (WriteSeed), the target takes them apart.

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace tazel::fuzz {

inline constexpr std::string_view kFileMark = "\n--- ";

struct Framed {
    std::string_view description;
    std::vector<std::pair<std::string_view, std::string_view>> files; // name, bytes
};

inline Framed Unframe(std::string_view input)
{
    Framed framed;
    std::size_t at = input.find(kFileMark);
    framed.description = input.substr(0, at);
    while (at != std::string_view::npos) {
        const std::size_t nameAt = at + kFileMark.size();
        const std::size_t bytesAt = std::min(input.find('\n', nameAt), input.size());
        at = input.find(kFileMark, bytesAt);
        const std::size_t bytesFrom = std::min(bytesAt + 1, input.size());
        framed.files.emplace_back(input.substr(nameAt, bytesAt - nameAt),
                                  input.substr(bytesFrom, std::min(at, input.size()) - bytesFrom));
    }
    return framed;
}

// When the environment names a folder (TAZEL_FUZZ_SEEDS), `description` goes there as a seed,
// framed with each source its lines name that `folder` holds; a source is the text after a line's
// first '='. A seed is small: a description or source past 64 KiB is left out.
inline void WriteSeed(std::string_view description, const std::string& folder)
{
    static int written = 0;
    constexpr std::size_t kLargest = 64 * 1024;
    const char* seeds = std::getenv("TAZEL_FUZZ_SEEDS");
    if (!seeds || description.size() > kLargest)
        return;
    std::string framed(description);
    std::vector<std::string> named;
    for (std::size_t start = 0; start < description.size();) {
        const std::size_t end = std::min(description.find('\n', start), description.size());
        std::string_view line = description.substr(start, end - start);
        start = end + 1;
        const std::size_t equals = line.find('=');
        if (equals == std::string_view::npos)
            continue;
        const std::size_t first = line.find_first_not_of(" \t", equals + 1);
        line = first == std::string_view::npos ? std::string_view() : line.substr(first);
        while (!line.empty() && (line.back() == ' ' || line.back() == '\t' || line.back() == '\r'))
            line.remove_suffix(1);
        const std::string name(line);
        if (name.empty() || std::find(named.begin(), named.end(), name) != named.end())
            continue;
        std::ifstream source(folder + "/" + name, std::ios::binary | std::ios::ate);
        const std::streamoff size = source ? static_cast<std::streamoff>(source.tellg()) : -1;
        std::string bytes(size < 0 || size > std::streamoff{kLargest} ? 0 : static_cast<std::size_t>(size), '\0');
        if (size < 0 || size > std::streamoff{kLargest} || !source.seekg(0).read(bytes.data(), size))
            continue;
        named.push_back(name);
        framed += std::string(kFileMark) + name + "\n" + bytes;
    }
    std::ofstream(std::string(seeds) + "/row-" + std::to_string(++written), std::ios::binary) << framed;
}

} // namespace tazel::fuzz
