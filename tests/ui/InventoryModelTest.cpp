#include "Builders.h"
#include "ui/bridge/InventoryModel.h"

#include <gtest/gtest.h>

#include <QSignalSpy>

using namespace kelvo;
using namespace kelvo::ui;
using namespace kelvo::ui::testing;

namespace {
// `count` orphans of decreasing size.
std::vector<DependencyItem> manyItems(int count, const std::string& prefix) {
    std::vector<DependencyItem> items;
    for (int i = 0; i < count; ++i) {
        items.push_back(item(prefix + std::to_string(i), 1'000'000 * (count - i)));
    }
    return items;
}

QString role(const InventoryModel& model, int row, InventoryModel::Role role) {
    return model.data(model.index(row), role).toString();
}

bool expanded(const InventoryModel& model, int row) {
    return model.data(model.index(row), InventoryModel::ExpandedRole).toBool();
}
} // namespace

TEST(InventoryModel, WhatFoldsTheListAndCollapsesTheExpandedRow) {
    InventoryModel model;
    model.setResult(result({report(ManagerKind::npm, manyItems(31, "n")), report(ManagerKind::bun, manyItems(3, "b"))}));
    model.setSelected("npm");
    EXPECT_EQ(model.rowCount(), 30);
    QSignalSpy inserted(&model, &QAbstractItemModel::rowsInserted);
    model.showAll();
    EXPECT_EQ(model.rowCount(), 31);
    EXPECT_EQ(inserted.count(), 1); // the rows on screen stay; only the last one is added

    // One expanded row at a time; pressing it again collapses it.
    QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);
    model.toggleRow(model.rowIdAt(0));
    model.toggleRow(model.rowIdAt(1));
    EXPECT_FALSE(expanded(model, 0));
    EXPECT_TRUE(expanded(model, 1));
    EXPECT_EQ(changed.count(), 3); // 0 on; 0 off and 1 on
    model.toggleRow(model.rowIdAt(1));
    EXPECT_TRUE(model.expandedRowId().isEmpty());

    // A filter change collapses the row but keeps the list unfolded and the quick wins open.
    model.toggleRow(model.rowIdAt(30));
    model.setQuickWinsExpanded(true);
    model.setVerdictFilter("orphanCandidate");
    EXPECT_TRUE(model.expandedRowId().isEmpty());
    EXPECT_TRUE(model.listExpanded());
    // A selection change collapses and folds; the quick wins stay open.
    model.toggleRow(model.rowIdAt(30));
    model.setSelected("bun");
    EXPECT_TRUE(model.expandedRowId().isEmpty());
    EXPECT_FALSE(model.listExpanded());
    model.setSelected("npm");
    EXPECT_EQ(model.rowCount(), 30);
    EXPECT_TRUE(model.quickWinsExpanded());
    model.setResult(std::nullopt);
    EXPECT_EQ(model.rowCount(), 0);
    EXPECT_FALSE(model.showAllVisible());
}

TEST(InventoryModel, SettingsChangeTheRowsTheyConcern) {
    AppState app;
    app.setEnabledManagers({ManagerKind::npm});
    InventoryModel model;
    model.setApp(&app);
    model.setResult(result({report(ManagerKind::homebrew, {item("llvm", 2'000'000'000)}),
                            report(ManagerKind::npm, {item("typescript", 5)})}));
    ASSERT_EQ(model.tabs().size(), 2); // All and npm; All still counts Homebrew's item
    EXPECT_EQ(model.tabs()[0].toMap()["count"].toInt(), 2);
    EXPECT_EQ(model.rowCount(), 1);
    app.setEnabledManagers({ManagerKind::npm, ManagerKind::homebrew});
    ASSERT_EQ(model.rowCount(), 2);
    EXPECT_EQ(role(model, 0, InventoryModel::SizeTextRole), "2 GB");

    // The unit changes the size texts and verdict sentences in place, without a reset.
    QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);
    QSignalSpy reset(&model, &QAbstractItemModel::modelReset);
    app.setSizeUnit(SizeUnit::binary);
    EXPECT_EQ(changed.count(), 1);
    EXPECT_EQ(reset.count(), 0);
    EXPECT_EQ(role(model, 0, InventoryModel::SizeTextRole), "1.86 GB");
    EXPECT_TRUE(role(model, 0, InventoryModel::VerdictTextRole).contains("1.86 GB"));
}

TEST(InventoryModel, HiddenCharactersAreShownEscapedWhileWhatIsCopiedStaysExact) {
    // A right-to-left override would make the row read as another package.
    auto spoof = item("evil\u202Egnp.exe\x1b[2J", 1'000);
    spoof.version = "1.0\u202E";
    spoof.identity = "id\x1b[31m";
    spoof.evidence = {Evidence::notDefaultVersion("20\u202E")};
    spoof.reclaimCommand = "npm -g uninstall 'evil\u202Egnp.exe\x1b[2J'";
    InventoryModel model;
    model.setResult(result({report(ManagerKind::npm, {spoof})}));
    const QString shown = role(model, 0, InventoryModel::NameRole) + role(model, 0, InventoryModel::VersionRole) +
                          role(model, 0, InventoryModel::IdentityRole) +
                          model.data(model.index(0), InventoryModel::EvidenceRole).toStringList().join("");
    EXPECT_FALSE(shown.contains(QChar(0x202E)) || shown.contains(QChar(0x1B))) << shown.toStdString();
    EXPECT_TRUE(role(model, 0, InventoryModel::NameRole).contains("\\u202e", Qt::CaseInsensitive));
    EXPECT_EQ(role(model, 0, InventoryModel::ReclaimCommandRole).toStdString(), *spoof.reclaimCommand);
    model.toggleRow(model.rowIdAt(0));
    EXPECT_EQ(model.expandedReclaimCommand().toStdString(), *spoof.reclaimCommand);
}
