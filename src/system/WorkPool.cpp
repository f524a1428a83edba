#include "system/WorkPool.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

#include <pthread.h>

namespace kelvo::detail {

struct WorkPool::State {
    std::mutex mutex;
    std::condition_variable wake;
    std::deque<std::shared_ptr<PoolJob>> queue; // one entry per granted helper not yet started
    int threads = 0;                            // helper threads started
    int idle = 0;                               // helper threads not running a job (never < queue size)
    std::atomic<int> active{0};                 // threads taking part in pool work now
};

namespace {

// How deeply the current thread is taking part (nested parallelFor / size calls count once).
thread_local int participationDepth = 0;

WorkPool* thePool = nullptr;

int machineLimit() {
    const unsigned cores = std::thread::hardware_concurrency();
    return std::max(2, static_cast<int>(cores));
}

} // namespace

WorkPool& WorkPool::instance() {
    // Never destroyed: helper threads may still be waiting on its state when the process exits.
    static WorkPool* pool = [] {
        thePool = new WorkPool();
        return thePool;
    }();
    return *pool;
}

WorkPool::WorkPool() : limit_(machineLimit()), state_(new State()) {
    // A forked child has none of the helper threads: it starts from a fresh state (the old one,
    // whose mutex the fork handler holds, is abandoned) and makes helpers again when needed.
    ::pthread_atfork([] { thePool->state_->mutex.lock(); }, [] { thePool->state_->mutex.unlock(); },
        [] {
            auto* fresh = new State();
            fresh->active.store(participationDepth > 0 ? 1 : 0);
            thePool->state_ = fresh; // the old state is leaked on purpose
        });
}

bool WorkPool::saturated() const { return state_->active.load(std::memory_order_relaxed) >= limit_; }

int WorkPool::requestHelpers(const std::shared_ptr<PoolJob>& job, int wanted) {
    if (wanted <= 0 || saturated()) {
        return 0;
    }
    State& s = *state_;
    std::unique_lock lock(s.mutex);
    const int freeThreads = (s.idle - static_cast<int>(s.queue.size())) + (limit_ - s.threads);
    int grant = std::min({wanted, limit_ - s.active.load(), freeThreads});
    if (grant <= 0) {
        return 0;
    }
    s.active.fetch_add(grant);
    for (int i = 0; i < grant; ++i) {
        s.queue.push_back(job);
    }
    // Start threads for the entries that no idle thread will take. A new thread counts as idle
    // from the moment it is made, so that every queued entry always has a taker.
    while (static_cast<int>(s.queue.size()) > s.idle && s.threads < limit_) {
        try {
            std::thread([state = &s] {
                std::unique_lock threadLock(state->mutex);
                while (true) {
                    state->wake.wait(threadLock, [&] { return !state->queue.empty(); });
                    --state->idle;
                    std::shared_ptr<PoolJob> next = std::move(state->queue.front());
                    state->queue.pop_front();
                    threadLock.unlock();
                    participationDepth = 1;
                    try {
                        next->help();
                    } catch (...) {
                        // A job's own callers see its failures; a helper just stops helping.
                    }
                    next.reset();
                    participationDepth = 0;
                    state->active.fetch_sub(1);
                    threadLock.lock();
                    ++state->idle;
                }
            }).detach();
        } catch (...) {
            break;
        }
        ++s.threads;
        ++s.idle;
    }
    // Entries that no thread can take (thread creation failed) are withdrawn again.
    while (static_cast<int>(s.queue.size()) > s.idle && grant > 0) {
        s.queue.pop_back();
        s.active.fetch_sub(1);
        --grant;
    }
    lock.unlock();
    s.wake.notify_all();
    return grant;
}

WorkPool::Participation::Participation() {
    if (participationDepth++ == 0) {
        WorkPool::instance().state_->active.fetch_add(1);
    }
}

WorkPool::Participation::~Participation() {
    if (--participationDepth == 0) {
        WorkPool::instance().state_->active.fetch_sub(1);
    }
}

WorkPool::Waiting::Waiting() : counted_(participationDepth > 0) {
    if (counted_) {
        WorkPool::instance().state_->active.fetch_sub(1);
    }
}

WorkPool::Waiting::~Waiting() {
    if (counted_) {
        WorkPool::instance().state_->active.fetch_add(1);
    }
}

} // namespace kelvo::detail
