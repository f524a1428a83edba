#include "ui/logic/ColorTable.h"

#include "system/Platform.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

using namespace kelvo::ui;

namespace {
ColorTable shippedColors() {
    std::ifstream file(std::string(KELVO_SOURCE_DIR) + "/resources/colors.json");
    std::stringstream text;
    text << file.rdbuf();
    auto table = decodeColorTable(text.str());
    EXPECT_TRUE(table.has_value());
    return table.value_or(ColorTable{});
}

Rgb rgb(const ColorTable& table, const std::string& name, bool dark) {
    const auto found = table.find(name);
    EXPECT_NE(found, table.end()) << name;
    if (found == table.end()) {
        return {};
    }
    return parseHexColor(dark ? found->second.dark : found->second.light).value_or(Rgb{});
}
} // namespace

TEST(ThemeColors, EveryNamedColourHasALightAndADarkValue) {
    const auto table = shippedColors();
    const char* names[] = {"bg",        "titlebar",      "surface",  "surface2",  "surface3", "hair",    "hair2",
                           "hairFaint", "text",          "text2",    "muted",     "faint",    "faint2",  "accent",
                           "accentInk", "safe",          "safeBorder", "caution", "cautionBorder", "essential",
                           "termBg",    "termHair",      "termText", "copyInk",   "heat1",    "heat2",   "heat3",
                           "heat4"};
    EXPECT_EQ(table.size(), std::size(names));
    for (const char* name : names) {
        EXPECT_EQ(table.count(name), 1u) << name;
    }
}

TEST(ThemeColors, TextMeetsContrastOnEverySurfaceInBothSchemes) {
    const auto table = shippedColors();
    const char* texts[] = {"text",    "text2",     "muted",   "faint", "faint2", "accent", "safe",
                           "caution", "essential", "copyInk", "heat1", "heat2",  "heat3",  "heat4"};
    const char* surfaces[] = {"bg", "titlebar", "surface", "surface2", "surface3"};
    for (bool dark : {false, true}) {
        for (const char* text : texts) {
            for (const char* surface : surfaces) {
                EXPECT_GE(contrastRatio(rgb(table, text, dark), rgb(table, surface, dark)), 4.5)
                    << text << " on " << surface << (dark ? " (dark)" : " (light)");
            }
        }
        // Text drawn on the accent fill and inside the terminal block.
        EXPECT_GE(contrastRatio(rgb(table, "accentInk", dark), rgb(table, "accent", dark)), 4.5);
        for (const char* text : {"termText", "copyInk", "safe"}) {
            EXPECT_GE(contrastRatio(rgb(table, text, dark), rgb(table, "termBg", dark)), 4.5) << text;
        }
    }
}

TEST(ThemeColors, ContrastArithmetic) {
    const Rgb black{0, 0, 0};
    const Rgb white{1, 1, 1};
    EXPECT_NEAR(contrastRatio(black, white), 21.0, 1e-9);
    EXPECT_NEAR(contrastRatio(white, white), 1.0, 1e-9);
    EXPECT_NEAR(contrastRatio(*parseHexColor("#777777"), white), 4.48, 0.01);
}

TEST(ThemeColors, DecodingRejectsMalformedTables) {
    EXPECT_TRUE(parseHexColor("#0aF0a0").has_value());
    EXPECT_FALSE(parseHexColor("#0aF0a").has_value());
    EXPECT_FALSE(parseHexColor("0aF0a0f").has_value());
    EXPECT_FALSE(parseHexColor("#0aF0g0").has_value());
    EXPECT_FALSE(decodeColorTable(R"({"bg": {"light": "#ffffff"}})").has_value());
    EXPECT_FALSE(decodeColorTable(R"({"bg": {"light": "#ffffff", "dark": "black"}})").has_value());
    EXPECT_FALSE(decodeColorTable("[]").has_value());
    EXPECT_FALSE(decodeColorTable("{").has_value());
    EXPECT_TRUE(loadColorTable("/nonexistent-kelvo-dir").empty());
}
