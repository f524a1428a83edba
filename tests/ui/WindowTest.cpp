// The window's decisions (ViewLogic, ColorTable) and the objects QML uses over them.

#include "system/Platform.h"
#include "ui/bridge/InventoryPanelState.h"
#include "ui/logic/ColorTable.h"

#include "adapters/Sources.h"

#include <gtest/gtest.h>

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QUrl>

using namespace kelvo;
using namespace kelvo::ui;

namespace {
DependencyItem item(std::string name, std::optional<std::int64_t> bytes, Tier tier = Tier::orphanCandidate) {
    return {Uuid::random(), std::move(name), std::nullopt, std::nullopt, bytes, tier, {}, std::nullopt, std::nullopt};
}

ManagerReport report(ManagerKind kind, std::vector<DependencyItem> items = {}, bool detected = true,
    std::vector<std::string> winCommands = {}) {
    ManagerReport made{kind, detected, std::nullopt, std::move(items), {}};
    for (auto& command : winCommands) made.quickWins.push_back({Uuid::random(), "title", std::move(command), "detail"});
    return made;
}

ScanResult result(std::vector<ManagerReport> managers) { return ScanResult{1'700'000'000, std::move(managers)}; }

const std::set<ManagerKind> allKinds{allManagerKinds.begin(), allManagerKinds.end()};

std::string nameOf(const ManagerReport* report) { return std::string(rawValue(report->kind)); }
std::string nameOf(const InventoryRow& row) { return row.isGroup() ? row.asGroup().title : row.asItem().item.name; }

// A list as its kinds or names, space-separated, to compare it whole.
template <class List>
std::string names(const List& list) {
    std::string out;
    for (const auto& entry : list) out += (out.empty() ? "" : " ") + nameOf(entry);
    return out;
}

QString role(const InventoryPanelState& panel, int row, InventoryRowsModel::Role role) {
    return panel.rows()->data(panel.rows()->index(row), role).toString();
}
} // namespace

TEST(ViewLogic, HeatColoursAndTheAppearanceToggle) {
    const std::pair<std::optional<std::int64_t>, std::string_view> heats[] = {{std::nullopt, "heat4"}, {-5, "heat4"},
        {119'999'999, "heat4"}, {120'000'000, "heat3"}, {349'999'999, "heat3"}, {350'000'000, "heat2"},
        {1'999'999'999, "heat2"}, {2'000'000'000, "heat1"}};
    for (const auto& [bytes, name] : heats) EXPECT_EQ(heatColorName(bytes), name) << bytes.value_or(-1);
    // The toggle switches away from what is drawn, so it never returns to following the system.
    EXPECT_EQ(toggledTheme(drawsDark(AppTheme::system, true)), AppTheme::light);
    EXPECT_EQ(toggledTheme(drawsDark(AppTheme::system, false)), AppTheme::dark);
    EXPECT_TRUE(drawsDark(AppTheme::dark, false));
    EXPECT_FALSE(drawsDark(AppTheme::light, true));
}

TEST(ViewLogic, RailOrderAndTexts) {
    const auto scan = result({report(ManagerKind::homebrew, {item("a", 5'000'000'000)}),
        report(ManagerKind::npm, {item("b", 3'000'000'000), item("c", 2'000'000'000)}),
        report(ManagerKind::pnpm, {item("store", std::nullopt, Tier::safeByDesign)}),
        report(ManagerKind::nvm, {item("v", 9'000'000'000)}, false), report(ManagerKind::bun, {}, false)});
    // Largest first, a tie in the result's order; only detected and enabled managers.
    EXPECT_EQ(names(railReports(scan, allKinds)), "homebrew npm pnpm");
    EXPECT_EQ(names(railReports(scan, {ManagerKind::pnpm, ManagerKind::npm})), "npm pnpm");
    EXPECT_EQ(notDetectedLine(missingReports(scan, allKinds)), "Not detected: nvm \u00B7 bun");
    EXPECT_EQ(notDetectedLine(missingReports(scan, {ManagerKind::npm})), "");
    // The size of every included report, but the items only of detected ones.
    // Projects are not a manager: counted among the cards, not among the managers.
    const ManagerReport projects = report(ManagerKind::projects, {item("app", 1)});
    const std::vector<const ManagerReport*> rail{&scan.managers[1], &projects};
    EXPECT_EQ(
        railSubtitle(scan, allKinds, rail, SizeUnit::decimal), "of 19 GB total \u00B7 1 manager \u00B7 4 packages");
    EXPECT_EQ(railSubtitle(scan, {ManagerKind::npm, ManagerKind::nvm}, {rail[0], rail[0]}, SizeUnit::decimal),
        "of 14 GB total \u00B7 2 managers \u00B7 2 packages");
    EXPECT_EQ(countLine(rail, 4),
        "1 of " + std::to_string(packageManagerCount()) + " managers detected \u00B7 4 packages inventoried");
    EXPECT_EQ(splitSizeText("  12   MB extra").number + splitSizeText("  12   MB extra").unit, "~12MB");
    EXPECT_EQ(splitSizeText("").number, "~");

    // An orphan of unknown size reclaims nothing: the prunable note is shown instead.
    EXPECT_EQ(reclaimNote(scan.managers[2], SizeUnit::decimal).text, "Prunable \u2014 pnpm decides");
    EXPECT_EQ(reclaimNote(report(ManagerKind::nvm, {item("v", 5, Tier::signalOnly)}), SizeUnit::decimal).kind,
        ReclaimNoteKind::none);
}

TEST(ViewLogic, PanelRowsAndQuickWinsFollowSelectionEnabledManagersAndFilter) {
    // nvm: Node 20 keeps an in-use version and holds an unused one; Node 18 keeps an unused one.
    const auto scan = result({report(ManagerKind::homebrew, {item("openssl", 500, Tier::signalOnly), item("llvm", 900)},
                                  true, {"brew autoremove"}),
        report(ManagerKind::npm, {item("typescript", 700, Tier::signalOnly)}, true, {"npm cache clean --force"}),
        report(ManagerKind::nvm, {item("v20.1.0", 50, Tier::signalOnly), item("v20.0.0", 40), item("v18.2.0", 30),
                                     item("v18.1.0", 20, Tier::signalOnly)}),
        report(ManagerKind::bun, {item("serve", 9'000)}, false, {"bun pm cache rm"})});
    // All: every manager's rows in one order by size.
    EXPECT_EQ(names(panelRows(scan, allKinds, std::nullopt, std::nullopt)), "llvm typescript openssl Node 20 Node 18");
    // A group is filed under what it holds: a version that may go, else its keep item's tier.
    EXPECT_EQ(names(panelRows(scan, allKinds, std::nullopt, Tier::signalOnly)), "typescript openssl");
    EXPECT_EQ(names(panelRows(scan, allKinds, std::nullopt, Tier::orphanCandidate)), "llvm Node 20 Node 18");
    // A disabled manager contributes nothing under All, but a selected one is listed all the same.
    EXPECT_EQ(names(panelRows(scan, {ManagerKind::npm}, std::nullopt, std::nullopt)), "typescript");
    EXPECT_EQ(names(panelRows(scan, {}, ManagerKind::homebrew, std::nullopt)), "llvm openssl");
    EXPECT_EQ(names(panelRows(scan, allKinds, ManagerKind::bun, std::nullopt)), "serve");

    EXPECT_EQ(copyAllText(panelQuickWins(scan, allKinds, std::nullopt)), "brew autoremove\nnpm cache clean --force");
    EXPECT_EQ(copyAllText(panelQuickWins(scan, {ManagerKind::npm}, std::nullopt)), "npm cache clean --force");
    EXPECT_EQ(copyAllText(panelQuickWins(scan, allKinds, ManagerKind::homebrew)), "brew autoremove");
    // A manager without a report: the quick wins of All.
    EXPECT_EQ(
        copyAllText(panelQuickWins(scan, allKinds, ManagerKind::pnpm)), "brew autoremove\nnpm cache clean --force");
}

TEST(ViewLogic, ListLimitAndRowTexts) {
    // {total, expanded} -> {shown, show-all button}, with the limit of 30.
    const std::tuple<std::size_t, bool, std::size_t, bool> table[] = {
        {0, false, 0, false}, {30, false, 30, false}, {31, false, 30, true}, {31, true, 31, false}};
    for (const auto& [total, expanded, shown, button] : table) {
        EXPECT_EQ(shownRowCount(total, 30, expanded), shown) << total;
        EXPECT_EQ(showAllVisible(total, 30, expanded), button) << total;
    }
    EXPECT_EQ(moreText(31, 30), "1 more");
    EXPECT_EQ(quickWinsHeader(1), "1 safe quick win");
    EXPECT_EQ(quickWinsHeader(3), "3 safe quick wins");

    auto same = item("typescript", 1); // a version that only repeats the name is not shown
    same.version = "typescript";
    EXPECT_EQ(shownVersion(same), std::nullopt);
    same.version = "5.5.3";
    EXPECT_EQ(shownVersion(same), "5.5.3");
}

TEST(ViewLogic, ProjectRowsAndSearchedFoldersReadAsProjects) {
    struct Case {
        ManagerKind manager;
        std::optional<std::string> managedBy, project, identity;
        bool evidence;
        std::string chip, version, shownIdentity;
    };
    const Case cases[] = {
        // A manager's package shows its own manager, version and identity.
        {ManagerKind::npm, "pnpm", "/home/u/lib", "TypeScript compiler", true, "npm", "5.5.3", "TypeScript compiler"},
        // A project's build folder: what manages it, the project's folder, its first evidence.
        {ManagerKind::projects, "pnpm", "/home/u/src/api", std::nullopt, true, "pnpm", "~/src/api",
            "No lockfile: reinstalling may pick other versions"},
        {ManagerKind::projects, "cargo", "/srv/a\u202Eb", std::nullopt, false, "cargo", "/srv/a\\u202eb", ""},
        // One that says what it is keeps that; without a manager, a folder or evidence, the item's own.
        {ManagerKind::projects, "xcode", std::nullopt, "Archives", true, "xcode", "5.5.3", "Archives"},
        {ManagerKind::projects, std::nullopt, std::nullopt, std::nullopt, false, "proj", "5.5.3", ""},
    };
    for (const auto& c : cases) {
        auto built = item("built", 1);
        built.version = "5.5.3";
        built.identity = c.identity;
        built.managedBy = c.managedBy;
        built.project = c.project;
        if (c.evidence) built.evidence = {Evidence::noLockfile(), Evidence::noDependents()};
        const auto texts = itemRowTexts(built, c.manager, "/home/u");
        EXPECT_EQ(texts.chip + " | " + texts.version + " | " + texts.identity,
            c.chip + " | " + c.version + " | " + c.shownIdentity)
            << c.project.value_or("no project");
    }
    // The settings' folders: the home by name, a folder's hidden characters escaped.
    EXPECT_EQ(projectFolderLabel("/home/u", "/home/u") + " | " + projectFolderLabel("/home/u/a\u202Eb", "/home/u"),
        "~ (your home folder) | ~/a\\u202eb");
}

TEST(ThemeColors, ShippedColoursAreCompleteAndTextIsReadableOnEverySurface) {
    const auto text = readFile(std::string(KELVO_SOURCE_DIR) + "/resources/colors.json", 1 << 20);
    const auto table = decodeColorTable(text.value_or("")).value_or(ColorTable{});
    ASSERT_EQ(table.size(), 28u);
    const auto rgb = [&](const std::string& name, bool dark) {
        const auto& entry = table.at(name);
        return parseHexColor(dark ? entry.dark : entry.light).value_or(Rgb{});
    };
    EXPECT_NEAR(contrastRatio({0, 0, 0}, {1, 1, 1}), 21.0, 1e-9); // the check is only as good as its arithmetic
    const char* texts[] = {"text", "text2", "muted", "faint", "faint2", "accent", "safe", "caution", "essential",
        "copyInk", "heat1", "heat2", "heat3", "heat4"};
    for (bool dark : {false, true}) {
        for (const char* name : texts)
            for (const char* surface : {"bg", "titlebar", "surface", "surface2", "surface3"})
                EXPECT_GE(contrastRatio(rgb(name, dark), rgb(surface, dark)), 4.5)
                    << name << " on " << surface << (dark ? " (dark)" : " (light)");
        EXPECT_GE(contrastRatio(rgb("accentInk", dark), rgb("accent", dark)), 4.5);
        // The secondary text levels are told apart: each a clear step above the next.
        const char* levels[] = {"text", "text2", "muted", "faint", "faint2"};
        for (std::size_t i = 1; i < std::size(levels); ++i)
            EXPECT_GE(contrastRatio(rgb(levels[i - 1], dark), rgb("bg", dark)),
                1.2 * contrastRatio(rgb(levels[i], dark), rgb("bg", dark)))
                << levels[i - 1] << " over " << levels[i] << (dark ? " (dark)" : " (light)");
        for (const char* name : {"termText", "copyInk", "safe"})
            EXPECT_GE(contrastRatio(rgb(name, dark), rgb("termBg", dark)), 4.5) << name;
    }
}

TEST(AppState, StartsFromTheDefaultsAndNotifiesOnlyOnARealChange) {
    AppState app;
    EXPECT_TRUE(app.themeRaw() == "system" && app.sizeUnitRaw() == "decimal" && app.enabledManagers().size() == 10);
    QSignalSpy theme(&app, &AppState::themeChanged), unit(&app, &AppState::sizeUnitChanged),
        managers(&app, &AppState::enabledManagersChanged);
    app.setThemeRaw("sepia"); // unknown: ignored
    app.setSizeUnit(SizeUnit::decimal);
    app.setEnabledManagersRaw(
        {"bun", "nvm", "projects", "go", "pnpm", "npm", "homebrew", "rust", "python", "yarn", "npm"}); // the same set
    EXPECT_EQ(theme.count() + unit.count() + managers.count(), 0);

    for (int twice = 0; twice < 2; ++twice) {
        app.setThemeRaw("dark");
        app.setSizeUnitRaw("binary");
        app.setEnabled("npm", false);
    }
    EXPECT_EQ(theme.count() + unit.count() + managers.count(), 3);
    EXPECT_EQ(app.enabledManagersRaw(),
        (QStringList{"homebrew", "pnpm", "nvm", "bun", "yarn", "rust", "go", "python", "projects"}));
    EXPECT_EQ(app.formatBytes(1'500'000), "1.4 MB"); // in binary units now
}

TEST(AppState, ProjectFoldersAreKeptBetweenLaunchesOnceChosen) {
    QTemporaryDir dir;
    const QString file = dir.filePath("kelvo/settings.json");
    const QString home = QString::fromStdString(homeDirectory());
    AppState first;
    first.keepIn(file); // nothing kept yet: the home folder
    EXPECT_EQ(first.projectFolders(), QStringList{home});
    QSignalSpy changed(&first, &AppState::projectFoldersChanged);
    first.addProjectFolder(QUrl::fromLocalFile("/src/")); // as the folder dialog gives it
    for (const char* ignored : {"/src", "relative", ""}) first.addProjectFolder(QString(ignored));
    first.removeProjectFolder(home);
    EXPECT_EQ(changed.count(), 2);
    AppState second;
    second.keepIn(file);
    EXPECT_EQ(second.projectFolders(), QStringList{"/src"});
}

TEST(InventoryPanelState, WhatFoldsTheListAndCollapsesTheExpandedRow) {
    std::vector<DependencyItem> many;
    for (int i = 0; i < 31; ++i) many.push_back(item("n" + std::to_string(i), 1'000'000 * (31 - i)));
    InventoryPanelState panel;
    panel.setResult(result({report(ManagerKind::npm, many), report(ManagerKind::bun, {item("b", 1)})}));
    panel.setSelected("npm");
    EXPECT_EQ(panel.rows()->rowCount(), 30);
    QSignalSpy inserted(panel.rows(), &QAbstractItemModel::rowsInserted);
    panel.showAll();
    EXPECT_EQ(panel.rows()->rowCount(), 31);
    EXPECT_EQ(inserted.count(), 1); // the rows on screen stay; only the last one is added

    // A filter change collapses the row but keeps the list unfolded.
    panel.toggleRow(panel.rows()->rowIdAt(30));
    panel.setVerdictFilter("orphanCandidate");
    EXPECT_TRUE(panel.expandedRowId().isEmpty());
    EXPECT_TRUE(panel.listExpanded());
    // A selection change collapses and folds.
    panel.toggleRow(panel.rows()->rowIdAt(30));
    panel.setSelected("bun");
    EXPECT_TRUE(panel.expandedRowId().isEmpty());
    panel.setSelected("npm");
    EXPECT_EQ(panel.rows()->rowCount(), 30);
}

TEST(InventoryPanelState, SettingsChangeTheRowsTheyConcern) {
    AppState app;
    app.setEnabledManagers({ManagerKind::npm});
    InventoryPanelState panel;
    panel.setApp(&app);
    panel.setResult(result({report(ManagerKind::homebrew, {item("llvm", 2'000'000'000)}),
        report(ManagerKind::npm, {item("typescript", 5)})}));
    // All and npm; All still counts Homebrew's item.
    const auto* tabs = panel.tabs();
    EXPECT_TRUE(tabs->rowCount() == 2 && tabs->data(tabs->index(0), ManagerTabsModel::CountRole) == 2);
    EXPECT_EQ(panel.rows()->rowCount(), 1);
    app.setEnabledManagers({ManagerKind::npm, ManagerKind::homebrew});
    ASSERT_EQ(panel.rows()->rowCount(), 2);
    EXPECT_EQ(role(panel, 0, InventoryRowsModel::SizeTextRole), "2 GB");
    // The unit changes the size texts and verdict sentences in place, without a reset.
    QSignalSpy changed(panel.rows(), &QAbstractItemModel::dataChanged),
        reset(panel.rows(), &QAbstractItemModel::modelReset);
    app.setSizeUnit(SizeUnit::binary);
    EXPECT_TRUE(changed.count() == 1 && reset.count() == 0);
    EXPECT_EQ(role(panel, 0, InventoryRowsModel::SizeTextRole), "1.86 GB");
    EXPECT_TRUE(role(panel, 0, InventoryRowsModel::VerdictTextRole).contains("1.86 GB"));
}

TEST(InventoryPanelState, HiddenCharactersAreShownEscapedWhileWhatIsCopiedStaysExact) {
    // A right-to-left override would make the row read as another package.
    auto spoof = item("evil\u202Egnp.exe\x1b[2J", 1'000);
    spoof.version = "1.0\u202E";
    spoof.identity = "id\x1b[31m";
    spoof.evidence = {Evidence::notDefaultVersion("20\u202E")};
    spoof.reclaimCommand = "npm -g uninstall 'evil\u202Egnp.exe\x1b[2J'";
    InventoryPanelState panel;
    panel.setResult(result({report(ManagerKind::npm, {spoof})}));
    const QString shown =
        role(panel, 0, InventoryRowsModel::NameRole) + role(panel, 0, InventoryRowsModel::VersionRole) +
        role(panel, 0, InventoryRowsModel::IdentityRole) +
        panel.rows()->data(panel.rows()->index(0), InventoryRowsModel::EvidenceRole).toStringList().join("");
    EXPECT_FALSE(shown.contains(QChar(0x202E)) || shown.contains(QChar(0x1B))) << shown.toStdString();
    EXPECT_TRUE(role(panel, 0, InventoryRowsModel::NameRole).contains("\\u202e", Qt::CaseInsensitive));
    EXPECT_EQ(role(panel, 0, InventoryRowsModel::ReclaimCommandRole).toStdString(), *spoof.reclaimCommand);
}
