#pragma once

// The process-wide pool of helper threads shared by the directory sizer's parallel walk and the
// adapters' parallelFor. Private to the engine: nothing outside src/system and src/adapters uses it.
//
// The rules that keep it free of oversubscription and deadlock:
// - Work is always driven by a caller that takes part itself; helpers only speed it up. A caller
//   never waits for a helper to *start*, only for work a running thread has already picked up,
//   so a job completes even when no helper is ever granted (nested calls, a busy pool, a forked
//   child without threads).
// - At most limit() threads take part in pool work at once, callers and helpers together
//   (a thread counts once, however deeply it nests parallelFor and size calls). A caller that
//   blocks waiting for others does not count while it waits. Callers are never refused; helpers
//   are granted only while the count is below the limit, so five adapters each measuring on
//   their own thread get no extra helpers on a two-core machine.
// - Helper threads are started lazily, on the first grant that needs one, and then kept for the
//   life of the process (at most limit() of them), so later calls pay no thread start-up.

#include <memory>

namespace kelvo::detail {

// Work that pool threads can help with.
class PoolJob {
public:
    virtual ~PoolJob() = default;
    // Runs on a helper thread: picks up work until none is left to pick up, then returns.
    // Must never block waiting for other threads to start or finish work.
    virtual void help() = 0;
};

class WorkPool {
public:
    static WorkPool& instance();

    // Threads that may take part in pool work at once: the machine's cores, at least 2.
    int limit() const { return limit_; }

    // Asks for up to `wanted` helpers to run job->help(); returns how many were granted.
    // Never blocks on other work. The job is kept alive until every granted helper returns.
    int requestHelpers(const std::shared_ptr<PoolJob>& job, int wanted);

    // True when a request would be refused now (cheap check before building a request).
    bool saturated() const;

    // The calling thread takes part in pool work for the life of this object.
    class Participation {
    public:
        Participation();
        ~Participation();
        Participation(const Participation&) = delete;
        Participation& operator=(const Participation&) = delete;
    };

    // The calling thread (a participant) blocks waiting for others: it does not count meanwhile.
    class Waiting {
    public:
        Waiting();
        ~Waiting();
        Waiting(const Waiting&) = delete;
        Waiting& operator=(const Waiting&) = delete;

    private:
        bool counted_;
    };

    struct State;

private:
    WorkPool();
    int limit_;
    State* state_;
};

} // namespace kelvo::detail
