#pragma once

#include <cstdint>
#include <functional>
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

// The text of the alias file of that name, or absent when there is no such alias.
using NodeAliasFiles = std::function<std::optional<std::string>(const std::string& aliasName)>;

// The installed version an nvm alias names, resolved as nvm resolves it:
// 1. an alias that names an alias file ("lts/iron", "lts/*", a user's alias) is replaced by that
//    file's trimmed text, hop after hop, at most 8 hops and never twice through the same alias;
// 2. a version that is installed as it stands, with or without its "v";
// 3. a partial version ("20", "v20", "20.18") selects the newest installed version that matches it
//    on whole dot-separated parts;
// 4. "node", "stable", "current" and "default" select the newest installed version, and "lts/*",
//    "lts" and "lts/latest" the newest of an even major line.
std::optional<std::string> resolveNodeAlias(
    std::string_view aliasText, const std::vector<std::string>& versionNames, const NodeAliasFiles& aliasFiles);

} // namespace kelvo
