// Work on many cameras at once from the headless tool's main thread: each
// camera's exchanges wait on that camera alone.
#pragma once

#include <atomic>
#include <cstddef>
#include <thread>
#include <vector>

namespace vcq::cli {

inline constexpr size_t kCamerasAtOnce = 16;

// Calls `work(i)` for every i below `count`, at most kCamerasAtOnce at a
// time, and returns when all have returned.
template <typename Work>
void ForEachAtOnce(size_t count, Work work) {
    std::atomic<size_t> next{0};
    auto run = [&] {
        for (size_t i = next++; i < count; i = next++)
            work(i);
    };
    std::vector<std::thread> threads;
    for (size_t t = 0; t < kCamerasAtOnce && t < count; ++t)
        threads.emplace_back(run);
    for (auto& thread : threads)
        thread.join();
}

}  // namespace vcq::cli
