// The integrity check's cost in 32-bit code, for the benchmark (scripts/bench.sh): hashes the
// payload entries of the installer named on the command line as the installer's check does, with
// the core's SHA-256 in steps of the core's size, and prints, as one JSON line, the payload's
// size, the best and median time of the whole and the longest single step, in milliseconds.

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <span>
#include <vector>

#include "core/Installer.h"
#include "core/PackageManifest.h"
#include "core/Sha256.h"

namespace {

constexpr int kRounds = 15;

double Milliseconds(LONGLONG ticks)
{
    LARGE_INTEGER frequency = {};
    QueryPerformanceFrequency(&frequency);
    return 1000.0 * static_cast<double>(ticks) / static_cast<double>(frequency.QuadPart);
}

LONGLONG Now()
{
    LARGE_INTEGER counter = {};
    QueryPerformanceCounter(&counter);
    return counter.QuadPart;
}

} // namespace

int wmain(int count, wchar_t** arguments)
{
    if (count != 2) {
        std::fputs("usage: TazelCheckTiming INSTALLER.exe\n", stderr);
        return 2;
    }
    const HMODULE installer =
        LoadLibraryExW(arguments[1], nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    if (!installer) {
        std::fprintf(stderr, "cannot load the installer (%lu)\n", GetLastError());
        return 1;
    }
    std::vector<std::span<const std::byte>> entries;
    for (int i = 0; i < static_cast<int>(tazel::kFileCount); ++i) {
        const HRSRC found = FindResourceExW(installer, tazel::kPayloadResourceType,
                                            MAKEINTRESOURCEW(tazel::kFirstPayloadResourceId + i),
                                            MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US));
        if (!found)
            continue;
        const auto* data = static_cast<const std::byte*>(LockResource(LoadResource(installer, found)));
        entries.emplace_back(data, SizeofResource(installer, found));
    }

    std::size_t bytes = 0;
    std::vector<double> wholes;
    double longestStep = 0;
    for (int round = 0; round < kRounds; ++round) {
        bytes = 0;
        const LONGLONG start = Now();
        for (std::span<const std::byte> entry : entries) {
            tazel::Sha256 sha;
            for (std::size_t at = 0; at < entry.size(); at += tazel::kCheckStepBytes) {
                const LONGLONG stepStart = Now();
                sha.Add(entry.subspan(at, std::min(tazel::kCheckStepBytes, entry.size() - at)));
                longestStep = std::max(longestStep, Milliseconds(Now() - stepStart));
            }
            static_cast<void>(sha.Finish());
            bytes += entry.size();
        }
        wholes.push_back(Milliseconds(Now() - start));
    }
    std::sort(wholes.begin(), wholes.end());
    std::printf("{\"entries\": %u, \"bytes\": %u, \"rounds\": %d, \"best_ms\": %.2f, \"median_ms\": %.2f, "
                "\"longest_step_ms\": %.3f}\n",
                static_cast<unsigned>(entries.size()), static_cast<unsigned>(bytes), kRounds, wholes.front(),
                wholes[wholes.size() / 2], longestStep);
    return 0;
}
