#pragma once

#include "ui/logic/ViewLogic.h"

#include <QAbstractListModel>
#include <QtQml/qqmlregistration.h>

#include <vector>

namespace kelvo::ui {

// The inventory panel's rows, items and version groups, as a list model. Each row's texts are
// made only when a delegate asks for them, so a long list costs only what is on screen. The
// panel's state (InventoryPanelState) sets the rows, how many of them show, which one is
// expanded and the size unit.
class InventoryRowsModel : public QAbstractListModel {
    Q_OBJECT
    QML_ELEMENT
    QML_UNCREATABLE("the rows of an InventoryPanelState")

public:
    enum Role {
        IsGroupRole = Qt::UserRole + 1,
        ExpandedRole,
        TagRole,      // raw verdict tag
        BarColorRole, // named colour of the leading bar
        ChipRole,     // the manager's short label
        NameRole,     // item name or group title
        VersionRole,  // shown version, "" when hidden
        IdentityRole, // identity, "" when none
        SizeTextRole,
        HeatRole,     // named heat colour of the size
        EvidenceRole, // list of evidence summaries
        VerdictTextRole,
        ReclaimCommandRole,
        PathRole,
        VersionsTextRole, // "3 versions"
        SummaryRole,
        KeepNameRole,
        KeepLineRole, // "newest Node 18 — nothing to do", "your default Node 20 — …"
        KeepSizeTextRole,
        SupersededRole, // [{name, sizeText, heat, command}]
    };
    Q_ENUM(Role)

    explicit InventoryRowsModel(QObject* parent = nullptr);

    // New rows, of which the first `shown` are listed: a reset.
    void setRows(std::vector<InventoryRow> rows, std::size_t shown);
    // Lists the first `shown` rows: the rows on screen stay, those past them come or go.
    void setShown(std::size_t shown);
    // The row shown expanded, "" for none.
    void setExpandedRowId(const QString& rowId);
    // Sizes and verdict sentences name the unit: they change in place.
    void setUnit(SizeUnit unit);

    // The rows behind the list, all of them (also those past the shown ones).
    const std::vector<InventoryRow>& rows() const { return rows_; }
    QString expandedRowId() const { return expandedRowId_; }

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QHash<int, QByteArray> roleNames() const override;

    // The index of a listed row, -1 when it is not listed.
    Q_INVOKABLE int indexOfRow(const QString& rowId) const;
    Q_INVOKABLE QString rowIdAt(int index) const;
    // The reclaim command of the expanded row, "" when none is expanded or it has none.
    Q_INVOKABLE QString expandedReclaimCommand() const;

private:
    // The role of an item's row among its texts (chip, name, version, identity, evidence).
    static QVariant itemText(const ItemRowTexts& texts, int role);
    QVariant groupData(const VersionGroup& group, int role) const;

    std::vector<InventoryRow> rows_;
    std::size_t shown_ = 0;
    QString expandedRowId_;
    SizeUnit unit_ = SizeUnit::decimal;
};

} // namespace kelvo::ui
