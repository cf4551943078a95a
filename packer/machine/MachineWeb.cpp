// The machine layer in a browser's page (packer/web/). There is no file system: the files are those
// the page hands over, each held once in the module's memory and read through musl's fmemopen; the
// installer goes to a slot the page takes; printing goes to buffers the page reads. Jobs run on the
// module's threads where the page has them (a cross-origin isolated page), else one after another.

#include "packer/machine/Machine.h"
#include "packer/machine/MachineWeb.h"

#include <emscripten.h>
#include <emscripten/threading.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <map>
#include <memory>
#include <mutex>
#include <new>
#include <system_error>
#include <thread>
#include <utility>

// Progress told to the worker's hook, when it has one (packer/web/worker.js).
EM_JS(void, TellPage, (double done, double total), {
    if (Module["onProgress"])
        Module["onProgress"](done, total);
});

// A written file copied out of the module's memory, for the page to take; 0 when the browser has
// no room for the copy.
EM_JS(int, HandToPage, (const char* name, const void* bytes, size_t size), {
    try {
        Module["written"] = {name : UTF8ToString(name), bytes : HEAPU8.slice(bytes, bytes + size)};
        return 1;
    } catch (error) {
        return 0;
    }
});

namespace tazel::pack {
namespace {

struct HeldFile {
    std::unique_ptr<std::byte[]> bytes;
    std::size_t size = 0;
};

// Filled and emptied by the page's thread alone, and never while an installer is being made; the
// checks that run meanwhile only read it.
std::map<std::string, HeldFile>& Files()
{
    static std::map<std::string, HeldFile> files;
    return files;
}

std::string& CurrentFolder()
{
    static std::string folder;
    return folder;
}

std::mutex& OutputLock()
{
    static std::mutex lock;
    return lock;
}

web::Printed& PrintedText()
{
    static web::Printed printed;
    return printed;
}

std::atomic<std::uint64_t> progressDone{0};
std::atomic<std::uint64_t> progressTotal{0};

// The parts of a path, '.' and empty ones dropped and '..' taking the part before it away; a '..'
// above the top stays, and names nothing there is.
std::vector<std::string> PartsOf(std::string_view text)
{
    std::vector<std::string> parts;
    for (std::size_t start = 0; start <= text.size();) {
        const std::size_t end = std::min(text.find('/', start), text.size());
        const std::string_view part = text.substr(start, end - start);
        start = end + 1;
        if (part.empty() || part == ".")
            continue;
        if (part == ".." && !parts.empty() && parts.back() != "..")
            parts.pop_back();
        else
            parts.emplace_back(part);
    }
    return parts;
}

std::string PathText(const std::vector<std::string>& parts)
{
    std::string text;
    for (const std::string& part : parts)
        text += (text.empty() ? "" : "/") + part;
    return text;
}

// The key a path is held under: from the top of what the page handed over.
std::string KeyOf(const std::filesystem::path& path)
{
    const std::string text = path.string();
    if (text.starts_with('/'))
        return PathText(PartsOf(text));
    return PathText(PartsOf(CurrentFolder() + "/" + text));
}

SystemError Failure(std::errc code)
{
    const std::error_code error = std::make_error_code(code);
    return {error, error.message()};
}

const HeldFile* Find(const std::filesystem::path& path)
{
    const auto found = Files().find(KeyOf(path));
    return found == Files().end() ? nullptr : &found->second;
}

bool IsFolder(const std::string& key)
{
    if (key.empty())
        return true;
    const std::string prefix = key + "/";
    const auto next = Files().lower_bound(prefix);
    return next != Files().end() && next->first.starts_with(prefix);
}

} // namespace

namespace web {

std::byte* HoldFile(std::string_view path, std::size_t size)
{
    const std::string key = PathText(PartsOf(path));
    Files().erase(key);
    // One byte at least, so that an empty file has an address fmemopen takes.
    std::unique_ptr<std::byte[]> bytes(new (std::nothrow) std::byte[std::max<std::size_t>(size, 1)]);
    if (!bytes)
        return nullptr;
    std::byte* place = bytes.get();
    try {
        Files()[key] = HeldFile{std::move(bytes), size};
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
    return place;
}

void ForgetFiles()
{
    Files().clear();
}

void SetCurrentFolder(std::string_view folder)
{
    CurrentFolder() = PathText(PartsOf(folder));
}

Printed TakePrinted()
{
    const std::lock_guard<std::mutex> locked(OutputLock());
    return std::exchange(PrintedText(), {});
}

Progress CurrentProgress()
{
    return {progressDone.load(), progressTotal.load()};
}

void ResetProgress()
{
    progressDone = 0;
    progressTotal = 0;
}

} // namespace web

SystemError LastSystemError()
{
    const std::error_code error(errno, std::generic_category());
    return {error, error.message()};
}

std::filesystem::path SystemPath(const std::filesystem::path& path)
{
    return path;
}

std::filesystem::path AbsolutePath(const std::filesystem::path& path)
{
    return std::filesystem::path("/" + KeyOf(path));
}

// As on Linux: '/' between the parts, without empty or "." parts, and ".." kept.
std::string ShownPath(const std::filesystem::path& path)
{
    const std::string text = path.string();
    std::string shown = text.starts_with('/') ? "/" : "";
    bool first = true;
    for (std::size_t start = 0; start < text.size();) {
        const std::size_t end = std::min(text.find('/', start), text.size());
        const std::string_view part = std::string_view(text).substr(start, end - start);
        start = end + 1;
        if (part.empty() || part == ".")
            continue;
        shown += first ? "" : "/";
        shown += part;
        first = false;
    }
    return shown.empty() ? "." : shown;
}

std::optional<std::string> DeviceNamed(const std::filesystem::path&)
{
    return std::nullopt;
}

// Folders are there as soon as a file is: the installer's slot takes any name.
tazel::Expected<void, SystemError> MakeFolders(const std::filesystem::path&)
{
    return {};
}

tazel::Expected<FileFacts, SystemError> Inspect(const std::filesystem::path& path)
{
    if (const HeldFile* file = Find(path))
        return FileFacts{FileKind::Regular, file->size};
    if (IsFolder(KeyOf(path)))
        return FileFacts{FileKind::Folder};
    return Unexpected(Failure(std::errc::no_such_file_or_directory));
}

tazel::Expected<InputFile, SystemError> InputFile::Open(const std::filesystem::path& path)
{
    const HeldFile* file = Find(path);
    if (!file)
        return Unexpected(Failure(IsFolder(KeyOf(path)) ? std::errc::is_a_directory
                                                        : std::errc::no_such_file_or_directory));
    errno = 0;
    std::FILE* stream = fmemopen(file->bytes.get(), file->size, "rb");
    if (!stream)
        return Unexpected(LastSystemError());
    return InputFile(stream);
}

// Handed to the page whole, outside the module's memory, so that a large installer is not held in
// it twice; from another thread, through the worker's own, which holds the page's side.
Expected<void> WriteWholeFile(const std::filesystem::path& target, std::span<const std::byte> bytes)
{
    const std::string shown = ShownPath(target);
    int handed = 0;
#ifdef __EMSCRIPTEN_PTHREADS__
    if (!emscripten_is_main_runtime_thread())
        handed = emscripten_sync_run_in_main_runtime_thread(EM_FUNC_SIG_IIII, HandToPage, shown.c_str(), bytes.data(),
                                                            bytes.size());
    else
#endif
        handed = HandToPage(shown.c_str(), bytes.data(), bytes.size());
    if (!handed)
        return Refuse("not enough memory in this browser to hand over the installer of " +
                      std::to_string(bytes.size()) + " bytes");
    return {};
}

void PrintOut(const std::string& text)
{
    const std::lock_guard<std::mutex> locked(OutputLock());
    PrintedText().out += text;
}

void PrintError(const std::string& text)
{
    const std::lock_guard<std::mutex> locked(OutputLock());
    PrintedText().error += text;
}

// From any thread; the page reads the figures while the work goes on (packer/web/), or, when the
// work runs on its own thread, is told at once: its messages still go out while that thread works.
void ReportProgress(std::uint64_t done, std::uint64_t total)
{
    progressTotal = total;
    for (std::uint64_t seen = progressDone.load(); seen < done && !progressDone.compare_exchange_weak(seen, done);) {
    }
    if (emscripten_is_main_runtime_thread())
        TellPage(static_cast<double>(done), static_cast<double>(total));
}

void RunJobs(std::size_t count, Job job, void* context)
{
    std::atomic<std::size_t> next = 0;
    const auto work = [&]() noexcept {
        for (std::size_t i = next++; i < count; i = next++)
            job(context, i);
    };
    std::vector<std::thread> threads;
#ifdef __EMSCRIPTEN_PTHREADS__
    // The module's pool of workers is made as the page loads, and the installer is made on one of
    // them: the helpers take the rest, so that no thread waits for a worker to be made.
    const std::size_t most =
        std::min<std::size_t>(std::max(1u, std::thread::hardware_concurrency()), TAZEL_WEB_MOST_THREADS);
    const std::size_t helpers = std::min(most, count) - 1;
    for (std::size_t i = 0; i < helpers; ++i) {
        try {
            threads.emplace_back(work);
        } catch (const std::system_error&) {
            break;
        }
    }
#endif
    work();
    for (std::thread& thread : threads)
        thread.join();
}

} // namespace tazel::pack
