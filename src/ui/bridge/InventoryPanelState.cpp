#include "ui/bridge/InventoryPanelState.h"

#include "ui/bridge/QtText.h"

#include <algorithm>

namespace kelvo::ui {

InventoryPanelState::InventoryPanelState(QObject* parent)
    : QObject(parent), rows_(new InventoryRowsModel(this)), tabs_(new ManagerTabsModel(this)),
      quickWins_(new QuickWinsModel(this)) {
    rebuild();
}

void InventoryPanelState::setScan(ScanController* scan) {
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

void InventoryPanelState::setApp(AppState* app) {
    if (app == app_) {
        return;
    }
    for (const auto& connection : appConnections_) {
        disconnect(connection);
    }
    appConnections_.clear();
    app_ = app;
    if (app_) {
        appConnections_.push_back(
            connect(app_, &AppState::enabledManagersChanged, this, &InventoryPanelState::rebuild));
        appConnections_.push_back(connect(app_, &AppState::sizeUnitChanged, this, &InventoryPanelState::applyUnit));
    }
    applyUnit();
    rebuild();
    emit appChanged();
}

void InventoryPanelState::setResult(std::optional<ScanResult> result) {
    setScan(nullptr);
    result_ = std::move(result);
    rebuild();
}

void InventoryPanelState::takeResultFromScan() {
    const ScanResult* current = scan_ ? scan_->currentResult() : nullptr;
    if (current) {
        result_ = *current;
    } else {
        result_.reset();
    }
}

void InventoryPanelState::applyUnit() {
    const SizeUnit unit = app_ ? app_->sizeUnit() : SizeUnit::decimal;
    rows_->setUnit(unit);
    quickWins_->setUnit(unit);
}

std::set<ManagerKind> InventoryPanelState::enabled() const {
    if (app_) {
        return app_->enabledManagers();
    }
    return {allManagerKinds.begin(), allManagerKinds.end()};
}

std::optional<ManagerKind> InventoryPanelState::selectedKind() const {
    return managerKindFromRaw(selected_.toStdString());
}

std::optional<Tier> InventoryPanelState::filterTier() const {
    return verdictFilterFromRaw(verdictFilter_.toStdString());
}

std::size_t InventoryPanelState::shownRows() const {
    return shownRowCount(rows_->rows().size(), static_cast<std::size_t>(listLimit_), listExpanded_);
}

void InventoryPanelState::componentComplete() {
    building_ = false;
    rebuild();
}

void InventoryPanelState::rebuild() {
    if (building_) {
        return;
    }
    const auto enabledKinds = enabled();
    const auto selectedKind = this->selectedKind();
    std::vector<InventoryRow> rows;
    std::vector<QuickWin> wins;
    if (result_) {
        rows = panelRows(*result_, enabledKinds, selectedKind, filterTier());
        wins = panelQuickWins(*result_, enabledKinds, selectedKind);
    }
    const std::size_t total = rows.size();
    rows_->setRows(std::move(rows), shownRowCount(total, static_cast<std::size_t>(listLimit_), listExpanded_));

    auto tabs = panelTabs(result_ ? *result_ : ScanResult{}, enabledKinds);
    const auto tab = std::find_if(tabs.begin(), tabs.end(), [&](const PanelTab& t) { return t.kind == selectedKind; });
    emptyTexts_ = emptyListTexts(!enabledKinds.empty(), selectedKind, filterTier(),
        tab != tabs.end() ? std::optional(tab->count) : std::nullopt);
    tabs_->setTabs(std::move(tabs));
    quickWins_->setWins(std::move(wins));
    emit countsChanged();
}

void InventoryPanelState::setSelected(const QString& kind) {
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

void InventoryPanelState::setVerdictFilter(const QString& tier) {
    const QString normalized = verdictFilterFromRaw(tier.toStdString()) ? tier : QString();
    if (normalized == verdictFilter_) {
        return;
    }
    verdictFilter_ = normalized;
    setExpandedRowId(QString());
    rebuild();
    emit verdictFilterChanged();
}

void InventoryPanelState::setListLimit(int limit) {
    limit = std::max(0, limit);
    if (limit == listLimit_) {
        return;
    }
    listLimit_ = limit;
    rows_->setShown(shownRows());
    emit listLimitChanged();
    emit countsChanged();
}

void InventoryPanelState::setQuickWinsExpanded(bool expanded) {
    if (expanded == quickWinsExpanded_) {
        return;
    }
    quickWinsExpanded_ = expanded;
    emit quickWinsExpandedChanged();
}

void InventoryPanelState::setExpandedRowId(const QString& rowId) {
    if (rowId == rows_->expandedRowId()) {
        return;
    }
    rows_->setExpandedRowId(rowId);
    emit expandedRowIdChanged();
}

void InventoryPanelState::toggleRow(const QString& rowId) {
    setExpandedRowId(rowId == rows_->expandedRowId() ? QString() : rowId);
}

void InventoryPanelState::showAll() {
    if (listExpanded_) {
        return;
    }
    listExpanded_ = true;
    rows_->setShown(shownRows());
    emit listExpandedChanged();
    emit countsChanged();
}

QString InventoryPanelState::sortLineText() const {
    return qtText(sortLine(static_cast<std::size_t>(rows_->rowCount()), rows_->rows().size()));
}

bool InventoryPanelState::showAllVisible() const {
    return kelvo::ui::showAllVisible(rows_->rows().size(), static_cast<std::size_t>(listLimit_), listExpanded_);
}

QString InventoryPanelState::showAllText() const { return qtText(kelvo::ui::showAllText(rows_->rows().size())); }

QString InventoryPanelState::moreText() const {
    return qtText(kelvo::ui::moreText(rows_->rows().size(), static_cast<std::size_t>(listLimit_)));
}

} // namespace kelvo::ui
