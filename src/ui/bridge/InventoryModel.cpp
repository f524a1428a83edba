#include "ui/bridge/InventoryModel.h"

#include "inventory/DisplayText.h"
#include "model/SizeFormat.h"
#include "system/Platform.h"
#include "ui/bridge/QtText.h"

#include <algorithm>

namespace kelvo::ui {

namespace {
QString tagRaw(VerdictTag tag) { return qtText(rawValue(tag)); }

std::optional<Tier> tierFromRaw(const QString& raw) { return verdictFilterFromRaw(raw.toStdString()); }

// Names, versions and evidence come from directory listings and tool output: control and
// bidirectional-override characters are shown as escapes so that a row cannot pretend to be
// another. What is copied or revealed stays exact (the command and path roles).
QString shown(const std::string& value) { return qtText(escapeForTerminal(value)); }

QString text(const std::optional<std::string>& value) { return value ? QString::fromStdString(*value) : QString(); }
} // namespace

// ---- Model ----

InventoryModel::InventoryModel(QObject* parent) : QAbstractListModel(parent) { rebuild(); }

InventoryModel::~InventoryModel() = default;

void InventoryModel::setScan(ScanController* scan) {
    if (scan == scan_) {
        return;
    }
    disconnect(scanConnection_);
    scan_ = scan;
    if (scan_) {
        scanConnection_ = connect(scan_, &ScanController::resultChanged, this, [this] {
            takeResultFromScan();
            rebuild();
        });
    }
    takeResultFromScan();
    rebuild();
    emit scanChanged();
}

void InventoryModel::setApp(AppState* app) {
    if (app == app_) {
        return;
    }
    for (const auto& connection : appConnections_) {
        disconnect(connection);
    }
    appConnections_.clear();
    app_ = app;
    if (app_) {
        appConnections_.push_back(connect(app_, &AppState::enabledManagersChanged, this, &InventoryModel::rebuild));
        // Sizes and verdict sentences name the unit; nothing else changes.
        appConnections_.push_back(connect(app_, &AppState::sizeUnitChanged, this, [this] {
            emit quickWinsChanged();
            if (rowCount() > 0) {
                emit dataChanged(
                    index(0), index(rowCount() - 1), {SizeTextRole, VerdictTextRole, KeepSizeTextRole, SupersededRole});
            }
        }));
    }
    rebuild();
    emit appChanged();
}

void InventoryModel::setResult(std::optional<ScanResult> result) {
    setScan(nullptr);
    result_ = std::move(result);
    rebuild();
}

void InventoryModel::takeResultFromScan() {
    const ScanResult* current = scan_ ? scan_->currentResult() : nullptr;
    if (current) {
        result_ = *current;
    } else {
        result_.reset();
    }
}

std::set<ManagerKind> InventoryModel::enabled() const {
    if (app_) {
        return app_->enabledManagers();
    }
    return {allManagerKinds.begin(), allManagerKinds.end()};
}

std::optional<ManagerKind> InventoryModel::selectedKind() const { return managerKindFromRaw(selected_.toStdString()); }

std::optional<Tier> InventoryModel::filterTier() const { return tierFromRaw(verdictFilter_); }

SizeUnit InventoryModel::unit() const { return app_ ? app_->sizeUnit() : SizeUnit::decimal; }

void InventoryModel::componentComplete() {
    building_ = false;
    rebuild();
}

void InventoryModel::rebuild() {
    if (building_) {
        return;
    }
    const auto enabledKinds = enabled();
    beginResetModel();
    if (result_) {
        rows_ = panelRows(*result_, enabledKinds, selectedKind(), filterTier());
        quickWins_ = panelQuickWins(*result_, enabledKinds, selectedKind());
    } else {
        rows_.clear();
        quickWins_.clear();
    }
    endResetModel();

    QVariantList tabs;
    std::optional<std::int64_t> selectedCount;
    for (const auto& tab : panelTabs(result_ ? *result_ : ScanResult{}, enabledKinds)) {
        tabs << QVariantMap{{QStringLiteral("kind"), tab.kind ? qtText(rawValue(*tab.kind)) : QString()},
            {QStringLiteral("title"), QString::fromStdString(tab.title)},
            {QStringLiteral("count"), static_cast<int>(tab.count)}};
        if (tab.kind == selectedKind()) {
            selectedCount = tab.count;
        }
    }
    if (tabs != tabs_) {
        tabs_ = tabs;
        emit tabsChanged();
    }
    emptyTexts_ = emptyListTexts(!enabledKinds.empty(), selectedKind(), filterTier(), selectedCount);
    emit quickWinsChanged();
    emit countsChanged();
}

void InventoryModel::setSelected(const QString& kind) {
    if (kind == selected_) {
        return;
    }
    selected_ = kind;
    setExpandedRowId(QString());
    if (listExpanded_) {
        listExpanded_ = false;
        emit listExpandedChanged();
    }
    rebuild();
    emit selectedChanged();
}

void InventoryModel::setVerdictFilter(const QString& tier) {
    const QString normalized = tierFromRaw(tier) ? tier : QString();
    if (normalized == verdictFilter_) {
        return;
    }
    verdictFilter_ = normalized;
    setExpandedRowId(QString());
    rebuild();
    emit verdictFilterChanged();
}

void InventoryModel::setListLimit(int limit) {
    limit = std::max(0, limit);
    if (limit == listLimit_) {
        return;
    }
    beginResetModel();
    listLimit_ = limit;
    endResetModel();
    emit listLimitChanged();
    emit countsChanged();
}

void InventoryModel::setQuickWinsExpanded(bool expanded) {
    if (expanded == quickWinsExpanded_) {
        return;
    }
    quickWinsExpanded_ = expanded;
    emit quickWinsExpandedChanged();
}

QVariantList InventoryModel::quickWins() const {
    QVariantList list;
    for (const auto& win : quickWins_) {
        list << QVariantMap{{QStringLiteral("id"), QString::fromStdString(win.id.text())},
            {QStringLiteral("title"), QString::fromStdString(win.title)},
            {QStringLiteral("command"), QString::fromStdString(win.command)},
            {QStringLiteral("detail"), QString::fromStdString(win.detail)},
            {QStringLiteral("sizeText"),
                win.bytes ? QString::fromStdString(formatBytes(*win.bytes, unit())) : QString()},
            {QStringLiteral("heat"), qtText(heatColorName(win.bytes))}};
    }
    return list;
}

QString InventoryModel::quickWinsHeaderText() const { return qtText(quickWinsHeader(quickWins_.size())); }

int InventoryModel::shownRows() const { return rowCount(); }

QString InventoryModel::sortLineText() const {
    return qtText(sortLine(static_cast<std::size_t>(shownRows()), rows_.size()));
}

bool InventoryModel::showAllVisible() const {
    return kelvo::ui::showAllVisible(rows_.size(), static_cast<std::size_t>(listLimit_), listExpanded_);
}

QString InventoryModel::showAllText() const { return qtText(kelvo::ui::showAllText(rows_.size())); }

QString InventoryModel::moreText() const {
    return qtText(kelvo::ui::moreText(rows_.size(), static_cast<std::size_t>(listLimit_)));
}

int InventoryModel::rowCount(const QModelIndex& parent) const {
    if (parent.isValid()) {
        return 0;
    }
    return static_cast<int>(shownRowCount(rows_.size(), static_cast<std::size_t>(listLimit_), listExpanded_));
}

QHash<int, QByteArray> InventoryModel::roleNames() const {
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

QVariant InventoryModel::itemText(const ItemRowTexts& texts, int role) {
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

QVariant InventoryModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() < 0 || index.row() >= rowCount()) {
        return {};
    }
    const InventoryRow& row = rows_[static_cast<std::size_t>(index.row())];
    const SizeUnit sizeUnit = unit();
    switch (role) {
    case IsGroupRole: return row.isGroup();
    case ExpandedRole: return !expandedRowId_.isEmpty() && QString::fromStdString(row.id()) == expandedRowId_;
    default: break;
    }

    if (row.isGroup()) {
        const VersionGroup& group = row.asGroup();
        const VerdictTag tag = verdictTag(group.tier(), group.manager);
        switch (role) {
        case TagRole: return tagRaw(tag);
        case BarColorRole: return qtText(verdictColorName(tag));
        case ChipRole: return qtText(shortLabel(group.manager));
        case NameRole: return QString::fromStdString(group.title);
        case SizeTextRole: return QString::fromStdString(formatBytes(group.totalBytes(), sizeUnit));
        case HeatRole: return qtText(heatColorName(group.totalBytes()));
        case VersionsTextRole: return qtText(versionsText(group));
        case SummaryRole: return QString::fromStdString(group.summary());
        case KeepNameRole: return shown(group.keep.name);
        case KeepLineRole: return QString::fromStdString(group.keepLine());
        case KeepSizeTextRole: return QString::fromStdString(sizeText(group.keep.bytes, sizeUnit));
        case SupersededRole: {
            QVariantList lines;
            for (const auto& item : group.superseded) {
                lines << QVariantMap{{QStringLiteral("name"), shown(item.name)},
                    {QStringLiteral("sizeText"), QString::fromStdString(sizeText(item.bytes, sizeUnit))},
                    {QStringLiteral("heat"), qtText(heatColorName(item.bytes))},
                    {QStringLiteral("command"), text(item.reclaimCommand)}};
            }
            return lines;
        }
        case EvidenceRole: return QStringList();
        default: return QString();
        }
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
    case SizeTextRole: return QString::fromStdString(sizeAndFreedText(item, sizeUnit));
    case HeatRole: return qtText(heatColorName(item.bytes));
    case VerdictTextRole: return QString::fromStdString(verdictText(item, manager, sizeUnit));
    case ReclaimCommandRole: return text(item.reclaimCommand);
    case PathRole: return text(item.path);
    case SupersededRole: return QVariantList();
    default: return QString();
    }
}

void InventoryModel::setExpandedRowId(const QString& rowId) {
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
    emit expandedRowIdChanged();
}

void InventoryModel::toggleRow(const QString& rowId) { setExpandedRowId(rowId == expandedRowId_ ? QString() : rowId); }

void InventoryModel::showAll() {
    if (listExpanded_) {
        return;
    }
    const int before = rowCount();
    const auto total = static_cast<int>(rows_.size());
    if (total > before) {
        beginInsertRows(QModelIndex(), before, total - 1);
        listExpanded_ = true;
        endInsertRows();
    } else {
        listExpanded_ = true;
    }
    emit listExpandedChanged();
    emit countsChanged();
}

QString InventoryModel::copyAllText() const { return QString::fromStdString(kelvo::ui::copyAllText(quickWins_)); }

int InventoryModel::indexOfRow(const QString& rowId) const {
    if (rowId.isEmpty()) {
        return -1;
    }
    const std::string wanted = rowId.toStdString();
    const int shown = rowCount();
    for (int i = 0; i < shown; ++i) {
        if (rows_[static_cast<std::size_t>(i)].id() == wanted) {
            return i;
        }
    }
    return -1;
}

QString InventoryModel::rowIdAt(int index) const {
    if (index < 0 || index >= rowCount()) {
        return QString();
    }
    return QString::fromStdString(rows_[static_cast<std::size_t>(index)].id());
}

QString InventoryModel::expandedReclaimCommand() const {
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
