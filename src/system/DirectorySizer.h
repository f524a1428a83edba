#pragma once

#include "model/DiskTally.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace kelvo {

// What measuring one item found: its size on disk (as `du -s -B1` counts it) and what removing it
// would free: the blocks of the files whose every hard link lies inside it.
struct Measurement {
    std::int64_t bytes = 0;
    std::optional<std::int64_t> freedBytes; // absent when the sizer cannot tell
    // Folders in it that could not be read wholly (not opened, not listed, or an entry not
    // examined): their own blocks count, what they hold does not.
    std::int64_t unreadable = 0;
};

class DirectorySizing {
public:
    virtual ~DirectorySizing() = default;
    // Allocated bytes of a file or a whole tree (hard links counted once per call, symbolic
    // links counted as themselves and never followed); absent when the path is missing or cannot
    // be examined. Blocking.
    virtual std::optional<std::int64_t> size(const std::string& path) const = 0;

    // size(path), also counting what it meets into `counted`, each file once per scope across
    // every measurement of that tally. A sizer that cannot tell files apart counts its whole answer.
    virtual std::optional<std::int64_t> measure(const std::string& path, TallyScopes counted) const;
    // Several paths measured as one item: a file met under two of them counts once. Absent when
    // none of them could be measured.
    virtual std::optional<std::int64_t> measureTogether(
        const std::vector<std::string>& paths, TallyScopes counted) const;
    // measureTogether(paths, counted) with what removing those paths would free: directories and
    // symbolic links themselves, files of one link, and files every link of which the walk met
    // (a file also linked from elsewhere stays on disk). Absent when none of the paths could be
    // measured; freedBytes absent here, where files cannot be told apart.
    virtual std::optional<Measurement> measureItem(const std::vector<std::string>& paths, TallyScopes counted) const;
};

class FileManagerDirectorySizer final : public DirectorySizing {
public:
    std::optional<std::int64_t> size(const std::string& path) const override;
    std::optional<std::int64_t> measure(const std::string& path, TallyScopes counted) const override;
    std::optional<std::int64_t> measureTogether(
        const std::vector<std::string>& paths, TallyScopes counted) const override;
    // freedBytes absent when the paths overlap (one lies inside another, or names the same file),
    // since a link met twice would look like two.
    std::optional<Measurement> measureItem(const std::vector<std::string>& paths, TallyScopes counted) const override;
};

} // namespace kelvo
