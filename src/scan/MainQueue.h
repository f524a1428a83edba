#pragma once

#include "scan/ScanCoordinator.h"

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>

namespace kelvo {

// A main-thread task queue for front ends without an event loop (terminal, tests):
// other threads post, the owning thread drains.
class MainQueue {
public:
    MainQueue() = default;
    ~MainQueue();
    MainQueue(const MainQueue&) = delete;
    MainQueue& operator=(const MainQueue&) = delete;

    void post(std::function<void()> task);
    // Callable from any thread; stays valid after the queue is gone (posts are then dropped).
    MainExecutor executor();

    // Runs posted tasks on the calling thread until `done()` holds after a task
    // (or before the first), or until the timeout passes. Returns done().
    bool runUntil(
        const std::function<bool()>& done, std::chrono::steady_clock::duration timeout = std::chrono::hours(24));

private:
    // Shared with every executor handed out, so that a worker posting late never
    // touches a destroyed queue.
    struct State {
        std::mutex mutex;
        std::condition_variable ready;
        std::deque<std::function<void()>> tasks;
        bool closed = false;
    };
    std::shared_ptr<State> state_ = std::make_shared<State>();
};

} // namespace kelvo
