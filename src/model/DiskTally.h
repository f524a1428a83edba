#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>

namespace kelvo {

// What several measurements occupy together, each file counted once, the way one
// `du -s -B1 -c` over all their paths counts: a file with several links adds its blocks once, and
// a directory met again (an item that lies inside another) adds nothing, nor does anything below it.
//
// Counting is per scope, a bit of `Scopes`: bit 0 is the whole scan, the others are opened one per
// manager. A measurement names the scopes it counts for; what a scope has counted already is not
// counted for it again. Thread-safe; the sizer fills it while it walks.
class DiskTally {
public:
    using Scopes = std::uint64_t;
    static constexpr Scopes wholeScan = 1;

    DiskTally();
    ~DiskTally();
    DiskTally(const DiskTally&) = delete;
    DiskTally& operator=(const DiskTally&) = delete;

    // A scope of its own, or 0 once all 63 are taken (then nothing is counted for it).
    Scopes openScope();

    // Records that (device, inode) is counted for `scopes`; returns those of them that had not
    // counted it yet.
    Scopes claim(std::uint64_t device, std::uint64_t inode, Scopes scopes);

    // Adds bytes, and files other than directories, to every scope of `scopes`.
    void add(Scopes scopes, std::int64_t bytes, std::int64_t files = 0);

    // The bytes counted for one scope. Read while a walk is filling the tally, it is how far the
    // walk has got: it only grows.
    std::int64_t total(Scopes scope) const;
    // The files (not directories) counted for one scope, each once, however many links it has.
    std::int64_t files(Scopes scope) const;

private:
    struct Shards;
    std::unique_ptr<Shards> shards_;
    std::array<std::atomic<std::int64_t>, 64> totals_{};
    std::array<std::atomic<std::int64_t>, 64> files_{};
    std::atomic<int> nextScope_{1};
};

// A measurement's share of a tally: the scopes it counts for. No tally: nothing is counted.
struct TallyScopes {
    DiskTally* tally = nullptr;
    DiskTally::Scopes scopes = 0;
};

} // namespace kelvo
