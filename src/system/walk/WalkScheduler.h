#pragma once

// The scheduler that the directory walks share (the sizer's and the project finder's):
//
// - No recursion: queued directories (and parts of large listings) go on an explicit stack shared
//   by the calling thread and pool helpers (WorkPool.h). The caller always works; helpers are
//   asked for only when more than one item is queued, and the pool bounds the number of working
//   threads process-wide, so a walk never waits for a helper and never oversubscribes.
// - A walk says what one item is (process) and what it adds to the walk's total; the scheduler
//   queues the subdirectories the item found once it is done.

#include "system/WorkPool.h"
#include "system/walk/WalkTree.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

namespace kelvo::walk {

inline constexpr std::size_t listingBufferSize = 128 * 1024;

// A part of a large directory's listing, handed to another thread: raw listing records.
struct EntryBatch {
    DirNode* node = nullptr; // holds a life reference and a descriptor use on node
    std::vector<char> records;
};

struct WorkItem {
    DirNode* node = nullptr;     // a directory to open and list, or
    EntryBatch* batch = nullptr; // entries of an open directory to examine
};

// Per-thread buffers, kept between calls (a thread works on one walk at a time).
struct Scratch {
    std::vector<char> listing = std::vector<char>(listingBufferSize);
    std::vector<DirNode*> children; // found by the current item, adopted, queued after it
};
Scratch& threadScratch();

class Scheduler : public detail::PoolJob, public std::enable_shared_from_this<Scheduler> {
public:
    void help() final;

protected:
    // One item; its subdirectories go to scratch.children. Returns what it adds to the total.
    virtual std::int64_t process(const WorkItem& item, Scratch& scratch) = 0;
    // Queues `children` and works on the calling thread until nothing is queued or being
    // processed; returns `total` and what every item added.
    std::int64_t drive(const std::vector<DirNode*>& children, std::int64_t total);
    // True when a part of a large listing is worth handing to another thread now.
    bool mayHandOff() const;
    void publishBatch(EntryBatch* batch);

private:
    void work(bool isCaller);
    // Asks the pool for helpers when `available` queued items are there for others to take.
    void maybeRequestHelpers(std::size_t available);

    std::mutex mutex_;
    std::condition_variable wake_;
    std::vector<WorkItem> stack_;
    std::size_t pending_ = 0; // queued + being processed
    bool callerWaiting_ = false;
    std::int64_t total_ = 0;
    std::atomic<int> helpers_{0};
    std::atomic<int> outstandingBatches_{0};
};

} // namespace kelvo::walk
