#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace kelvo {

// One step of strict UTF-8 decoding (no overlong forms, no surrogates, nothing above U+10FFFF).
struct Utf8Step {
    char32_t codePoint = 0;
    std::size_t length = 0; // bytes consumed, at least 1
    bool valid = false;     // false: `length` bytes form one maximal invalid subsequence
};

// Decodes the sequence that starts at `at` (< text.size()).
Utf8Step decodeUtf8(std::string_view text, std::size_t at);

// Decodes bytes as UTF-8, replacing each maximal invalid subsequence with U+FFFD.
std::string repairUtf8(std::string_view bytes);
bool isValidUtf8(std::string_view bytes);

// Removes white space and line breaks (ASCII, NEL and the Unicode space separators) from both ends.
std::string trimWhitespace(std::string_view text);

} // namespace kelvo
