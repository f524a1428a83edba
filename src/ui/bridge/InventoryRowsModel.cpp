#include "ui/bridge/InventoryRowsModel.h"

#include "inventory/DisplayText.h"
#include "model/SizeFormat.h"
#include "system/Platform.h"
#include "ui/bridge/QtText.h"

#include <algorithm>

namespace kelvo::ui {

namespace {
QString tagRaw(VerdictTag tag) { return qtText(rawValue(tag)); }

// Names from directory listings and tool output: control and bidirectional-override characters
// are shown as escapes so that a row cannot pretend to be another. What is copied or revealed
// stays exact (the command and path roles).
QString shown(const std::string& value) { return qtText(escapeForTerminal(value)); }

QString text(const std::optional<std::string>& value) { return value ? QString::fromStdString(*value) : QString(); }
} // namespace

InventoryRowsModel::InventoryRowsModel(QObject* parent) : QAbstractListModel(parent) {}

void InventoryRowsModel::setRows(std::vector<InventoryRow> rows, std::size_t shown) {
    beginResetModel();
    rows_ = std::move(rows);
    shown_ = std::min(shown, rows_.size());
    endResetModel();
}

void InventoryRowsModel::setShown(std::size_t shown) {
    shown = std::min(shown, rows_.size());
    const auto before = static_cast<int>(shown_);
    const auto after = static_cast<int>(shown);
    if (after > before) {
        beginInsertRows(QModelIndex(), before, after - 1);
        shown_ = shown;
        endInsertRows();
    } else if (after < before) {
        beginRemoveRows(QModelIndex(), after, before - 1);
        shown_ = shown;
        endRemoveRows();
    }
}

void InventoryRowsModel::setExpandedRowId(const QString& rowId) {
    if (rowId == expandedRowId_) {
        return;
    }
    const int before = indexOfRow(expandedRowId_);
    expandedRowId_ = rowId;
    const int after = indexOfRow(expandedRowId_);
    for (int changed : {before, after}) {
        if (changed >= 0) {
            emit dataChanged(index(changed), index(changed), {ExpandedRole});
        }
    }
}

void InventoryRowsModel::setUnit(SizeUnit unit) {
    if (unit == unit_) {
        return;
    }
    unit_ = unit;
    if (rowCount() > 0) {
        emit dataChanged(
            index(0), index(rowCount() - 1), {SizeTextRole, VerdictTextRole, KeepSizeTextRole, SupersededRole});
    }
}

int InventoryRowsModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(shown_);
}

QHash<int, QByteArray> InventoryRowsModel::roleNames() const {
    return {
        {IsGroupRole, "isGroup"},
        {ExpandedRole, "expanded"},
        {TagRole, "tag"},
        {BarColorRole, "barColor"},
        {ChipRole, "chip"},
        {NameRole, "name"},
        {VersionRole, "version"},
        {IdentityRole, "identity"},
        {SizeTextRole, "sizeText"},
        {HeatRole, "heat"},
        {EvidenceRole, "evidence"},
        {VerdictTextRole, "verdictText"},
        {ReclaimCommandRole, "reclaimCommand"},
        {PathRole, "path"},
        {VersionsTextRole, "versionsText"},
        {SummaryRole, "summary"},
        {KeepNameRole, "keepName"},
        {KeepLineRole, "keepLine"},
        {KeepSizeTextRole, "keepSizeText"},
        {SupersededRole, "superseded"},
    };
}

QVariant InventoryRowsModel::itemText(const ItemRowTexts& texts, int role) {
    switch (role) {
    case ChipRole: return QString::fromStdString(texts.chip);
    case NameRole: return QString::fromStdString(texts.name);
    case VersionRole: return QString::fromStdString(texts.version);
    case IdentityRole: return QString::fromStdString(texts.identity);
    default: break;
    }
    QStringList evidence;
    for (const auto& summary : texts.evidence) {
        evidence << QString::fromStdString(summary);
    }
    return evidence;
}

