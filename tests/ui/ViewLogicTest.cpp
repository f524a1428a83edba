#include "Builders.h"
#include "ui/logic/ViewLogic.h"

#include <gtest/gtest.h>

using namespace kelvo;
using namespace kelvo::ui;
using namespace kelvo::ui::testing;

namespace {
const std::set<ManagerKind> allKinds{allManagerKinds.begin(), allManagerKinds.end()};

std::vector<ManagerKind> kinds(const std::vector<const ManagerReport*>& reports) {
    std::vector<ManagerKind> out;
    for (const auto* r : reports) {
        out.push_back(r->kind);
    }
    return out;
}

std::vector<std::string> names(const std::vector<InventoryRow>& rows) {
    std::vector<std::string> out;
    for (const auto& row : rows) {
        out.push_back(row.isGroup() ? row.asGroup().title : row.asItem().item.name);
    }
    return out;
}
} // namespace

TEST(ViewLogic, HeatColourThresholdsAreDecimalAndInclusive) {
    const std::pair<std::optional<std::int64_t>, std::string_view> table[] = {
        {std::nullopt, "heat4"},   {-5, "heat4"},          {0, "heat4"},           {119'999'999, "heat4"},
        {120'000'000, "heat3"},    {349'999'999, "heat3"}, {350'000'000, "heat2"}, {1'999'999'999, "heat2"},
        {2'000'000'000, "heat1"}};
    for (const auto& [bytes, name] : table) {
        EXPECT_EQ(heatColorName(bytes), name) << bytes.value_or(-1);
    }
}

TEST(ViewLogic, AbbreviatedPathTakesOnlyAWholeHomeDirectory) {
    const std::tuple<std::string, std::string, std::string> table[] = {
        {"/Users/me/x", "/Users/me", "~/x"},
        {"/Users/me", "/Users/me", "~"},
        {"/opt/homebrew/Cellar/jq", "/Users/me", "/opt/homebrew/Cellar/jq"},
        {"/Users/mex/y", "/Users/me", "/Users/mex/y"}, // another user's home, not ~x/y
        {"/x", "", "/x"}};
    for (const auto& [path, home, shown] : table) {
        EXPECT_EQ(abbreviatedPath(path, home), shown) << path;
    }
}

TEST(ViewLogic, AppearanceToggleSwitchesAwayFromWhatIsDrawnAndNeverBackToSystem) {
    EXPECT_EQ(toggledTheme(true), AppTheme::light);
    EXPECT_EQ(toggledTheme(false), AppTheme::dark);
    EXPECT_EQ(toggleLabel(true), "Light mode");
    EXPECT_EQ(toggleLabel(false), "Dark mode");
    EXPECT_TRUE(drawsDark(AppTheme::system, true));
    EXPECT_FALSE(drawsDark(AppTheme::system, false));
    EXPECT_TRUE(drawsDark(AppTheme::dark, false));
    EXPECT_FALSE(drawsDark(AppTheme::light, true));
}

TEST(ViewLogic, RailOrdersBySizeWithStableTiesAndListsMissingEnabledManagers) {
    const auto scan = result({report(ManagerKind::homebrew, {item("a", 5'000'000'000)}),
                              report(ManagerKind::npm, {item("b", 3'000'000'000), item("c", 2'000'000'000)}),
                              report(ManagerKind::pnpm, {item("store", std::nullopt)}),
                              report(ManagerKind::nvm, {item("v", 9'000'000'000)}, false),
                              report(ManagerKind::bun, {}, false)});
    EXPECT_EQ(kinds(railReports(scan, allKinds)),
              (std::vector<ManagerKind>{ManagerKind::homebrew, ManagerKind::npm, ManagerKind::pnpm}));
    EXPECT_EQ(kinds(railReports(scan, {ManagerKind::pnpm, ManagerKind::npm})),
              (std::vector<ManagerKind>{ManagerKind::npm, ManagerKind::pnpm}));
    EXPECT_EQ(notDetectedLine(missingReports(scan, allKinds)), "Not detected: nvm \u00B7 bun");
    EXPECT_EQ(notDetectedLine(missingReports(scan, {ManagerKind::bun})), "Not detected: bun");
    EXPECT_EQ(notDetectedLine(missingReports(scan, {ManagerKind::npm})), "");

    EXPECT_EQ(toggledSelection(std::nullopt, ManagerKind::npm), ManagerKind::npm);
    EXPECT_EQ(toggledSelection(ManagerKind::npm, ManagerKind::npm), std::nullopt);
    EXPECT_EQ(toggledSelection(ManagerKind::npm, ManagerKind::bun), ManagerKind::bun);
}

TEST(ViewLogic, RailTexts) {
    const auto scan = result({report(ManagerKind::homebrew, {item("a", 1'000'000'000)}),
                              report(ManagerKind::npm, {item("b", 500, Tier::signalOnly), item("c", 500)}),
                              report(ManagerKind::pnpm, {item("d", 7)}, false)});
    EXPECT_EQ(railSubtitle(scan, 1, SizeUnit::decimal),
              "of " + formatBytes(1'000'001'007, SizeUnit::decimal) + " total \u00B7 1 manager \u00B7 3 packages");
    EXPECT_TRUE(railSubtitle(scan, 2, SizeUnit::binary).ends_with(" total \u00B7 2 managers \u00B7 3 packages"));
    EXPECT_EQ(countLine(3, 412), "3 of 5 managers detected \u00B7 412 packages inventoried");
    EXPECT_EQ(countLine(0, 1), "0 of 5 managers detected \u00B7 1 packages inventoried");

    EXPECT_EQ(splitSizeText("1.2 GB").number, "~1.2");
    EXPECT_EQ(splitSizeText("  12   MB extra").unit, "MB");
    EXPECT_EQ(splitSizeText("Zero").unit, "");
    EXPECT_EQ(splitSizeText("").number, "~");

    EXPECT_EQ(reclaimNote(scan.managers[0], SizeUnit::binary).text,
              "+" + formatBytes(1'000'000'000, SizeUnit::binary) + " reclaimable");
    // An orphan of unknown size reclaims nothing: the prunable note is shown instead.
    const auto store = report(ManagerKind::pnpm, {item("s", std::nullopt), item("t", 5, Tier::safeByDesign)});
    EXPECT_EQ(reclaimNote(store, SizeUnit::decimal).kind, ReclaimNoteKind::prunable);
    EXPECT_EQ(reclaimNote(store, SizeUnit::decimal).text, "Prunable \u2014 pnpm decides");
    EXPECT_EQ(reclaimNote(report(ManagerKind::nvm, {item("v", 5, Tier::signalOnly)}), SizeUnit::decimal).kind,
              ReclaimNoteKind::none);
}

TEST(ViewLogic, PanelRowsAndQuickWinsFollowSelectionEnabledManagersAndFilter) {
    // nvm: Node 20 keeps an in-use version, Node 18 an unused one; a group goes with its keep item.
    const auto scan = result(
        {report(ManagerKind::homebrew, {item("openssl", 500, Tier::signalOnly), item("llvm", 900)}, true,
                {"brew autoremove"}),
         report(ManagerKind::npm, {item("typescript", 300, Tier::signalOnly)}, true, {"npm cache clean --force"}),
         report(ManagerKind::nvm, {item("v20.1.0", 50, Tier::signalOnly), item("v20.0.0", 40), item("v18.2.0", 30),
                                   item("v18.1.0", 20, Tier::signalOnly)}),
         report(ManagerKind::bun, {item("serve", 9'000)}, false, {"bun pm cache rm"})});
    using Names = std::vector<std::string>;
    EXPECT_EQ(names(panelRows(scan, allKinds, std::nullopt, std::nullopt)),
              (Names{"llvm", "openssl", "typescript", "Node 20", "Node 18"}));
    EXPECT_EQ(names(panelRows(scan, allKinds, std::nullopt, Tier::signalOnly)),
              (Names{"openssl", "typescript", "Node 20"}));
    EXPECT_EQ(names(panelRows(scan, allKinds, std::nullopt, Tier::orphanCandidate)), (Names{"llvm", "Node 18"}));
    // A disabled manager contributes nothing under All, but a selected one is listed all the same.
    EXPECT_EQ(names(panelRows(scan, {ManagerKind::npm}, std::nullopt, std::nullopt)), Names{"typescript"});
    EXPECT_EQ(names(panelRows(scan, {}, ManagerKind::homebrew, std::nullopt)), (Names{"llvm", "openssl"}));
    EXPECT_EQ(names(panelRows(scan, allKinds, ManagerKind::bun, std::nullopt)), Names{"serve"});

    EXPECT_EQ(copyAllText(panelQuickWins(scan, allKinds, std::nullopt)), "brew autoremove\nnpm cache clean --force");
    EXPECT_EQ(copyAllText(panelQuickWins(scan, {ManagerKind::npm}, std::nullopt)), "npm cache clean --force");
    EXPECT_EQ(copyAllText(panelQuickWins(scan, allKinds, ManagerKind::homebrew)), "brew autoremove");
    EXPECT_EQ(copyAllText(panelQuickWins(scan, allKinds, ManagerKind::pnpm)), "brew autoremove\nnpm cache clean --force");
    EXPECT_EQ(copyAllText({}), "");
}

TEST(ViewLogic, ListLimitAndPanelTexts) {
    // {total, expanded} -> {shown, show-all button}, with the limit of 30.
    const std::tuple<std::size_t, bool, std::size_t, bool> table[] = {
        {0, false, 0, false},  {29, false, 29, false}, {30, false, 30, false},
        {31, false, 30, true}, {31, true, 31, false},  {400, false, 30, true}};
    for (const auto& [total, expanded, shown, button] : table) {
        EXPECT_EQ(shownRowCount(total, 30, expanded), shown) << total;
        EXPECT_EQ(showAllVisible(total, 30, expanded), button) << total;
    }
    EXPECT_EQ(showAllText(31), "Show all 31 packages");
    EXPECT_EQ(showAllText(1), "Show all 1 packages");
    EXPECT_EQ(moreText(31, 30), "1 more");
    EXPECT_EQ(sortLine(30, 31), "Sort: size \u2193 \u00b7 showing 30 of 31");
    EXPECT_EQ(quickWinsHeader(0), "0 safe quick wins");
    EXPECT_EQ(quickWinsHeader(1), "1 safe quick win");
    EXPECT_EQ(quickWinsHeader(3), "3 safe quick wins");

    auto same = item("typescript", 1);
    same.version = "typescript";
    auto other = item("llvm", 1);
    other.version = "18.1.8";
    EXPECT_EQ(shownVersion(same), std::nullopt);
    EXPECT_EQ(shownVersion(other), "18.1.8");
    EXPECT_EQ(shownVersion(item("jq", 1)), std::nullopt);

    const auto rows = buildRows(ManagerKind::nvm, {item("v18.1.0", 1), item("v18.3.0", 2), item("v18.2.0", 3)});
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(versionsText(rows[0].asGroup()), "3 versions");
    EXPECT_EQ(keepLine(rows[0].asGroup()), "newest Node 18 \u2014 nothing to do");
}
