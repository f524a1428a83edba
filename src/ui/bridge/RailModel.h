#pragma once

#include "ui/bridge/AppState.h"
#include "ui/bridge/ScanController.h"

#include <QObject>
#include <QPointer>
#include <QVariantList>
#include <QtQml/qqmlregistration.h>

namespace kelvo::ui {

// What the left rail shows for a scan result under the current settings: the summary card,
// the manager cards in their order and the footer lines. Recomputed on every change of the
// result, the size unit or the enabled managers.
class RailModel : public QObject {
    Q_OBJECT
    QML_ELEMENT
    Q_PROPERTY(kelvo::ui::ScanController* scan READ scan WRITE setScan NOTIFY inputsChanged)
    Q_PROPERTY(kelvo::ui::AppState* app READ app WRITE setApp NOTIFY inputsChanged)
    // One map per card: kind, displayName, shortLabel, version (or null), sizeText, summary,
    // noteKind ("reclaimable", "prunable" or ""), note.
    Q_PROPERTY(QVariantList cards READ cards NOTIFY changed)
    Q_PROPERTY(QStringList cardKinds READ cardKinds NOTIFY changed)
    Q_PROPERTY(QString bigNumber READ bigNumber NOTIFY changed)
    Q_PROPERTY(QString bigUnit READ bigUnit NOTIFY changed)
    Q_PROPERTY(QString subtitle READ subtitle NOTIFY changed)
    Q_PROPERTY(QString notDetected READ notDetected NOTIFY changed)
    Q_PROPERTY(QString countLine READ countLine NOTIFY changed)

public:
    explicit RailModel(QObject* parent = nullptr);

    ScanController* scan() const { return scan_; }
    void setScan(ScanController* scan);
    AppState* app() const { return app_; }
    void setApp(AppState* app);

    QVariantList cards() const { return cards_; }
    QStringList cardKinds() const;
    QString bigNumber() const { return bigNumber_; }
    QString bigUnit() const { return bigUnit_; }
    QString subtitle() const { return subtitle_; }
    QString notDetected() const { return notDetected_; }
    QString countLine() const { return countLine_; }

    // The selection after a click on the card of `kind` ("" = none).
    Q_INVOKABLE static QString toggledSelection(const QString& current, const QString& kind);

signals:
    void inputsChanged();
    void changed();

private:
    void recompute();

    QPointer<ScanController> scan_;
    QPointer<AppState> app_;
    QVariantList cards_;
    QString bigNumber_;
    QString bigUnit_;
    QString subtitle_;
    QString notDetected_;
    QString countLine_;
};

} // namespace kelvo::ui
