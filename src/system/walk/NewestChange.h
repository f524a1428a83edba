#pragma once

// When a folder last changed, as far as its entries tell: the newest modification time among its
// entries some levels deep. A client of the walks' machinery: folders are opened relative to the
// folder and never by path (so depth and path length do not matter), no link is followed.

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

namespace kelvo {

struct ChangeSearch {
    int depth = 3;                   // levels of entries looked at, the folder's own being the first
    std::size_t entryLimit = 10'000; // at most this many entries are looked at, level by level
    // Names never looked at nor entered: what a tool changes without the folder's owner doing so
    // (build folders). Hidden entries are never looked at either.
    std::vector<std::string> skipped;
    // Paths relative to the folder looked at besides, hidden or not (".git/HEAD").
    std::vector<std::string> also;
};

// Absent when nothing could be read.
std::optional<double> newestChange(const std::string& folder, const ChangeSearch& search);

} // namespace kelvo
