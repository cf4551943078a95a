// The package maker's page: the entry its worker (packer/web/worker.js) calls. Everything the page
// tells a publisher comes from here, from the packer's own code: the key table and the kinds, the
// starter descriptions, the checks of a description with their lines, the window's layout, and
// the installer, made as tazelpack makes it (packer/programs/Commands.h) through the machine layer
// held in memory (packer/machine/MachineMemory.h). Texts go out as JSON, the preview's pictures
// through a slot the worker reads, and the installer out of the module's memory (PageMachine.cpp).

#include <emscripten.h>
#include <emscripten/threading.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <new>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "core/Messages.h"
#include "core/PackageManifest.h"
#include "core/Text.h"
#include "core/Utf.h"
#include "packer/Description.h"
#include "packer/Guide.h"
#include "packer/Kit.h"
#include "packer/PackerVersion.h"
#include "packer/image/Icon.h"
#include "packer/image/Picture.h"
#include "packer/machine/Machine.h"
#include "packer/machine/MachineMemory.h"
#include "packer/programs/Commands.h"
#include "resources/WindowLayout.h"

namespace tazel::pack {
namespace {

// JSON -------------------------------------------------------------------------------------------

std::string Quoted(std::string_view text)
{
    std::string out = "\"";
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (byte < 0x20) {
            out += "\\u" + HexDigits(byte, 4);
        } else {
            out += c;
        }
    }
    return out + "\"";
}

std::string Wide(const wchar_t* text)
{
    return Utf16ToUtf8(Utf16Units(text));
}

// Builds one JSON object, member by member.
class Object {
public:
    Object& Add(std::string_view name, const std::string& json)
    {
        text_ += (text_.empty() ? "{" : ",") + Quoted(name) + ":" + json;
        return *this;
    }
    Object& Text(std::string_view name, std::string_view value) { return Add(name, Quoted(value)); }
    Object& Number(std::string_view name, double value)
    {
        const auto whole = static_cast<long long>(value);
        return Add(name, static_cast<double>(whole) == value ? std::to_string(whole) : std::to_string(value));
    }
    Object& Flag(std::string_view name, bool value) { return Add(name, value ? "true" : "false"); }
    [[nodiscard]] std::string Json() const { return text_.empty() ? "{}" : text_ + "}"; }

private:
    std::string text_;
};

std::string List(const std::vector<std::string>& items)
{
    std::string out = "[";
    for (std::size_t i = 0; i < items.size(); ++i)
        out += (i == 0 ? "" : ",") + items[i];
    return out + "]";
}

// What a call hands the worker; one at a time, until the next call of its kind.
const char* Handed(std::string& slot, std::string json)
{
    slot = std::move(json);
    return slot.c_str();
}

// The layout --------------------------------------------------------------------------------------

std::string BoxJson(const layout::Box& box)
{
    return Object()
        .Number("left", box.left)
        .Number("top", box.top)
        .Number("width", box.width)
        .Number("height", box.height)
        .Json();
}

std::string ColourJson(const layout::Rgb& colour)
{
    return "[" + std::to_string(colour.red) + "," + std::to_string(colour.green) + "," + std::to_string(colour.blue) +
           "]";
}

std::string LayoutJson(int dpi)
{
    const layout::WindowLayout figures = layout::LayoutAt(dpi);
    std::vector<std::string> lines;
    for (std::size_t i = 0; i < layout::kLines.size(); ++i) {
        const layout::Line& line = layout::kLines[i];
        Object item;
        item.Add("box", BoxJson(figures.lines[i]))
            .Number("fontHeight", figures.fontHeights[i])
            .Flag("italic", line.italic)
            .Add("colour", ColourJson(line.colour));
        // The package line's text arrives with the package.
        item.Add("text", line.text ? Quoted(Wide(line.text)) : "null");
        lines.push_back(item.Json());
    }
    // The window draws the picture at its own size, scaled with the window (ui/MainWindow.cpp).
    const int pictureWidth = layout::MulDivRound(static_cast<int>(kWindowPictureWidth), dpi, layout::kDesignDpi);
    const int pictureHeight = layout::MulDivRound(static_cast<int>(kWindowPictureHeight), dpi, layout::kDesignDpi);
    return Object()
        .Number("dpi", dpi)
        .Number("clientWidth", figures.clientWidth)
        .Number("clientHeight", figures.clientHeight)
        .Add("panel", BoxJson(figures.panel))
        .Add("picture", BoxJson(figures.picture))
        .Add("pictureDrawn", Object().Number("width", pictureWidth).Number("height", pictureHeight).Json())
        .Add("windowBackground", ColourJson(layout::kWindowBackground))
        .Add("panelBackground", ColourJson(layout::kPanelBackground))
        .Text("title", Wide(layout::kWindowTitle))
        .Text("face", Wide(layout::kLineFace))
        .Number("weight", layout::kLineWeight)
        .Add("lines", List(lines))
        .Json();
}

std::string KindJson(const PackageKind& kind)
{
    return Object()
        .Text("name", kind.name)
        .Number("files", static_cast<double>(kind.files))
        .Text("count", kind.count)
        .Json();
}

// Icons for the title bar ----------------------------------------------------------------------------

struct IconEntry {
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    std::uint8_t colours = 0;
    std::uint16_t planes = 0;
    std::uint16_t bitCount = 0;
    std::span<const std::byte> bytes;
};

void Put16(std::vector<std::byte>& out, std::uint32_t value)
{
    out.push_back(static_cast<std::byte>(value & 0xFF));
    out.push_back(static_cast<std::byte>((value >> 8) & 0xFF));
}

void Put32(std::vector<std::byte>& out, std::uint32_t value)
{
    Put16(out, value & 0xFFFF);
    Put16(out, value >> 16);
}

// The image the title bar shows at `size` pixels, as the system picks it: that size, else the
// smallest larger, else the largest; of those the most bits a pixel. An icon file of it alone,
// which the browser draws.
std::vector<std::byte> TitleBarIcon(const std::vector<IconEntry>& entries, std::uint32_t size)
{
    const auto better = [size](const IconEntry& a, const IconEntry& b) {
        const auto rank = [size](const IconEntry& e) {
            return e.width == size ? 0u : e.width > size ? e.width : 100000u - e.width;
        };
        return rank(a) != rank(b) ? rank(a) < rank(b) : a.bitCount > b.bitCount;
    };
    const auto chosen = std::min_element(std::begin(entries), std::end(entries), better);
    std::vector<std::byte> file;
    if (chosen == entries.end())
        return file;
    constexpr std::uint32_t kHeadSize = 6 + 16;
    Put16(file, 0);
    Put16(file, 1); // an icon
    Put16(file, 1); // one image
    file.push_back(static_cast<std::byte>(chosen->width >= 256 ? 0 : chosen->width));
    file.push_back(static_cast<std::byte>(chosen->height >= 256 ? 0 : chosen->height));
    file.push_back(static_cast<std::byte>(chosen->colours));
    file.push_back(std::byte{0});
    Put16(file, chosen->planes);
    Put16(file, chosen->bitCount);
    Put32(file, static_cast<std::uint32_t>(chosen->bytes.size()));
    Put32(file, kHeadSize);
    file.insert(file.end(), chosen->bytes.begin(), chosen->bytes.end());
    return file;
}

// The kit's icon, which is one image and a group that names it.
std::vector<IconEntry> KitIcon()
{
    const Kit& kit = BuiltInKit();
    const auto byte = [&](std::size_t at) { return std::to_integer<std::uint32_t>(kit.iconGroup[at]); };
    constexpr std::size_t kEntryAt = 6;
    if (kit.iconGroup.size() < kEntryAt + 14)
        return {};
    IconEntry entry;
    entry.width = byte(kEntryAt) == 0 ? 256 : byte(kEntryAt);
    entry.height = byte(kEntryAt + 1) == 0 ? 256 : byte(kEntryAt + 1);
    entry.colours = static_cast<std::uint8_t>(byte(kEntryAt + 2));
    entry.planes = static_cast<std::uint16_t>(byte(kEntryAt + 4) | byte(kEntryAt + 5) << 8);
    entry.bitCount = static_cast<std::uint16_t>(byte(kEntryAt + 6) | byte(kEntryAt + 7) << 8);
    entry.bytes = kit.iconImage;
    return {entry};
}

// What the worker reads after a call that hands bytes over.
std::vector<std::byte> handedBytes;

// Reading a named source, as the description's check reads it: up to 16 MiB, an icon or picture.
constexpr std::size_t kLargestArt = std::size_t{16} << 20;

// The form -----------------------------------------------------------------------------------------

struct Form {
    std::vector<std::pair<std::string, std::string>> keys;
    std::vector<std::pair<std::string, std::string>> files;
};
Form form;

// A file name as a description line holds it: in double quotes where it starts with one or with
// '#', holds '=', or has spaces at its ends, which the reader would otherwise take for a note,
// split at the '=' or trim.
std::string FileNameText(const std::string& name)
{
    const bool quoted = name.starts_with('"') || name.starts_with('#') || name.find('=') != std::string::npos ||
                        name.starts_with(' ') || name.starts_with('\t') || name.ends_with(' ') || name.ends_with('\t');
    return quoted ? "\"" + name + "\"" : name;
}

// Making the installer -------------------------------------------------------------------------------

std::atomic<bool> packing{false};
std::string packResult;

#ifdef __EMSCRIPTEN_PTHREADS__
// Run on the worker's own thread once the installer is made on another.
void TellPacked()
{
    EM_ASM(if (Module["onPacked"]) Module["onPacked"]());
}
#endif

void Pack(std::string description)
{
    int status = kRefused;
    std::string name;
    try {
        if (const auto package = PackageFromDescription(PathFromUtf8(description), {})) {
            name = package->installerName;
            status = WriteInstaller(*package, BuiltInKit(), ".", name);
        }
    } catch (const std::bad_alloc&) {
        Complain("not enough memory to make the installer; no installer was written");
        status = kRefused;
    } catch (const std::exception& error) {
        // Nothing else is thrown on the way; were it, the module would end without this.
        Complain(std::string(error.what()) + "; no installer was written");
        status = kRefused;
    }
    memory::Printed printed = memory::TakePrinted();
    packResult = Object()
                     .Number("status", status)
                     .Text("name", name)
                     .Text("out", printed.out)
                     .Text("error", printed.error)
                     .Json();
    packing = false;
#ifdef __EMSCRIPTEN_PTHREADS__
    if (!emscripten_is_main_runtime_thread())
        emscripten_async_run_in_main_runtime_thread(EM_FUNC_SIG_V, TellPacked);
#endif
}

} // namespace
} // namespace tazel::pack

