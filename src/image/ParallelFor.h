#pragma once
// Runs independent jobs on the calling thread and a few helper threads at once.

#include <atomic>
#include <cstddef>
#include <new>
#include <system_error>
#include <thread>
#include <vector>

namespace gw {

// Calls job(i) once for every i in 0 .. count - 1, on the calling thread and on up to helpers more
// threads, which take the indices in order from one counter; returns when every job has returned.
// A helper that cannot be started leaves its share to the others. Jobs must not throw.
template <typename TJob> void ParallelFor(std::size_t count, std::size_t helpers, const TJob& job) {
    std::atomic<std::size_t> next{0};
    const auto work = [&] {
        for (std::size_t i = next++; i < count; i = next++)
            job(i);
    };
    std::vector<std::jthread> workers;
    for (std::size_t i = 0; i < helpers && i + 1 < count; ++i) {
        try {
            workers.emplace_back(work);
        } catch (const std::system_error&) {
            break; // no more threads: the others do the rest
        } catch (const std::bad_alloc&) {
            break;
        }
    }
    work();
}

} // namespace gw
