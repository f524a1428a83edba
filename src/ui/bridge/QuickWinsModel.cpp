#include "ui/bridge/QuickWinsModel.h"

#include "ui/bridge/QtText.h"
#include "ui/logic/ViewLogic.h"

namespace kelvo::ui {

QuickWinsModel::QuickWinsModel(QObject* parent) : QAbstractListModel(parent) {}

void QuickWinsModel::setWins(std::vector<QuickWin> wins) {
    beginResetModel();
    wins_ = std::move(wins);
    endResetModel();
    emit winsChanged();
}

void QuickWinsModel::setUnit(SizeUnit unit) {
    if (unit == unit_) {
        return;
    }
    unit_ = unit;
    if (rowCount() > 0) {
        emit dataChanged(index(0), index(rowCount() - 1), {SizeTextRole});
    }
}

QString QuickWinsModel::header() const { return qtText(quickWinsHeader(wins_.size())); }

QString QuickWinsModel::copyAllText() const { return QString::fromStdString(kelvo::ui::copyAllText(wins_)); }

int QuickWinsModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(wins_.size());
}

QHash<int, QByteArray> QuickWinsModel::roleNames() const {
    return {{IdRole, "id"}, {TitleRole, "title"}, {CommandRole, "command"}, {DetailRole, "detail"},
        {SizeTextRole, "sizeText"}, {HeatRole, "heat"}};
}

QVariant QuickWinsModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() < 0 || index.row() >= rowCount()) {
        return {};
    }
    const QuickWin& win = wins_[static_cast<std::size_t>(index.row())];
    switch (role) {
    case IdRole: return QString::fromStdString(win.id.text());
    case TitleRole: return QString::fromStdString(win.title);
    case CommandRole: return QString::fromStdString(win.command);
    case DetailRole: return QString::fromStdString(win.detail);
    case SizeTextRole: return win.bytes ? QString::fromStdString(formatBytes(*win.bytes, unit_)) : QString();
    case HeatRole: return qtText(heatColorName(win.bytes));
    default: return {};
    }
}

} // namespace kelvo::ui
