#pragma once

// The named colours of the theme (colors.json: each name with a light and a dark value) and the
// contrast arithmetic used to check them. Plain C++.

#include <map>
#include <optional>
#include <string>
#include <string_view>

namespace kelvo::ui {

struct Rgb {
    double r = 0; // 0...1
    double g = 0;
    double b = 0;
};

struct NamedColor {
    std::string light; // "#RRGGBB"
    std::string dark;
};

using ColorTable = std::map<std::string, NamedColor, std::less<>>;

// "#RRGGBB" (case-insensitive); anything else gives no value.
std::optional<Rgb> parseHexColor(std::string_view text);

// {"name": {"light": "#…", "dark": "#…"}, …}; no value when the text is not such an object or a
// value is not a valid colour.
std::optional<ColorTable> decodeColorTable(std::string_view jsonText);
// colors.json in the given directory; an empty table when it is missing or malformed.
ColorTable loadColorTable(const std::string& resourceDirectory);

// Relative luminance and contrast ratio as the web content accessibility guidelines define them.
double relativeLuminance(const Rgb& color);
double contrastRatio(const Rgb& a, const Rgb& b);

} // namespace kelvo::ui
