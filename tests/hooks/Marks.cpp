// A test build's keeper of the marks of platform/Marks.h, for the benchmark's breakdown
// (bench/bench.py). When the run ends, it writes them to the file the environment variable
// TAZEL_TEST_MARKS names, one line per mark in the order they were made: the name, then when the
// mark was made and when it went, in microseconds of the performance counter from the first mark.
// Without the variable it writes nothing.

#include <windows.h>

#include "platform/Marks.h"
#include "platform/Owners.h"

namespace {

struct Entry {
    const char* name = nullptr;
    LONGLONG made = 0;
    LONGLONG gone = 0;
};

// A run makes about twenty marks.
constexpr unsigned kCapacity = 64;
Entry entries[kCapacity];
unsigned count = 0;

LONGLONG Now() noexcept
{
    LARGE_INTEGER now = {};
    QueryPerformanceCounter(&now);
    return now.QuadPart;
}

class Writer {
public:
    Writer() = default;
    Writer(const Writer&) = delete;
    Writer& operator=(const Writer&) = delete;
    ~Writer()
    {
        wchar_t path[MAX_PATH] = {};
        const DWORD length = GetEnvironmentVariableW(L"TAZEL_TEST_MARKS", path, MAX_PATH);
        if (length == 0 || length >= MAX_PATH || count == 0)
            return;
        const tazel::win32::UniqueFile file(
            CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file)
            return;
        LARGE_INTEGER frequency = {};
        QueryPerformanceFrequency(&frequency);
        const auto micros = [&](LONGLONG ticks) {
            return static_cast<unsigned long>((ticks - entries[0].made) * 1'000'000 / frequency.QuadPart);
        };
        for (unsigned i = 0; i < count; ++i) {
            char line[96] = {};
            const int size =
                wsprintfA(line, "%s %lu %lu\r\n", entries[i].name, micros(entries[i].made), micros(entries[i].gone));
            DWORD written = 0;
            WriteFile(file.get(), line, static_cast<DWORD>(size), &written, nullptr);
        }
    }
};

const Writer writer;

} // namespace

namespace tazel::win32 {

Mark::Mark(const char* name) noexcept : index_(count < kCapacity ? count++ : kCapacity)
{
    if (index_ < kCapacity)
        entries[index_] = {name, Now(), 0};
}

Mark::~Mark()
{
    if (index_ < kCapacity)
        entries[index_].gone = Now();
}

} // namespace tazel::win32
