// What the page adds to the machine layer held in memory (packer/machine/MachineMemory.h): the
// installer written goes to the module's JavaScript, Module.written = {name, bytes}, outside the
// module's memory, so that a large one is not held there twice; progress is told to the worker.

#include <emscripten.h>
#include <emscripten/threading.h>

#include "packer/machine/MachineMemory.h"

// Progress told to the worker's hook, when it has one (worker.js).
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

// From another thread, through the worker's own, which holds the page's side.
bool HandOver(const std::string& shownPath, std::span<const std::byte> bytes) noexcept
{
#ifdef __EMSCRIPTEN_PTHREADS__
    if (!emscripten_is_main_runtime_thread())
        return emscripten_sync_run_in_main_runtime_thread(EM_FUNC_SIG_IIII, HandToPage, shownPath.c_str(), bytes.data(),
                                                          bytes.size()) != 0;
#endif
    return HandToPage(shownPath.c_str(), bytes.data(), bytes.size()) != 0;
}

// When the work runs on its own thread the page reads the figures as it goes (WebMain.cpp); on the
// worker's thread it is told at once, as its messages wait meanwhile.
void Tell(std::uint64_t done, std::uint64_t total) noexcept
{
    if (emscripten_is_main_runtime_thread())
        TellPage(static_cast<double>(done), static_cast<double>(total));
}

[[maybe_unused]] const bool connected = [] {
    memory::SetWriteSink(HandOver);
    memory::SetProgressListener(Tell);
    return true;
}();

} // namespace
} // namespace tazel::pack
