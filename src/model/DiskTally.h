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
    // counted it yet. `before`, when given, receives the first eight scopes that had counted it.
    Scopes claim(std::uint64_t device, std::uint64_t inode, Scopes scopes, Scopes* before = nullptr);

    // Adds bytes, and files other than directories, to every scope of `scopes`: what had counted
    // for the first eight scopes of `before` only now counts for those and `scopes` together.
    void add(Scopes scopes, std::int64_t bytes, std::int64_t files = 0, Scopes before = 0);

    // A measured path that is no directory and has a single link. A walk reaches such a file only
    // through its parent folder, whose identity the walk claims: the file is set aside here and
    // counted at settle() for each scope whose walks never entered that folder, so that a cache
    // naming a file inside another item's tree counts once, as du -c counts it.
    struct FileKey {
        std::uint64_t device = 0;
        std::uint64_t inode = 0;
    };
    void addTopLevelFile(FileKey file, FileKey parent, std::int64_t bytes, Scopes scopes);
    // Counts what was set aside for `scopes`, once everything that counts for them is measured. The
    // whole scan's scope settles last: with it, the bytes by sharing scopes are settled too.
    void settle(Scopes scopes);

    // The bytes counted for one scope. Read while a walk is filling the tally, it is how far the
    // walk has got: it only grows.
    std::int64_t total(Scopes scope) const;
    // The files (not directories) counted for one scope, each once, however many links it has.
    std::int64_t files(Scopes scope) const;

    // What several of the first eight scopes counted together, each file once: one `du -c` over
    // the paths of those scopes alone. Scopes beyond the eighth are not known here.
    std::int64_t unionTotal(Scopes scopes) const;
    // The bytes counted by exactly each set of the first eight scopes (index: the set's bits).
    std::array<std::int64_t, 256> bytesBySharingScopes() const;

private:
    struct Shards;
    std::unique_ptr<Shards> shards_;
    std::array<std::atomic<std::int64_t>, 64> totals_{};
    std::array<std::atomic<std::int64_t>, 64> files_{};
    // Bytes by the exact set of the first eight scopes that counted them; moved to a larger set
    // when another scope counts them too.
    std::array<std::atomic<std::int64_t>, 256> shared_{};
    std::atomic<int> nextScope_{1};
    struct SetAside;
    std::unique_ptr<SetAside> setAside_;
};

// A measurement's share of a tally: the scopes it counts for. No tally: nothing is counted.
struct TallyScopes {
    DiskTally* tally = nullptr;
    DiskTally::Scopes scopes = 0;
};

} // namespace kelvo
