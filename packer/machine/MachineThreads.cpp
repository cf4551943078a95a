// Jobs on the C++ library's threads, for the machines that have them as POSIX threads: Linux's and
// the one held in memory. TAZEL_MOST_JOB_THREADS bounds them where the build says (the page's
// pool of workers; 1 for the fuzz targets, whose runs must repeat); else one a processor.

#include <algorithm>
#include <atomic>
#include <system_error>
#include <thread>
#include <vector>

#include "packer/machine/Machine.h"

#ifndef TAZEL_MOST_JOB_THREADS
#define TAZEL_MOST_JOB_THREADS 0
#endif

namespace tazel::pack {

void RunJobs(std::size_t count, Job job, void* context)
{
    std::atomic<std::size_t> next = 0;
    const auto work = [&]() noexcept {
        for (std::size_t i = next++; i < count; i = next++)
            job(context, i);
    };
    std::size_t most = std::max(1u, std::thread::hardware_concurrency());
    if (TAZEL_MOST_JOB_THREADS > 0)
        most = std::min<std::size_t>(most, TAZEL_MOST_JOB_THREADS);
    const std::size_t helpers = std::min(most, count) - 1;
    std::vector<std::thread> threads;
    for (std::size_t i = 0; i < helpers; ++i) {
        try {
            threads.emplace_back(work);
        } catch (const std::system_error&) {
            break; // no more threads to be had: the ones there are do the rest
        }
    }
    work();
    for (std::thread& thread : threads)
        thread.join();
}

} // namespace tazel::pack
