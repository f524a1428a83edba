#include "system/ParallelFor.h"

#include "system/WorkPool.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <exception>
#include <memory>
#include <mutex>

namespace kelvo {

namespace {

// One parallelFor call as pool work: indices are claimed one at a time by the caller and by any
// helpers the pool lends; results go wherever the body stores them (by index, so order is kept).
class ParallelForJob final : public detail::PoolJob {
public:
    ParallelForJob(std::size_t count, const std::function<void(std::size_t)>& body) : count_(count), body_(&body) {}

    void help() override { runClaimed(); }

    // Runs claimed indices until none is left; the caller also asks again for helpers that the
    // pool could not lend at the start (it may have been busy with other adapters then).
    void runClaimed(const std::shared_ptr<ParallelForJob>* self = nullptr) {
        for (std::size_t i = next_.fetch_add(1); i < count_; i = next_.fetch_add(1)) {
            if (self != nullptr) {
                requestHelpers(*self);
            }
            try {
                (*body_)(i);
            } catch (...) {
                std::lock_guard lock(mutex_);
                if (!error_) {
                    error_ = std::current_exception();
                }
            }
            if (done_.fetch_add(1) + 1 == count_) {
                std::lock_guard lock(mutex_);
                finished_.notify_all();
            }
        }
    }

    void requestHelpers(const std::shared_ptr<ParallelForJob>& self) {
        auto& pool = detail::WorkPool::instance();
        const std::size_t unclaimed = count_ - std::min(count_, next_.load());
        const int wanted =
            static_cast<int>(std::min<std::size_t>(unclaimed, static_cast<std::size_t>(pool.limit() - 1))) - helpers_;
        if (wanted > 0 && !pool.saturated()) {
            helpers_ += pool.requestHelpers(self, wanted);
        }
    }

    // Waits (not counting as a working thread) until every index has run; rethrows the first failure.
    void wait() {
        {
            std::unique_lock lock(mutex_);
            if (done_.load() != count_) {
                detail::WorkPool::Waiting waiting;
                finished_.wait(lock, [&] { return done_.load() == count_; });
            }
        }
        if (error_) {
            std::rethrow_exception(error_);
        }
    }

private:
    const std::size_t count_;
    const std::function<void(std::size_t)>* body_; // used only for claimed indices, all done before wait returns
    std::atomic<std::size_t> next_{0};
    std::atomic<std::size_t> done_{0};
    int helpers_ = 0; // granted so far (the caller alone asks)
    std::mutex mutex_;
    std::condition_variable finished_;
    std::exception_ptr error_;
};

} // namespace

void parallelFor(std::size_t count, const std::function<void(std::size_t)>& body) {
    if (count == 0) {
        return;
    }
    // Bounded process-wide by the pool shared with the directory sizer: the caller always takes
    // part, helpers are lent only while fewer than the machine's cores are working, and a body
    // that calls the sizer (which wants helpers too) never waits for a thread to become free.
    detail::WorkPool::Participation participation;
    if (count == 1) {
        body(0);
        return;
    }
    auto job = std::make_shared<ParallelForJob>(count, body);
    job->requestHelpers(job);
    job->runClaimed(&job);
    job->wait();
}

} // namespace kelvo
