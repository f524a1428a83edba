#pragma once

#include "model/ScanModel.h"
#include "model/SizeFormat.h"

#include <QObject>
#include <QString>
#include <QStringList>
#include <QVariant>

#include <set>

namespace kelvo::ui {

// The application-wide settings: theme, size unit, the managers to show and the folders searched
// for projects. The folders are kept between launches in Kelvo's settings file once one is given;
// everything else starts from the defaults at every launch. Each setter notifies only on a real change.
class AppState : public QObject {
    Q_OBJECT
    Q_PROPERTY(QString theme READ themeRaw WRITE setThemeRaw NOTIFY themeChanged)
    Q_PROPERTY(QString sizeUnit READ sizeUnitRaw WRITE setSizeUnitRaw NOTIFY sizeUnitChanged)
    // Raw kinds, always in case order; written as a set.
    Q_PROPERTY(
        QStringList enabledManagers READ enabledManagersRaw WRITE setEnabledManagersRaw NOTIFY enabledManagersChanged)
    // Absolute folders, in the order added; the home folder until the user chooses.
    Q_PROPERTY(QStringList projectFolders READ projectFolders WRITE setProjectFolders NOTIFY projectFoldersChanged)

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

    QStringList projectFolders() const { return projectFolders_; }
    // Absolute folders only (a relative one is ignored), each once, without a trailing "/".
    void setProjectFolders(const QStringList& folders);
    // A folder from the folder dialog (a local file URL) or a path; one already there is kept once.
    Q_INVOKABLE void addProjectFolder(const QVariant& folder);
    Q_INVOKABLE void removeProjectFolder(const QString& folder);
    // Reads the folders from `settingsFile` and writes them there on every change from now on.
    void keepIn(const QString& settingsFile);

signals:
    void themeChanged();
    void sizeUnitChanged();
    void enabledManagersChanged();
    void projectFoldersChanged();

private:
    AppTheme theme_ = AppTheme::system;
    SizeUnit sizeUnit_ = SizeUnit::decimal;
    std::set<ManagerKind> enabledManagers_{allManagerKinds.begin(), allManagerKinds.end()};
    QStringList projectFolders_;
    QString settingsFile_;
};

} // namespace kelvo::ui
