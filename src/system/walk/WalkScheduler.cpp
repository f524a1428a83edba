#include "system/walk/WalkScheduler.h"

#include <algorithm>

namespace kelvo::walk {

Scratch& threadScratch() {
    thread_local Scratch scratch;
    return scratch;
}

void Scheduler::maybeRequestHelpers(std::size_t available) {
    auto& pool = detail::WorkPool::instance();
    if (available == 0 || pool.saturated()) {
        return;
    }
    const int wanted = static_cast<int>(std::min<std::size_t>(available, static_cast<std::size_t>(pool.limit() - 1))) -
                       helpers_.load(std::memory_order_relaxed);
    if (wanted <= 0) {
        return;
    }
    helpers_.fetch_add(wanted);
    const int granted = pool.requestHelpers(shared_from_this(), wanted);
    if (granted < wanted) {
        helpers_.fetch_sub(wanted - granted);
    }
    counters().helperGrants.fetch_add(static_cast<std::uint64_t>(granted), std::memory_order_relaxed);
}

bool Scheduler::mayHandOff() const {
    const auto& pool = detail::WorkPool::instance();
    if (outstandingBatches_.load(std::memory_order_relaxed) >= 2 * pool.limit()) {
        return false; // others are behind already: keep memory bounded and work here
    }
    return helpers_.load(std::memory_order_relaxed) > 0 || !pool.saturated();
}

void Scheduler::publishBatch(EntryBatch* batch) {
    bump(counters().entryBatches);
    outstandingBatches_.fetch_add(1, std::memory_order_relaxed);
    std::size_t queued = 0;
    {
        std::lock_guard lock(mutex_);
        stack_.push_back(WorkItem{nullptr, batch});
        ++pending_;
        queued = stack_.size();
        if (callerWaiting_) {
            wake_.notify_all();
        }
    }
    maybeRequestHelpers(queued); // the lister goes on listing: everything queued is for others
}

void Scheduler::work(bool isCaller) {
    Scratch& scratch = threadScratch();
    std::unique_lock lock(mutex_);
    while (true) {
        if (stack_.empty()) {
            if (!isCaller || pending_ == 0) {
                return;
            }
            callerWaiting_ = true;
            {
                detail::WorkPool::Waiting waiting;
                wake_.wait(lock, [&] { return !stack_.empty() || pending_ == 0; });
            }
            callerWaiting_ = false;
            continue;
        }
        const WorkItem item = stack_.back();
        stack_.pop_back();
        lock.unlock();

        scratch.children.clear();
        const std::int64_t adds = process(item, scratch);
        if (item.batch != nullptr) {
            outstandingBatches_.fetch_sub(1, std::memory_order_relaxed);
        }

        lock.lock();
        total_ += adds;
        for (DirNode* child : scratch.children) {
            stack_.push_back(WorkItem{child, nullptr});
        }
        const std::size_t added = scratch.children.size();
        pending_ += added;
        --pending_;
        if (pending_ == 0) {
            wake_.notify_all();
        } else if (callerWaiting_ && added > 0) {
            wake_.notify_all();
        }
        const std::size_t queued = stack_.size();
        if (queued >= 2 && helpers_.load(std::memory_order_relaxed) < detail::WorkPool::instance().limit() - 1) {
            lock.unlock();
            maybeRequestHelpers(queued - 1); // this thread takes the next one itself
            lock.lock();
        }
    }
}

void Scheduler::help() {
    work(false);
    helpers_.fetch_sub(1);
}

std::int64_t Scheduler::drive(const std::vector<DirNode*>& children, std::int64_t total) {
    std::size_t queued = 0;
    {
        std::lock_guard lock(mutex_);
        total_ += total;
        for (DirNode* child : children) {
            stack_.push_back(WorkItem{child, nullptr});
        }
        pending_ += children.size();
        queued = stack_.size();
    }
    if (queued > 1) {
        maybeRequestHelpers(queued - 1);
    }
    work(true);
    std::lock_guard lock(mutex_);
    return total_;
}

} // namespace kelvo::walk
