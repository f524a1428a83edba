#include "model/NodeVersion.h"

#include <algorithm>
#include <charconv>

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
        std::string_view piece = name.substr(start, dot == std::string_view::npos ? std::string_view::npos : dot - start);
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

} // namespace kelvo
