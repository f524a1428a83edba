#include "ui/bridge/InventoryModel.h"

#include <gtest/gtest.h>

#include <QSignalSpy>

using namespace kelvo;
using namespace kelvo::ui;

namespace {
DependencyItem item(std::string name, std::optional<std::int64_t> bytes, Tier tier = Tier::orphanCandidate) {
    DependencyItem result;
    result.id = Uuid::random();
    result.name = std::move(name);
    result.bytes = bytes;
    result.tier = tier;
    return result;
}

ManagerReport report(ManagerKind kind, std::vector<DependencyItem> items, bool detected = true) {
    ManagerReport result;
    result.kind = kind;
    result.detected = detected;
    result.items = std::move(items);
    return result;
}

QuickWin win(std::string command) { return QuickWin{Uuid::random(), "title " + command, command, "detail"}; }

// `count` orphan items of decreasing size.
std::vector<DependencyItem> manyItems(int count, const std::string& prefix) {
    std::vector<DependencyItem> items;
    for (int i = 0; i < count; ++i) {
        items.push_back(item(prefix + std::to_string(i), 1'000'000 * (count - i)));
    }
    return items;
}

QString roleText(const InventoryModel& model, int row, InventoryModel::Role role) {
    return model.data(model.index(row), role).toString();
}

QStringList names(const InventoryModel& model) {
    QStringList list;
    for (int i = 0; i < model.rowCount(); ++i) {
        list << roleText(model, i, InventoryModel::NameRole);
    }
    return list;
}

ScanResult result(std::vector<ManagerReport> reports) { return ScanResult{1'700'000'000, std::move(reports)}; }
} // namespace

TEST(InventoryModel, FoldsLongListsAndUnfoldsOnlyUntilTheSelectionChanges) {
    InventoryModel model;
    model.setResult(result({report(ManagerKind::npm, manyItems(31, "n")), report(ManagerKind::bun, manyItems(30, "b"))}));
    model.setSelected("npm");
    EXPECT_EQ(model.rowCount(), 30);
    EXPECT_EQ(model.sortLineText(), QString::fromUtf8("Sort: size \u2193 \u00b7 showing 30 of 31"));
    EXPECT_TRUE(model.showAllVisible());
    EXPECT_EQ(model.showAllText(), "Show all 31 packages");
    EXPECT_EQ(model.moreText(), "1 more");

    QSignalSpy inserted(&model, &QAbstractItemModel::rowsInserted);
    model.showAll();
    EXPECT_EQ(model.rowCount(), 31);
    EXPECT_EQ(inserted.count(), 1);
    EXPECT_FALSE(model.showAllVisible());
    EXPECT_EQ(names(model).last(), "n30");

    model.toggleRow(model.rowIdAt(3));
    model.setSelected("bun"); // exactly 30 rows: no button
    EXPECT_FALSE(model.listExpanded());
    EXPECT_TRUE(model.expandedRowId().isEmpty());
    EXPECT_EQ(model.rowCount(), 30);
    EXPECT_FALSE(model.showAllVisible());

    model.setSelected("npm"); // folded again after coming back
    EXPECT_EQ(model.rowCount(), 30);
    EXPECT_TRUE(model.showAllVisible());
}

TEST(InventoryModel, VerdictFilterUsesTheTierAndAGroupFollowsItsKeepItem) {
    // Node 20 keeps an in-use version; Node 18 keeps an unused one.
    std::vector<DependencyItem> nodes{item("v20.1.0", 50, Tier::signalOnly), item("v20.0.0", 40),
                                      item("v18.2.0", 30), item("v18.1.0", 20, Tier::signalOnly)};
    InventoryModel model;
    model.setResult(result({report(ManagerKind::homebrew, {item("openssl", 500, Tier::signalOnly), item("llvm", 900)}),
                            report(ManagerKind::npm, {item("typescript", 300, Tier::signalOnly)}),
                            report(ManagerKind::nvm, nodes)}));
    model.setVerdictFilter("signalOnly");
    EXPECT_EQ(names(model), (QStringList{"openssl", "typescript", "Node 20"}));
    EXPECT_EQ(roleText(model, 0, InventoryModel::TagRole), "dependency");
    EXPECT_EQ(roleText(model, 1, InventoryModel::TagRole), "inUse");
    EXPECT_EQ(model.sortLineText(), QString::fromUtf8("Sort: size \u2193 \u00b7 showing 3 of 3"));

    model.setVerdictFilter("orphanCandidate");
    EXPECT_EQ(names(model), (QStringList{"llvm", "Node 18"}));
    model.setVerdictFilter("bogus"); // not a tier: all verdicts
    EXPECT_EQ(model.rowCount(), 5);
}

TEST(InventoryModel, OneExpandedRowAndWhatResetsIt) {
    InventoryModel model;
    model.setResult(result({report(ManagerKind::npm, {item("a", 3), item("b", 2), item("c", 1, Tier::signalOnly)})}));
    const QString a = model.rowIdAt(0);
    const QString b = model.rowIdAt(1);
    QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);

    model.toggleRow(a);
    EXPECT_TRUE(model.data(model.index(0), InventoryModel::ExpandedRole).toBool());
    model.toggleRow(b);
    EXPECT_FALSE(model.data(model.index(0), InventoryModel::ExpandedRole).toBool());
    EXPECT_TRUE(model.data(model.index(1), InventoryModel::ExpandedRole).toBool());
    EXPECT_EQ(changed.count(), 3); // a on; a off and b on
    model.toggleRow(b);
    EXPECT_TRUE(model.expandedRowId().isEmpty());

    model.toggleRow(a);
    model.setQuickWinsExpanded(true);
    model.setVerdictFilter("orphanCandidate");
    EXPECT_TRUE(model.expandedRowId().isEmpty());
    model.setSelected("npm");
    model.setVerdictFilter("");
    EXPECT_TRUE(model.quickWinsExpanded());
}

TEST(InventoryModel, DisabledManagerHasNoTabRowsOrWinsButCountsUnderAll) {
    AppState app;
    app.setEnabledManagers({ManagerKind::npm});
    auto brew = report(ManagerKind::homebrew, {item("llvm", 900), item("wget", 10)});
    brew.quickWins = {win("brew autoremove")};
    auto npm = report(ManagerKind::npm, {item("typescript", 5)});
    npm.quickWins = {win("npm cache clean --force")};
    InventoryModel model;
    model.setApp(&app);
    model.setResult(result({brew, npm, report(ManagerKind::pnpm, {item("store", 1)}, false)}));

    ASSERT_EQ(model.tabs().size(), 2);
    EXPECT_EQ(model.tabs()[0].toMap()["count"].toInt(), 3); // detected items, enabled or not
    EXPECT_EQ(model.tabs()[1].toMap()["title"].toString(), "npm");
    EXPECT_EQ(names(model), QStringList{"typescript"});
    EXPECT_EQ(model.copyAllText(), "npm cache clean --force");

    QSignalSpy tabs(&model, &InventoryModel::tabsChanged);
    app.setEnabledManagers({ManagerKind::npm, ManagerKind::homebrew});
    EXPECT_EQ(tabs.count(), 1);
    EXPECT_EQ(names(model), (QStringList{"llvm", "wget", "typescript"}));
    EXPECT_EQ(model.copyAllText(), "brew autoremove\nnpm cache clean --force");

    // A selected manager is listed even when it is not enabled; its wins replace the others.
    model.setSelected("homebrew");
    app.setEnabledManagers({});
    EXPECT_EQ(names(model), (QStringList{"llvm", "wget"}));
    EXPECT_EQ(model.copyAllText(), "brew autoremove");
}

TEST(InventoryModel, ItemRowTexts) {
    auto same = item("typescript", std::nullopt, Tier::signalOnly);
    same.version = "typescript";
    auto other = item("llvm", 2'000'000'000);
    other.version = "18.1.8";
    other.identity = "Compiler infrastructure";
    other.reclaimCommand = "brew uninstall llvm";
    InventoryModel model;
    AppState app;
    model.setApp(&app);
    model.setResult(result({report(ManagerKind::homebrew, {other}), report(ManagerKind::npm, {same})}));

    EXPECT_EQ(roleText(model, 0, InventoryModel::VersionRole), "18.1.8");
    EXPECT_EQ(roleText(model, 0, InventoryModel::HeatRole), "heat1");
    EXPECT_EQ(roleText(model, 0, InventoryModel::ChipRole), "brew");
    EXPECT_EQ(roleText(model, 0, InventoryModel::SizeTextRole), "2 GB");
    EXPECT_EQ(roleText(model, 1, InventoryModel::VersionRole), "");
    EXPECT_EQ(roleText(model, 1, InventoryModel::SizeTextRole), QString::fromUtf8("\u2014"));
    EXPECT_EQ(roleText(model, 1, InventoryModel::HeatRole), "heat4");
    EXPECT_EQ(roleText(model, 1, InventoryModel::BarColorRole), "essential");

    model.toggleRow(model.rowIdAt(0));
    EXPECT_EQ(model.expandedReclaimCommand(), "brew uninstall llvm");

    // The unit changes the size texts and verdict sentences in place.
    QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);
    QSignalSpy reset(&model, &QAbstractItemModel::modelReset);
    app.setSizeUnit(SizeUnit::binary);
    EXPECT_EQ(changed.count(), 1);
    EXPECT_EQ(reset.count(), 0);
    EXPECT_EQ(roleText(model, 0, InventoryModel::SizeTextRole), "1.86 GB");
    EXPECT_TRUE(roleText(model, 0, InventoryModel::VerdictTextRole).contains("1.86 GB"));
}

TEST(InventoryModel, HiddenCharactersAreShownEscapedWhileTheCommandStaysExact) {
    // A right-to-left override would make the row read as another package.
    auto spoof = item("evil\u202Egnp.exe\x1b[2J", 1'000);
    spoof.reclaimCommand = "npm -g uninstall 'evil\u202Egnp.exe\x1b[2J'";
    InventoryModel model;
    AppState app;
    model.setApp(&app);
    model.setResult(result({report(ManagerKind::npm, {spoof})}));

    const QString name = roleText(model, 0, InventoryModel::NameRole);
    EXPECT_FALSE(name.contains(QChar(0x202E)));
    EXPECT_FALSE(name.contains(QChar(0x1B)));
    EXPECT_TRUE(name.contains("\\u202e", Qt::CaseInsensitive)) << name.toStdString();
    EXPECT_EQ(roleText(model, 0, InventoryModel::ReclaimCommandRole).toStdString(), *spoof.reclaimCommand);
}

TEST(InventoryModel, VersionGroupRowTexts) {
    InventoryModel model;
    model.setResult(result({report(ManagerKind::nvm, {item("v18.1.0", 10), item("v18.3.0", std::nullopt),
                                                      item("v18.2.0", 400'000'000), item("system", 1)})}));
    ASSERT_EQ(model.rowCount(), 2);
    EXPECT_TRUE(model.data(model.index(0), InventoryModel::IsGroupRole).toBool());
    EXPECT_EQ(roleText(model, 0, InventoryModel::RowIdRole), "group-nvm-node-18");
    EXPECT_EQ(roleText(model, 0, InventoryModel::ChipRole), "node");
    EXPECT_EQ(roleText(model, 0, InventoryModel::TagRole), "likelyUnused");
    EXPECT_EQ(roleText(model, 0, InventoryModel::VersionsTextRole), "3 versions");
    EXPECT_EQ(roleText(model, 0, InventoryModel::SummaryRole), "3 patch releases \u00b7 keep only the newest");
    EXPECT_EQ(roleText(model, 0, InventoryModel::KeepNameRole), "v18.3.0");
    EXPECT_EQ(roleText(model, 0, InventoryModel::KeepLineRole), QString::fromUtf8("newest Node 18 \u2014 nothing to do"));
    EXPECT_EQ(roleText(model, 0, InventoryModel::KeepSizeTextRole), QString::fromUtf8("\u2014"));
    EXPECT_EQ(roleText(model, 0, InventoryModel::HeatRole), "heat2");
    const QVariantList superseded = model.data(model.index(0), InventoryModel::SupersededRole).toList();
    ASSERT_EQ(superseded.size(), 2);
    EXPECT_EQ(superseded[0].toMap()["name"].toString(), "v18.2.0");
    EXPECT_EQ(superseded[1].toMap()["name"].toString(), "v18.1.0");

    model.toggleRow("group-nvm-node-18");
    EXPECT_EQ(model.expandedReclaimCommand(), ""); // a group has no command of its own
}

TEST(InventoryModel, NoResultAndAResultThatGoesAway) {
    InventoryModel model;
    EXPECT_EQ(model.rowCount(), 0);
    EXPECT_EQ(model.sortLineText(), QString::fromUtf8("Sort: size \u2193 \u00b7 showing 0 of 0"));
    EXPECT_EQ(model.tabs().size(), 1);
    model.setResult(result({report(ManagerKind::npm, manyItems(40, "n"))}));
    model.showAll();
    EXPECT_EQ(model.rowCount(), 40);
    model.setResult(std::nullopt);
    EXPECT_EQ(model.rowCount(), 0);
    EXPECT_FALSE(model.showAllVisible());
    EXPECT_FALSE(model.data(model.index(0), InventoryModel::NameRole).isValid());
}
