#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace kelvo {

// Whether a (valid) code point must never reach a terminal raw: C0 controls, DEL, C1 controls,
// the bidi marks U+061C, U+200E, U+200F, the line and paragraph separators U+2028, U+2029,
// the bidi embeddings/overrides U+202A–U+202E and the isolates U+2066–U+2069.
bool isHostileCodePoint(char32_t codePoint);

// Text from the disk or from tools, made safe to print: every hostile code point becomes an
// escape (\n, \r, \t, \x1b, \x7f, \u0085, \u202e, …) and every byte of invalid UTF-8 becomes \xNN.
// Everything else, the backslash included, is kept as is, so clean commands stay copyable.
std::string escapeForTerminal(std::string_view text);

// JSON text (as nlohmann's dump writes it, valid UTF-8) with every raw hostile code point, which
// can only stand inside a string there, replaced by its \uXXXX escape: same document, safe to cat.
std::string escapeHostileInJson(std::string_view json);

// Display columns for alignment: the number of code points (each invalid byte counts as one).
std::size_t displayWidth(std::string_view text);

} // namespace kelvo