QVariant InventoryRowsModel::groupData(const VersionGroup& group, int role) const {
    const VerdictTag tag = verdictTag(group.tier(), group.manager);
    switch (role) {
    case TagRole: return tagRaw(tag);
    case BarColorRole: return qtText(verdictColorName(tag));
    case ChipRole: return qtText(shortLabel(group.manager));
    case NameRole: return QString::fromStdString(group.title);
    case SizeTextRole: return QString::fromStdString(formatBytes(group.totalBytes(), unit_));
    case HeatRole: return qtText(heatColorName(group.totalBytes()));
    case VersionsTextRole: return qtText(versionsText(group));
    case SummaryRole: return QString::fromStdString(group.summary());
    case KeepNameRole: return shown(group.keep.name);
    case KeepLineRole: return QString::fromStdString(group.keepLine());
    case KeepSizeTextRole: return QString::fromStdString(sizeText(group.keep.bytes, unit_));
    case SupersededRole: {
        QVariantList lines;
        for (const auto& item : group.superseded) {
            lines << QVariantMap{{QStringLiteral("name"), shown(item.name)},
                {QStringLiteral("sizeText"), QString::fromStdString(sizeText(item.bytes, unit_))},
                {QStringLiteral("heat"), qtText(heatColorName(item.bytes))},
                {QStringLiteral("command"), text(item.reclaimCommand)},
                {QStringLiteral("pinnedBy"), text(VersionGroup::pinnedBy(item))}};
        }
        return lines;
    }
    case EvidenceRole: return QStringList();
    default: return QString();
    }
}

QVariant InventoryRowsModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() < 0 || index.row() >= rowCount()) {
        return {};
    }
    const InventoryRow& row = rows_[static_cast<std::size_t>(index.row())];
    switch (role) {
    case IsGroupRole: return row.isGroup();
    case ExpandedRole: return !expandedRowId_.isEmpty() && QString::fromStdString(row.id()) == expandedRowId_;
    default: break;
    }
    if (row.isGroup()) {
        return groupData(row.asGroup(), role);
    }

    const auto& [item, manager] = row.asItem();
    const VerdictTag tag = verdictTag(item.tier, manager);
    switch (role) {
    case TagRole: return tagRaw(tag);
    case BarColorRole: return qtText(verdictColorName(tag));
    case ChipRole:
    case NameRole:
    case VersionRole:
    case IdentityRole:
    case EvidenceRole: return itemText(itemRowTexts(item, manager, homeDirectory()), role);
    case SizeTextRole: return QString::fromStdString(sizeAndFreedText(item, unit_));
    case HeatRole: return qtText(heatColorName(item.bytes));
    case VerdictTextRole: return QString::fromStdString(verdictText(item, manager, unit_));
    case ReclaimCommandRole: return text(item.reclaimCommand);
    case PathRole: return text(item.path);
    case SupersededRole: return QVariantList();
    default: return QString();
    }
}

int InventoryRowsModel::indexOfRow(const QString& rowId) const {
    if (rowId.isEmpty()) {
        return -1;
    }
    const std::string wanted = rowId.toStdString();
    for (int i = 0; i < rowCount(); ++i) {
        if (rows_[static_cast<std::size_t>(i)].id() == wanted) {
            return i;
        }
    }
    return -1;
}

QString InventoryRowsModel::rowIdAt(int index) const {
    if (index < 0 || index >= rowCount()) {
        return QString();
    }
    return QString::fromStdString(rows_[static_cast<std::size_t>(index)].id());
}

QString InventoryRowsModel::expandedReclaimCommand() const {
    const int at = indexOfRow(expandedRowId_);
    if (at < 0) {
        return QString();
    }
    const InventoryRow& row = rows_[static_cast<std::size_t>(at)];
    if (row.isGroup()) {
        return QString();
    }
    return text(row.asItem().item.reclaimCommand);
}

} // namespace kelvo::ui
