#pragma once
// Shared by the fuzz targets: a failed property aborts like a crash, so libFuzzer keeps the input.

#include "inventory/DisplayText.h"
#include "model/Utf8.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#define FUZZ_REQUIRE(condition)                                                                                        \
    ((condition)                                                                                                       \
            ? void()                                                                                                   \
            : (std::fprintf(stderr, "property failed: %s (%s:%d)\n", #condition, __FILE__, __LINE__), std::abort()))

namespace kelvo::fuzz {

// Whether valid UTF-8 text holds a raw hostile code point (a line feed passes when allowed, since
// it separates the lines of a report).
inline bool holdsHostile(std::string_view text, bool lineFeedAllowed = false) {
    for (std::size_t at = 0; at < text.size(); at += decodeUtf8(text, at).length) {
        const char32_t point = decodeUtf8(text, at).codePoint;
        if (isHostileCodePoint(point) && !(lineFeedAllowed && point == U'\n')) return true;
    }
    return false;
}

inline std::string_view asText(const std::uint8_t* d, std::size_t n) { return {reinterpret_cast<const char*>(d), n}; }

// The pieces between line feeds, empty ones kept.
inline std::vector<std::string> splitLines(std::string_view text) {
    std::vector<std::string> lines(1);
    for (const char c : text) c == '\n' ? void(lines.emplace_back()) : lines.back().push_back(c);
    return lines;
}

} // namespace kelvo::fuzz
