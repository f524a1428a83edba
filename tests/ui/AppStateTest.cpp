#include "ui/bridge/AppState.h"
#include "FixtureScan.h"
#include "update/Updater.h"

#include <gtest/gtest.h>

using namespace kelvo;
using namespace kelvo::ui;

namespace {
struct Counts {
    int theme = 0;
    int unit = 0;
    int managers = 0;
};

void count(AppState& app, Counts& counts) {
    QObject::connect(&app, &AppState::themeChanged, [&counts] { ++counts.theme; });
    QObject::connect(&app, &AppState::sizeUnitChanged, [&counts] { ++counts.unit; });
    QObject::connect(&app, &AppState::enabledManagersChanged, [&counts] { ++counts.managers; });
}
} // namespace

TEST(AppState, StartsFromTheDefaults) {
    AppState app;
    EXPECT_EQ(app.theme(), AppTheme::system);
    EXPECT_EQ(app.sizeUnit(), SizeUnit::decimal);
    EXPECT_EQ(app.enabledManagersRaw(), (QStringList{"homebrew", "npm", "pnpm", "nvm", "bun"}));
}

TEST(AppState, NotifiesOnlyOnRealChange) {
    AppState app;
    Counts counts;
    count(app, counts);

    app.setTheme(AppTheme::system);
    app.setThemeRaw("system");
    app.setThemeRaw("sepia"); // unknown: ignored
    EXPECT_EQ(counts.theme, 0);
    app.setThemeRaw("dark");
    app.setTheme(AppTheme::dark);
    EXPECT_EQ(counts.theme, 1);
    EXPECT_EQ(app.themeRaw(), "dark");

    app.setSizeUnit(SizeUnit::decimal);
    EXPECT_EQ(counts.unit, 0);
    app.setSizeUnitRaw("binary");
    app.setSizeUnitRaw("binary");
    EXPECT_EQ(counts.unit, 1);

    // Sets compare as sets: order and repetition do not matter.
    app.setEnabledManagersRaw({"bun", "nvm", "pnpm", "npm", "homebrew", "npm"});
    app.setEnabled("npm", true);
    EXPECT_EQ(counts.managers, 0);
    app.setEnabled("npm", false);
    app.setEnabled("npm", false);
    app.setEnabled("yarn", true);
    EXPECT_EQ(counts.managers, 1);
    EXPECT_FALSE(app.isEnabled("npm"));
    EXPECT_EQ(app.enabledManagersRaw(), (QStringList{"homebrew", "pnpm", "nvm", "bun"}));
}

TEST(AppState, FormatsBytesInTheCurrentUnit) {
    AppState app;
    EXPECT_EQ(app.formatBytes(1'500'000), QString::fromStdString(formatBytes(1'500'000, SizeUnit::decimal)));
    app.setSizeUnit(SizeUnit::binary);
    EXPECT_EQ(app.formatBytes(1'500'000), QString::fromStdString(formatBytes(1'500'000, SizeUnit::binary)));
    EXPECT_NE(app.formatBytes(1'500'000), QString::fromStdString(formatBytes(1'500'000, SizeUnit::decimal)));
}

TEST(Fixture, ReadsTheReportFormatAndIgnoresWhatItDoesNotKnow) {
    const auto fixture = decodeFixture(R"({
      "sizeUnit": "decimal",
      "delaysMs": {"npm": 25, "yarn": 3},
      "managers": [
        {"kind": "npm", "version": "10.1.0", "summary": "1 global",
         "items": [{"name": "typescript", "bytes": 42, "tier": "orphanCandidate", "size": "0 KB",
                    "evidence": [{"kind": "lastUsed", "at": 1700000000, "summary": "x"},
                                 {"kind": "notDefaultVersion", "defaultVersion": "20.1.0"},
                                 {"kind": "nonsense"}],
                    "reclaimCommand": "npm -g uninstall typescript"},
                   {"name": "unsized", "bytes": null}],
         "quickWins": [{"title": "t", "command": "npm cache clean --force", "detail": "d"}]},
        {"kind": "pnpm", "detected": false},
        {"kind": "yarn"}
      ]})");
    ASSERT_TRUE(fixture.has_value());
    ASSERT_EQ(fixture->result.managers.size(), 2u);
    const auto& npm = fixture->result.managers[0];
    EXPECT_TRUE(npm.detected);
    EXPECT_EQ(npm.version, "10.1.0");
    ASSERT_EQ(npm.items.size(), 2u);
    EXPECT_EQ(npm.items[0].bytes, 42);
    EXPECT_EQ(npm.items[0].tier, Tier::orphanCandidate);
    ASSERT_EQ(npm.items[0].evidence.size(), 2u);
    EXPECT_EQ(npm.items[0].evidence[0], Evidence::lastUsed(1700000000));
    EXPECT_EQ(npm.items[0].evidence[1], Evidence::notDefaultVersion("20.1.0"));
    EXPECT_EQ(npm.items[1].bytes, std::nullopt);
    EXPECT_EQ(npm.items[1].tier, Tier::signalOnly);
    EXPECT_NE(npm.items[0].id, npm.items[1].id);
    ASSERT_EQ(npm.quickWins.size(), 1u);
    EXPECT_EQ(npm.quickWins[0].command, "npm cache clean --force");
    EXPECT_FALSE(fixture->result.managers[1].detected);
    EXPECT_EQ(fixture->delaysMs.size(), 1u);
    EXPECT_EQ(fixtureAdapters(*fixture).size(), 2u);

    EXPECT_FALSE(decodeFixture("[]").has_value());
    EXPECT_FALSE(decodeFixture(R"({"managers": 3})").has_value());
    EXPECT_FALSE(decodeFixture("not json").has_value());
}

TEST(Updater, InertWithoutAnUpdateFramework) {
    kelvo::Updater updater;
    int automaticChanges = 0;
    QObject::connect(&updater, &kelvo::Updater::automaticallyChecksForUpdatesChanged,
                     [&automaticChanges] { ++automaticChanges; });
    EXPECT_FALSE(updater.canCheckForUpdates());
    updater.checkForUpdates();
    EXPECT_FALSE(updater.canCheckForUpdates());

    const bool initial = updater.automaticallyChecksForUpdates();
    updater.setAutomaticallyChecksForUpdates(initial);
    EXPECT_EQ(automaticChanges, 0);
    updater.setAutomaticallyChecksForUpdates(!initial);
    updater.setAutomaticallyChecksForUpdates(!initial);
    EXPECT_EQ(automaticChanges, 1);
    EXPECT_EQ(updater.automaticallyChecksForUpdates(), !initial);
}
