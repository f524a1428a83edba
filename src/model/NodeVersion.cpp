#include "model/NodeVersion.h"

#include "model/Utf8.h"

#include <algorithm>
#include <charconv>
#include <set>

namespace kelvo {

std::optional<NodeVersion> parseNodeVersion(std::string_view name) {
    if (!name.empty() && name.front() == 'v') {
        name.remove_prefix(1);
    }
    std::int64_t parts[3];
    std::size_t count = 0;
    std::size_t start = 0;
    while (start <= name.size()) {
        const std::size_t dot = name.find('.', start);
        std::string_view piece =
            name.substr(start, dot == std::string_view::npos ? std::string_view::npos : dot - start);
        if (!piece.empty()) {
            if (count == 3) {
                return std::nullopt;
            }
            // An optional sign, then one or more digits, within 64 bits.
            if (piece.front() == '+') {
                piece.remove_prefix(1);
                if (!piece.empty() && piece.front() == '-') {
                    return std::nullopt;
                }
            }
            if (piece.empty() || piece == "-") {
                return std::nullopt;
            }
            std::int64_t value = 0;
            const auto [end, error] = std::from_chars(piece.data(), piece.data() + piece.size(), value);
            if (error != std::errc() || end != piece.data() + piece.size()) {
                return std::nullopt;
            }
            parts[count++] = value;
        }
        if (dot == std::string_view::npos) {
            break;
        }
        start = dot + 1;
    }
    if (count != 3) {
        return std::nullopt;
    }
    return NodeVersion{parts[0], parts[1], parts[2]};
}

std::vector<std::string> sortNewestFirst(std::vector<std::string> names) {
    std::stable_sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) {
        const NodeVersion none{-1, -1, -1};
        return parseNodeVersion(a).value_or(none) > parseNodeVersion(b).value_or(none);
    });
    return names;
}

namespace {

constexpr int maxAliasHops = 8;

// "20" -> {20}, "v20.18" -> {20, 18}: one to three whole decimal parts, nothing else.
std::optional<std::vector<std::int64_t>> versionPrefix(std::string_view text) {
    if (!text.empty() && text.front() == 'v') {
        text.remove_prefix(1);
    }
    std::vector<std::int64_t> parts;
    std::size_t start = 0;
    while (true) {
        const std::size_t dot = text.find('.', start);
        const std::string_view piece =
            text.substr(start, dot == std::string_view::npos ? std::string_view::npos : dot - start);
        std::int64_t value = 0;
        const auto [end, error] = std::from_chars(piece.data(), piece.data() + piece.size(), value);
        if (piece.empty() || piece.front() == '-' || error != std::errc() || end != piece.data() + piece.size() ||
            parts.size() == 3) {
            return std::nullopt;
        }
        parts.push_back(value);
        if (dot == std::string_view::npos) {
            return parts;
        }
        start = dot + 1;
    }
}

} // namespace

std::optional<std::string> resolveNodeAlias(
    std::string_view aliasText, const std::vector<std::string>& versionNames, const NodeAliasFiles& aliasFiles) {
    std::string alias = trimWhitespace(aliasText);
    // A cycle or a chain too long stops where it is; the rules below then decide ("default" in
    // the default alias file still means the newest version).
    std::set<std::string> seen;
    while (!alias.empty() && seen.size() < maxAliasHops && seen.insert(alias).second) {
        std::optional<std::string> text = aliasFiles ? aliasFiles(alias) : std::nullopt;
        if (!text) {
            break;
        }
        alias = trimWhitespace(*text);
    }
    // An empty alias names nothing, even if a folder happens to be called just "v".
    if (versionNames.empty() || alias.empty()) {
        return std::nullopt;
    }
    const std::string exact = alias.front() == 'v' ? alias : "v" + alias;
    if (std::find(versionNames.begin(), versionNames.end(), exact) != versionNames.end()) {
        return exact;
    }
    const std::vector<std::string> newest = sortNewestFirst(versionNames);
    if (const auto prefix = versionPrefix(alias)) {
        for (const auto& name : newest) {
            const auto version = parseNodeVersion(name);
            const std::int64_t parts[3] = {
                version ? version->major : 0, version ? version->minor : 0, version ? version->patch : 0};
            if (version && std::equal(prefix->begin(), prefix->end(), parts)) {
                return name;
            }
        }
        return std::nullopt;
    }
    if (alias == "node" || alias == "stable" || alias == "current" || alias == "default") {
        return newest.front();
    }
    if (alias == "lts/*" || alias == "lts" || alias == "lts/latest") {
        // Even major lines are the long-term-support ones.
        for (const auto& name : newest) {
            const auto parsed = parseNodeVersion(name);
            if (parsed && parsed->major % 2 == 0) {
                return name;
            }
        }
    }
    return std::nullopt;
}

} // namespace kelvo
