#pragma once

#include "model/ScanModel.h"
#include "model/SizeFormat.h"

#include <QAbstractListModel>
#include <QtQml/qqmlregistration.h>

#include <vector>

namespace kelvo::ui {

// The quick wins the inventory panel lists: id, title, command, detail, sizeText ("" when
// unsized) and heat roles; the header that counts them and the text "Copy all" copies.
class QuickWinsModel : public QAbstractListModel {
    Q_OBJECT
    QML_ELEMENT
    QML_UNCREATABLE("the quick wins of an InventoryPanelState")
    Q_PROPERTY(int count READ count NOTIFY winsChanged)
    // "3 safe quick wins"
    Q_PROPERTY(QString header READ header NOTIFY winsChanged)
    // The commands, one a line.
    Q_PROPERTY(QString copyAllText READ copyAllText NOTIFY winsChanged)

public:
    enum Role { IdRole = Qt::UserRole + 1, TitleRole, CommandRole, DetailRole, SizeTextRole, HeatRole };
    Q_ENUM(Role)

    explicit QuickWinsModel(QObject* parent = nullptr);

    // A reset.
    void setWins(std::vector<QuickWin> wins);
    // The sizes change in place.
    void setUnit(SizeUnit unit);

    int count() const { return rowCount(); }
    QString header() const;
    QString copyAllText() const;

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QHash<int, QByteArray> roleNames() const override;

signals:
    void winsChanged();

private:
    std::vector<QuickWin> wins_;
    SizeUnit unit_ = SizeUnit::decimal;
};

} // namespace kelvo::ui
