#include "ui/logic/ColorTable.h"

#include "system/Platform.h"

#include <gtest/gtest.h>

using namespace kelvo::ui;

namespace {
Rgb rgb(const ColorTable& table, const std::string& name, bool dark) {
    const auto found = table.find(name);
    EXPECT_NE(found, table.end()) << name;
    return found == table.end() ? Rgb{} : parseHexColor(dark ? found->second.dark : found->second.light).value_or(Rgb{});
}
} // namespace

TEST(ThemeColors, ShippedColoursAreCompleteAndTextIsReadableOnEverySurface) {
    const auto text = kelvo::readFile(std::string(KELVO_SOURCE_DIR) + "/resources/colors.json", 1 << 20);
    const auto table = decodeColorTable(text.value_or("")).value_or(ColorTable{});
    EXPECT_EQ(table.size(), 28u);
    const char* texts[] = {"text",    "text2",     "muted",   "faint", "faint2", "accent", "safe",
                           "caution", "essential", "copyInk", "heat1", "heat2",  "heat3",  "heat4"};
    for (bool dark : {false, true}) {
        for (const char* name : texts) {
            for (const char* surface : {"bg", "titlebar", "surface", "surface2", "surface3"}) {
                EXPECT_GE(contrastRatio(rgb(table, name, dark), rgb(table, surface, dark)), 4.5)
                    << name << " on " << surface << (dark ? " (dark)" : " (light)");
            }
        }
        EXPECT_GE(contrastRatio(rgb(table, "accentInk", dark), rgb(table, "accent", dark)), 4.5);
        for (const char* name : {"termText", "copyInk", "safe"}) {
            EXPECT_GE(contrastRatio(rgb(table, name, dark), rgb(table, "termBg", dark)), 4.5) << name;
        }
        for (const char* name : {"hair", "hair2", "hairFaint", "safeBorder", "cautionBorder", "termHair"}) {
            EXPECT_EQ(table.count(name), 1u) << name;
        }
    }
}

TEST(ThemeColors, ContrastArithmeticAndStrictDecoding) {
    EXPECT_NEAR(contrastRatio({0, 0, 0}, {1, 1, 1}), 21.0, 1e-9);
    EXPECT_NEAR(contrastRatio({1, 1, 1}, {1, 1, 1}), 1.0, 1e-9);
    EXPECT_NEAR(contrastRatio(*parseHexColor("#777777"), {1, 1, 1}), 4.48, 0.01);
    EXPECT_TRUE(parseHexColor("#0aF0a0").has_value());
    for (const char* bad : {"#0aF0a", "0aF0a0f", "#0aF0g0"}) {
        EXPECT_FALSE(parseHexColor(bad).has_value()) << bad;
    }
    for (const char* bad : {R"({"bg": {"light": "#ffffff"}})", R"({"bg": {"light": "#ffffff", "dark": "black"}})",
                            "[]", "{"}) {
        EXPECT_FALSE(decodeColorTable(bad).has_value()) << bad;
    }
    EXPECT_TRUE(loadColorTable("/nonexistent-kelvo-dir").empty());
}
