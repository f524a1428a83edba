#include "ui/bridge/ManagerTabsModel.h"

#include "ui/bridge/QtText.h"

namespace kelvo::ui {

ManagerTabsModel::ManagerTabsModel(QObject* parent) : QAbstractListModel(parent) {}

void ManagerTabsModel::setTabs(std::vector<PanelTab> tabs) {
    if (tabs == tabs_) {
        return;
    }
    beginResetModel();
    tabs_ = std::move(tabs);
    endResetModel();
}

int ManagerTabsModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(tabs_.size());
}

QHash<int, QByteArray> ManagerTabsModel::roleNames() const {
    return {{KindRole, "kind"}, {TitleRole, "title"}, {CountRole, "count"}};
}

QVariant ManagerTabsModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() < 0 || index.row() >= rowCount()) {
        return {};
    }
    const PanelTab& tab = tabs_[static_cast<std::size_t>(index.row())];
    switch (role) {
    case KindRole: return tab.kind ? qtText(rawValue(*tab.kind)) : QString();
    case TitleRole: return QString::fromStdString(tab.title);
    case CountRole: return static_cast<int>(tab.count);
    default: return {};
    }
}

} // namespace kelvo::ui
