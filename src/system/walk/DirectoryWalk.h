#pragma once

// Internals of FileManagerDirectorySizer's parallel walk that tests and benchmarks look at.
// Not part of the engine's interface: nothing but the sizer, its tests and bench/ include this.

#include <cstdint>

namespace kelvo::detail {

// Directory descriptors the walk may keep open, process-wide, so that queued subdirectories are
// opened relative to their parent (beyond it they are reopened from the nearest kept ancestor,
// never through ".."). Default: a quarter of the soft RLIMIT_NOFILE, between 8 and 1024.
int directoryWalkFdBudget();
// For tests: sets the budget (0 keeps no descriptor but the top-level one) and returns the old one.
int setDirectoryWalkFdBudget(int budget);

// Counters since the start of the process, for tests and benchmarks.
struct DirectoryWalkStats {
    std::uint64_t directories = 0;  // directories listed
    std::uint64_t chainOpens = 0;   // directories reopened from a kept ancestor, not their parent
    std::uint64_t helperGrants = 0; // pool helpers that joined a walk
    std::uint64_t entryBatches = 0; // parts of large directories handed to other threads
    std::int64_t keptFdsPeak = 0;   // most descriptors kept at once under the budget
};
DirectoryWalkStats directoryWalkStats();

} // namespace kelvo::detail
