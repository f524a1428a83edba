#pragma once

#include "core/ScanCoordinator.h"

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>

namespace kelvo {

// A main-thread task queue for front ends without an event loop (terminal, tests):
// other threads post, the owning thread drains.
class MainQueue {
public:
    void post(std::function<void()> task);
    MainExecutor executor();

    // Runs posted tasks on the calling thread until `done()` holds after a task
    // (or before the first), or until the timeout passes. Returns done().
    bool runUntil(const std::function<bool()>& done,
                  std::chrono::steady_clock::duration timeout = std::chrono::hours(24));

private:
    std::mutex mutex_;
    std::condition_variable ready_;
    std::deque<std::function<void()>> tasks_;
};

} // namespace kelvo
