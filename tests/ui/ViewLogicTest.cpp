#include "ui/logic/ViewLogic.h"

#include "model/SizeFormat.h"

#include <gtest/gtest.h>


using namespace kelvo;
using namespace kelvo::ui;

namespace {
DependencyItem item(std::optional<std::int64_t> bytes, Tier tier = Tier::signalOnly) {
    DependencyItem made;
    made.id = Uuid::random();
    made.name = "x";
    made.bytes = bytes;
    made.tier = tier;
    return made;
}

ManagerReport report(ManagerKind kind, bool detected, std::vector<DependencyItem> items = {}) {
    return ManagerReport{kind, detected, std::nullopt, std::move(items), {}};
}

ScanResult result(std::vector<ManagerReport> managers) { return ScanResult{1.0, std::move(managers)}; }

std::vector<ManagerKind> kinds(const std::vector<const ManagerReport*>& reports) {
    std::vector<ManagerKind> out;
    for (const auto* r : reports) {
        out.push_back(r->kind);
    }
    return out;
}

const std::set<ManagerKind> allKinds{allManagerKinds.begin(), allManagerKinds.end()};
} // namespace

TEST(HeatColor, Thresholds) {
    EXPECT_EQ(heatColorName(std::nullopt), "heat4");
    EXPECT_EQ(heatColorName(-5), "heat4");
    EXPECT_EQ(heatColorName(0), "heat4");
    EXPECT_EQ(heatColorName(119'999'999), "heat4");
    EXPECT_EQ(heatColorName(120'000'000), "heat3");
    EXPECT_EQ(heatColorName(349'999'999), "heat3");
    EXPECT_EQ(heatColorName(350'000'000), "heat2");
    EXPECT_EQ(heatColorName(1'999'999'999), "heat2");
    EXPECT_EQ(heatColorName(2'000'000'000), "heat1");
}

TEST(AbbreviatedPath, HomePrefixBecomesTilde) {
    EXPECT_EQ(abbreviatedPath("/Users/me/x", "/Users/me"), "~/x");
    EXPECT_EQ(abbreviatedPath("/Users/me", "/Users/me"), "~");
    EXPECT_EQ(abbreviatedPath("/opt/homebrew/Cellar/jq", "/Users/me"), "/opt/homebrew/Cellar/jq");
    // Another directory that merely starts with the same letters is not inside home.
    EXPECT_EQ(abbreviatedPath("/Users/mex", "/Users/me"), "/Users/mex");
    EXPECT_EQ(abbreviatedPath("/Users/mex/y", "/Users/me"), "/Users/mex/y");
    EXPECT_EQ(abbreviatedPath("/x", ""), "/x");
}

TEST(AppearanceToggle, SwitchesAwayFromWhatIsDrawnAndNeverBackToSystem) {
    EXPECT_EQ(toggledTheme(true), AppTheme::light);
    EXPECT_EQ(toggledTheme(false), AppTheme::dark);
    EXPECT_EQ(toggleLabel(true), "Light mode");
    EXPECT_EQ(toggleLabel(false), "Dark mode");
    EXPECT_TRUE(drawsDark(AppTheme::system, true));
    EXPECT_FALSE(drawsDark(AppTheme::system, false));
    EXPECT_TRUE(drawsDark(AppTheme::dark, false));
    EXPECT_FALSE(drawsDark(AppTheme::light, true));
    // System drawn dark: the first press gives light, the next dark.
    EXPECT_EQ(toggledTheme(drawsDark(toggledTheme(drawsDark(AppTheme::system, true)), true)), AppTheme::dark);
}

TEST(Selection, SecondClickOnTheSameCardClears) {
    EXPECT_EQ(toggledSelection(std::nullopt, ManagerKind::npm), ManagerKind::npm);
    EXPECT_EQ(toggledSelection(ManagerKind::npm, ManagerKind::npm), std::nullopt);
    EXPECT_EQ(toggledSelection(ManagerKind::npm, ManagerKind::bun), ManagerKind::bun);
}

TEST(Rail, OrdersByTotalKeepingResultOrderForTies) {
    const auto scan = result({report(ManagerKind::homebrew, true, {item(5'000'000'000)}),
                              report(ManagerKind::npm, true, {item(3'000'000'000), item(2'000'000'000)}),
                              report(ManagerKind::pnpm, true, {item(std::nullopt)}),
                              report(ManagerKind::nvm, false, {item(9'000'000'000)}),
                              report(ManagerKind::bun, true, {item(6'000'000'000)})});
    EXPECT_EQ(kinds(railReports(scan, allKinds)),
              (std::vector<ManagerKind>{ManagerKind::bun, ManagerKind::homebrew, ManagerKind::npm, ManagerKind::pnpm}));
    EXPECT_EQ(kinds(railReports(scan, {ManagerKind::npm, ManagerKind::pnpm})),
              (std::vector<ManagerKind>{ManagerKind::npm, ManagerKind::pnpm}));
}

TEST(Rail, NotDetectedListsOnlyEnabledMissingManagersInResultOrder) {
    const auto scan = result({report(ManagerKind::homebrew, false), report(ManagerKind::npm, true),
                              report(ManagerKind::pnpm, false), report(ManagerKind::nvm, true),
                              report(ManagerKind::bun, false)});
    EXPECT_EQ(notDetectedLine(missingReports(scan, allKinds)), "Not detected: Homebrew \u00B7 pnpm \u00B7 bun");
    EXPECT_EQ(notDetectedLine(missingReports(scan, {ManagerKind::pnpm, ManagerKind::npm})), "Not detected: pnpm");
    EXPECT_EQ(notDetectedLine(missingReports(scan, {ManagerKind::npm})), "");
}

TEST(Rail, SummaryTexts) {
    const auto scan = result({report(ManagerKind::homebrew, true, {item(1'000'000'000, Tier::orphanCandidate)}),
                              report(ManagerKind::npm, true, {item(500'000'000), item(500'000'000)}),
                              report(ManagerKind::pnpm, false, {item(7)})});
    EXPECT_EQ(railSubtitle(scan, 1, SizeUnit::decimal),
              "of " + formatBytes(2'000'000'007, SizeUnit::decimal) + " total \u00B7 1 manager \u00B7 3 packages");
    EXPECT_EQ(railSubtitle(scan, 2, SizeUnit::decimal).find(" \u00B7 2 managers \u00B7 3 packages") != std::string::npos,
              true);
    EXPECT_EQ(countLine(3, 412), "3 of 5 managers detected \u00B7 412 packages inventoried");
    EXPECT_EQ(countLine(0, 1), "0 of 5 managers detected \u00B7 1 packages inventoried");
}

TEST(Rail, BigNumberSplitsTheSizeText) {
    EXPECT_EQ(splitSizeText("1.2 GB").number, "~1.2");
    EXPECT_EQ(splitSizeText("1.2 GB").unit, "GB");
    EXPECT_EQ(splitSizeText("  12   MB extra").number, "~12");
    EXPECT_EQ(splitSizeText("  12   MB extra").unit, "MB");
    EXPECT_EQ(splitSizeText("Zero").unit, "");
    EXPECT_EQ(splitSizeText("").number, "~");
}

TEST(Rail, ReclaimNote) {
    const auto orphan = report(ManagerKind::homebrew, true, {item(2'000'000, Tier::orphanCandidate)});
    EXPECT_EQ(reclaimNote(orphan, SizeUnit::decimal).kind, ReclaimNoteKind::reclaimable);
    EXPECT_EQ(reclaimNote(orphan, SizeUnit::binary).text, "+" + formatBytes(2'000'000, SizeUnit::binary) + " reclaimable");

    const auto store = report(ManagerKind::pnpm, true, {item(9'000'000'000, Tier::safeByDesign)});
    EXPECT_EQ(reclaimNote(store, SizeUnit::decimal).kind, ReclaimNoteKind::prunable);
    EXPECT_EQ(reclaimNote(store, SizeUnit::decimal).text, "Prunable \u2014 pnpm decides");

    // An orphan of unknown size reclaims nothing: the prunable note wins when there is one.
    const auto mixed =
        report(ManagerKind::npm, true, {item(std::nullopt, Tier::orphanCandidate), item(5, Tier::safeByDesign)});
    EXPECT_EQ(reclaimNote(mixed, SizeUnit::decimal).text, "Prunable \u2014 npm decides");
    EXPECT_EQ(reclaimNote(report(ManagerKind::nvm, true, {item(5)}), SizeUnit::decimal).kind, ReclaimNoteKind::none);
}