using namespace tazel::pack;

extern "C" {

// Everything the page shows before a package is given, as JSON.
EMSCRIPTEN_KEEPALIVE const char* tazel_start()
{
    static std::string slot;
    std::vector<std::string> keys;
    for (const KeyGuide& key : DescribedKeys()) {
        std::string takes(key.takes);
        std::replace(takes.begin(), takes.end(), '~', ' ');
        keys.push_back(Object()
                           .Text("name", key.name)
                           .Flag("required", key.required)
                           .Text("takes", takes)
                           .Text("byDefault", key.byDefault)
                           .Text("example", key.example)
                           .Flag("namesFile", key.namesFile)
                           .Text("choices", key.choices)
                           .Json());
    }
    std::vector<std::string> kinds;
    std::vector<std::string> starters;
    for (const KindGuide& kind : PackageKinds()) {
        kinds.push_back(Object()
                            .Text("name", kind.name)
                            .Text("ending", kind.ending)
                            .Number("files", static_cast<double>(kind.files))
                            .Text("count", kind.count)
                            .Json());
        starters.push_back(
            Object().Text("kind", kind.name).Text("text", StarterDescription(kind.name).value_or("")).Json());
    }
    const std::string texts = Object()
                                  .Text("packageLineSuffix", Wide(tazel::kPackageLineSuffix))
                                  .Text("installedSuffix", Wide(tazel::kInstalledSuffix))
                                  .Text("successTitle", Wide(tazel::messages::kSuccessTitle))
                                  .Text("filesSection", kFilesSection)
                                  .Json();
#ifdef __EMSCRIPTEN_PTHREADS__
    constexpr bool kThreads = true;
#else
    constexpr bool kThreads = false;
#endif
    return Handed(slot, Object()
                            .Text("version", TAZEL_PACKER_VERSION_TEXT)
                            .Flag("threads", kThreads)
                            .Number("processors", std::thread::hardware_concurrency())
                            .Add("keys", List(keys))
                            .Add("kinds", List(kinds))
                            .Add("starters", List(starters))
                            .Add("texts", texts)
                            .Add("layout", LayoutJson(tazel::layout::kDesignDpi))
                            .Json());
}

EMSCRIPTEN_KEEPALIVE const char* tazel_layout(int dpi)
{
    static std::string slot;
    return Handed(slot, LayoutJson(std::clamp(dpi, 48, 960)));
}

// Files --------------------------------------------------------------------------------------------

EMSCRIPTEN_KEEPALIVE std::byte* tazel_hold(const char* path, std::size_t size)
{
    return memory::HoldFile(path, size);
}

EMSCRIPTEN_KEEPALIVE void tazel_forget()
{
    memory::Clear();
}

EMSCRIPTEN_KEEPALIVE void tazel_folder(const char* folder)
{
    memory::SetCurrentFolder(folder);
}

// The description's check: its problems with their lines in the packer's own words, what could be
// read of it, the kind its first name makes, and when good the summary tazelpack gives.
EMSCRIPTEN_KEEPALIVE const char* tazel_check(const char* bytes, std::size_t size)
{
    static std::string slot;
    Description read;
    const auto checked = CheckDescription(std::as_bytes(std::span(bytes, size)), ".", &read);
    std::vector<std::string> problems;
    if (!checked) {
        for (const Problem& problem : checked.error())
            problems.push_back(Object().Number("line", problem.line).Text("text", problem.text).Json());
    }
    std::vector<std::string> files;
    for (const DescribedFile& file : read.files)
        files.push_back(Object().Text("name", file.name).Text("source", file.source).Number("line", file.line).Json());
    Object lines;
    for (const auto& [key, line] : read.keyLines)
        lines.Number(key, line);
    Object values;
    for (const KeyGuide& key : DescribedKeys())
        values.Text(key.name, read.*key.value);
    Object result;
    result.Add("problems", List(problems))
        .Add("values", values.Json())
        .Add("files", List(files))
        .Add("keyLines", lines.Json());
    const auto kind = read.files.empty() ? std::nullopt : KindOf(read.files[0].units);
    result.Add("kind", kind ? KindJson(*kind) : "null");
    if (checked)
        result.Text("summary", Summary(*checked));
    return Handed(slot, result.Json());
}

// The kind a first file's name makes, by the installer's own rule; null for a one-file package.
EMSCRIPTEN_KEEPALIVE const char* tazel_kind(const char* firstName)
{
    static std::string slot;
    const auto units = tazel::Utf8ToUtf16(firstName);
    const auto kind = units ? KindOf(*units) : std::nullopt;
    return Handed(slot, kind ? KindJson(*kind) : "null");
}

// The form's description: its keys and files given one by one, then written as a publisher would.
EMSCRIPTEN_KEEPALIVE void tazel_form_begin()
{
    form = {};
}

EMSCRIPTEN_KEEPALIVE void tazel_form_key(const char* key, const char* value)
{
    form.keys.emplace_back(key, value);
}

EMSCRIPTEN_KEEPALIVE void tazel_form_file(const char* name, const char* source)
{
    form.files.emplace_back(name, source);
}

// The text, and for each line the key or the file (by its place) it holds: required keys always,
// the others when given, in the key table's order.
EMSCRIPTEN_KEEPALIVE const char* tazel_form_end()
{
    static std::string slot;
    std::string text;
    int line = 0;
    std::vector<std::string> fields;
    for (const KeyGuide& key : DescribedKeys()) {
        const auto given =
            std::find_if(form.keys.begin(), form.keys.end(), [&](const auto& item) { return item.first == key.name; });
        const std::string value = given == form.keys.end() ? "" : given->second;
        if (value.empty() && !key.required)
            continue;
        text += std::string(key.name) + " = " + value + "\n";
        fields.push_back(Object().Number("line", ++line).Text("key", key.name).Json());
    }
    text += "\n" + std::string(kFilesSection) + "\n";
    line += 2;
    for (std::size_t i = 0; i < form.files.size(); ++i) {
        text += FileNameText(form.files[i].first) + " = " + form.files[i].second + "\n";
        fields.push_back(Object().Number("line", ++line).Number("file", static_cast<double>(i)).Json());
    }
    return Handed(slot, Object().Text("text", text).Add("fields", List(fields)).Json());
}

// A picture or icon for the preview, from its source under the current folder, or the kit's when
// the source is empty: the bytes handed over (a JPEG or PNG, or an icon file of the image the
// title bar shows at `size` pixels), or what is wrong with the file as the check says it.
EMSCRIPTEN_KEEPALIVE const char* tazel_art(const char* what, const char* source, int size)
{
    static std::string slot;
    handedBytes.clear();
    const bool icon = std::string_view(what) == "icon";
    const Kit& kit = BuiltInKit();
    std::vector<std::byte> bytes;
    if (*source != '\0') {
        auto read = ReadUpTo(PathFromUtf8(source), kLargestArt);
        if (!read || read->empty() || read->size() > kLargestArt)
            return Handed(slot, Object().Flag("usable", false).Json());
        bytes = std::move(*read);
    } else if (!icon) {
        bytes.assign(kit.windowPicture.begin(), kit.windowPicture.end());
    }
    if (!icon) {
        if (WindowPictureProblem(bytes))
            return Handed(slot, Object().Flag("usable", false).Json());
        handedBytes = std::move(bytes);
        const char* type = IsPng(handedBytes) ? "image/png" : "image/jpeg";
        return Handed(slot, Object().Flag("usable", true).Text("type", type).Json());
    }
    std::vector<IconEntry> entries;
    if (*source == '\0') {
        entries = KitIcon();
    } else {
        const auto images = ReadIcon(bytes);
        if (!images)
            return Handed(slot, Object().Flag("usable", false).Json());
        for (const IconImage& image : *images)
            entries.push_back({image.width, image.height, image.colours, image.planes, image.bitCount, image.bytes});
    }
    handedBytes = TitleBarIcon(entries, static_cast<std::uint32_t>(std::clamp(size, 1, 256)));
    return Handed(slot, Object().Flag("usable", !handedBytes.empty()).Text("type", "image/x-icon").Json());
}

EMSCRIPTEN_KEEPALIVE const std::byte* tazel_handed_data()
{
    return handedBytes.data();
}

EMSCRIPTEN_KEEPALIVE std::size_t tazel_handed_size()
{
    return handedBytes.size();
}

EMSCRIPTEN_KEEPALIVE void tazel_handed_free()
{
    std::vector<std::byte>().swap(handedBytes);
}

// Makes the installer of the description held at `description` (under the current folder) as
// tazelpack makes it. With threads, on a thread of its own, so the worker goes on answering
// checks; tazel_pack_result tells when it is done. Without, before this returns. 0: started.
EMSCRIPTEN_KEEPALIVE int tazel_pack(const char* description)
{
    if (packing.exchange(true))
        return 1;
    memory::ResetProgress();
    (void)memory::TakePrinted();
    packResult.clear();
#ifdef __EMSCRIPTEN_PTHREADS__
    try {
        std::thread(Pack, std::string(description)).detach();
        return 0;
    } catch (const std::system_error&) {
        // No thread to be had: made here, as without threads.
    }
#endif
    Pack(description);
    return 0;
}

// Null while the installer is being made; then tazelpack's exit status and what it printed. The
// installer itself is then the module's Module.written (PageMachine.cpp).
EMSCRIPTEN_KEEPALIVE const char* tazel_pack_result()
{
    static std::string slot;
    if (packing)
        return nullptr;
    return Handed(slot, packResult);
}

EMSCRIPTEN_KEEPALIVE double tazel_progress_done()
{
    return static_cast<double>(memory::CurrentProgress().done);
}

EMSCRIPTEN_KEEPALIVE double tazel_progress_total()
{
    return static_cast<double>(memory::CurrentProgress().total);
}

} // extern "C"
