#pragma once

#include "model/DiskTally.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace kelvo {

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
};

class FileManagerDirectorySizer final : public DirectorySizing {
public:
    std::optional<std::int64_t> size(const std::string& path) const override;
    std::optional<std::int64_t> measure(const std::string& path, TallyScopes counted) const override;
    std::optional<std::int64_t> measureTogether(
        const std::vector<std::string>& paths, TallyScopes counted) const override;
};

} // namespace kelvo
