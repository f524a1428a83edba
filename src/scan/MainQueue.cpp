#include "scan/MainQueue.h"

#include <utility>

namespace kelvo {

namespace {

template <typename State>
void postTo(State& state, std::function<void()> task) {
    {
        std::lock_guard lock(state.mutex);
        if (state.closed) {
            return; // `task` is destroyed after the lock is released
        }
        state.tasks.push_back(std::move(task));
    }
    state.ready.notify_one();
}

} // namespace

MainQueue::~MainQueue() {
    std::deque<std::function<void()>> dropped;
    {
        std::lock_guard lock(state_->mutex);
        state_->closed = true;
        dropped.swap(state_->tasks);
    }
    // `dropped` is destroyed here, outside the lock.
}

void MainQueue::post(std::function<void()> task) { postTo(*state_, std::move(task)); }

MainExecutor MainQueue::executor() {
    return [state = state_](std::function<void()> task) { postTo(*state, std::move(task)); };
}

bool MainQueue::runUntil(const std::function<bool()>& done, std::chrono::steady_clock::duration timeout) {
    using Clock = std::chrono::steady_clock;
    const Clock::time_point now = Clock::now();
    const Clock::time_point deadline =
        timeout >= Clock::time_point::max() - now ? Clock::time_point::max() : now + timeout;
    while (!done()) {
        std::function<void()> task;
        {
            std::unique_lock lock(state_->mutex);
            if (!state_->ready.wait_until(lock, deadline, [this] { return !state_->tasks.empty(); })) {
                break; // timed out with nothing to run
            }
            task = std::move(state_->tasks.front());
            state_->tasks.pop_front();
        }
        task();
    }
    return done();
}

} // namespace kelvo
