#pragma once

// Shared by the fuzz targets: a failed property stops the run like a crash, so libFuzzer keeps
// the input that broke it.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "inventory/DisplayText.h"

#define FUZZ_REQUIRE(condition)                                                                  \
    do {                                                                                         \
        if (!(condition)) {                                                                      \
            std::fprintf(stderr, "property failed: %s (%s:%d)\n", #condition, __FILE__, __LINE__); \
            std::abort();                                                                        \
        }                                                                                        \
    } while (false)

namespace kelvo::fuzz {

// Whether valid UTF-8 text holds a raw hostile code point (a line feed passes when allowed,
// since it separates lines of a report).
inline bool holdsHostile(std::string_view text, bool lineFeedAllowed = false) {
    for (std::size_t i = 0; i < text.size();) {
        const auto lead = static_cast<unsigned char>(text[i]);
        char32_t point = lead;
        std::size_t length = 1;
        if (lead >= 0xF0) {
            length = 4;
            point = lead & 0x07;
        } else if (lead >= 0xE0) {
            length = 3;
            point = lead & 0x0F;
        } else if (lead >= 0xC0) {
            length = 2;
            point = lead & 0x1F;
        }
        for (std::size_t k = 1; k < length && i + k < text.size(); ++k) {
            point = (point << 6) | (static_cast<unsigned char>(text[i + k]) & 0x3F);
        }
        if (!(lineFeedAllowed && point == U'\n') && isHostileCodePoint(point)) {
            return true;
        }
        i += length;
    }
    return false;
}

inline std::string_view asText(const std::uint8_t* data, std::size_t size) {
    return {reinterpret_cast<const char*>(data), size};
}

// Pieces between line feeds, empty ones kept.
inline std::vector<std::string> splitLines(std::string_view text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (;;) {
        const std::size_t end = text.find('\n', start);
        lines.emplace_back(text.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start));
        if (end == std::string_view::npos) {
            return lines;
        }
        start = end + 1;
    }
}

} // namespace kelvo::fuzz
