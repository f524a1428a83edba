#include "ui/bridge/AppState.h"

#include <gtest/gtest.h>

#include <QSignalSpy>

using namespace kelvo;
using namespace kelvo::ui;

TEST(AppState, StartsFromTheDefaultsAndNotifiesOnlyOnARealChange) {
    AppState app;
    EXPECT_EQ(app.themeRaw(), "system");
    EXPECT_EQ(app.sizeUnitRaw(), "decimal");
    EXPECT_EQ(app.enabledManagersRaw(), (QStringList{"homebrew", "npm", "pnpm", "nvm", "bun"}));
    QSignalSpy theme(&app, &AppState::themeChanged);
    QSignalSpy unit(&app, &AppState::sizeUnitChanged);
    QSignalSpy managers(&app, &AppState::enabledManagersChanged);

    app.setTheme(AppTheme::system);
    app.setThemeRaw("sepia"); // unknown: ignored
    app.setSizeUnit(SizeUnit::decimal);
    // Sets compare as sets: order and repetition do not matter.
    app.setEnabledManagersRaw({"bun", "nvm", "pnpm", "npm", "homebrew", "npm"});
    app.setEnabled("npm", true);
    app.setEnabled("yarn", false);
    EXPECT_EQ(theme.count() + unit.count() + managers.count(), 0);

    app.setThemeRaw("dark");
    app.setTheme(AppTheme::dark);
    app.setSizeUnitRaw("binary");
    app.setSizeUnitRaw("binary");
    app.setEnabled("npm", false);
    app.setEnabled("npm", false);
    EXPECT_EQ(theme.count(), 1);
    EXPECT_EQ(unit.count(), 1);
    EXPECT_EQ(managers.count(), 1);
    EXPECT_FALSE(app.isEnabled("npm"));
    EXPECT_EQ(app.enabledManagersRaw(), (QStringList{"homebrew", "pnpm", "nvm", "bun"}));
    EXPECT_EQ(app.formatBytes(1'500'000), QString::fromStdString(formatBytes(1'500'000, SizeUnit::binary)));
}
