#pragma once

#include "model/ScanModel.h"
#include "model/SizeFormat.h"

#include <QObject>
#include <QString>
#include <QStringList>

#include <set>

namespace kelvo::ui {

// The application-wide settings: theme, size unit and the managers to show. In memory only;
// every launch starts from the defaults. Each setter notifies only on a real change.
class AppState : public QObject {
    Q_OBJECT
    Q_PROPERTY(QString theme READ themeRaw WRITE setThemeRaw NOTIFY themeChanged)
    Q_PROPERTY(QString sizeUnit READ sizeUnitRaw WRITE setSizeUnitRaw NOTIFY sizeUnitChanged)
    // Raw kinds, always in case order; written as a set.
    Q_PROPERTY(
        QStringList enabledManagers READ enabledManagersRaw WRITE setEnabledManagersRaw NOTIFY enabledManagersChanged)

public:
    explicit AppState(QObject* parent = nullptr);

    AppTheme theme() const { return theme_; }
    void setTheme(AppTheme theme);
    SizeUnit sizeUnit() const { return sizeUnit_; }
    void setSizeUnit(SizeUnit unit);
    const std::set<ManagerKind>& enabledManagers() const { return enabledManagers_; }
    void setEnabledManagers(const std::set<ManagerKind>& kinds);

    QString themeRaw() const;
    void setThemeRaw(const QString& raw); // unknown text is ignored
    QString sizeUnitRaw() const;
    void setSizeUnitRaw(const QString& raw);
    QStringList enabledManagersRaw() const;
    void setEnabledManagersRaw(const QStringList& raw); // unknown kinds are dropped

    // The display text of a byte count under the current size unit.
    Q_INVOKABLE QString formatBytes(double bytes) const;
    // "412,000 files · 1.9 GB" under the current size unit.
    Q_INVOKABLE QString formatFilesAndBytes(double files, double bytes) const;
    Q_INVOKABLE bool isEnabled(const QString& kind) const;
    Q_INVOKABLE void setEnabled(const QString& kind, bool enabled);

signals:
    void themeChanged();
    void sizeUnitChanged();
    void enabledManagersChanged();

private:
    AppTheme theme_ = AppTheme::system;
    SizeUnit sizeUnit_ = SizeUnit::decimal;
    std::set<ManagerKind> enabledManagers_{allManagerKinds.begin(), allManagerKinds.end()};
};

} // namespace kelvo::ui
