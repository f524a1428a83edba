#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kelvo {

// Node versions: "v20.11.1" -> (20, 11, 1); anything else -> absent.
struct NodeVersion {
    std::int64_t major = 0;
    std::int64_t minor = 0;
    std::int64_t patch = 0;
    friend auto operator<=>(const NodeVersion&, const NodeVersion&) = default;
};
std::optional<NodeVersion> parseNodeVersion(std::string_view name);
// Stable, newest first; names that do not parse count as (-1, -1, -1).
std::vector<std::string> sortNewestFirst(std::vector<std::string> names);

} // namespace kelvo
