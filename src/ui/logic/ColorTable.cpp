#include "ui/logic/ColorTable.h"

#include "system/Platform.h"

#include <algorithm>
#include <cmath>

#include <nlohmann/json.hpp>

namespace kelvo::ui {

namespace {
int hexDigit(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

double linear(double channel) {
    return channel <= 0.04045 ? channel / 12.92 : std::pow((channel + 0.055) / 1.055, 2.4);
}
} // namespace

std::optional<Rgb> parseHexColor(std::string_view text) {
    if (text.size() != 7 || text[0] != '#') {
        return std::nullopt;
    }
    double channels[3];
    for (int i = 0; i < 3; ++i) {
        const int high = hexDigit(text[1 + 2 * i]);
        const int low = hexDigit(text[2 + 2 * i]);
        if (high < 0 || low < 0) {
            return std::nullopt;
        }
        channels[i] = (high * 16 + low) / 255.0;
    }
    return Rgb{channels[0], channels[1], channels[2]};
}

std::optional<ColorTable> decodeColorTable(std::string_view jsonText) {
    const auto json = nlohmann::json::parse(jsonText, nullptr, false);
    if (json.is_discarded() || !json.is_object()) {
        return std::nullopt;
    }
    ColorTable table;
    for (const auto& [name, value] : json.items()) {
        if (!value.is_object() || !value.contains("light") || !value.contains("dark") || !value["light"].is_string() ||
            !value["dark"].is_string()) {
            return std::nullopt;
        }
        NamedColor color{value["light"].get<std::string>(), value["dark"].get<std::string>()};
        if (!parseHexColor(color.light) || !parseHexColor(color.dark)) {
            return std::nullopt;
        }
        table.emplace(name, std::move(color));
    }
    return table;
}

ColorTable loadColorTable(const std::string& resourceDirectory) {
    const auto text = readFile(resourceDirectory + "/colors.json", 1024 * 1024);
    if (!text) {
        return {};
    }
    return decodeColorTable(*text).value_or(ColorTable{});
}

double relativeLuminance(const Rgb& color) {
    return 0.2126 * linear(color.r) + 0.7152 * linear(color.g) + 0.0722 * linear(color.b);
}

double contrastRatio(const Rgb& a, const Rgb& b) {
    const double la = relativeLuminance(a);
    const double lb = relativeLuminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

} // namespace kelvo::ui
