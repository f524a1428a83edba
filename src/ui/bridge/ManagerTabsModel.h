#pragma once

#include "ui/logic/ViewLogic.h"

#include <QAbstractListModel>
#include <QtQml/qqmlregistration.h>

#include <vector>

namespace kelvo::ui {

// The inventory panel's manager tabs, "All" first: kind ("" for All), title and count roles.
class ManagerTabsModel : public QAbstractListModel {
    Q_OBJECT
    QML_ELEMENT
    QML_UNCREATABLE("the tabs of an InventoryPanelState")

public:
    enum Role { KindRole = Qt::UserRole + 1, TitleRole, CountRole };
    Q_ENUM(Role)

    explicit ManagerTabsModel(QObject* parent = nullptr);

    // A reset only when they differ from the tabs shown, so that an unchanged strip keeps its buttons.
    void setTabs(std::vector<PanelTab> tabs);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QHash<int, QByteArray> roleNames() const override;

private:
    std::vector<PanelTab> tabs_;
};

} // namespace kelvo::ui
