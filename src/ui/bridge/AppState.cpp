#include "ui/bridge/AppState.h"

#include "system/Platform.h"
#include "system/Settings.h"
#include "ui/bridge/QtText.h"

#include <QUrl>
#include <QVariant>

namespace kelvo::ui {

AppState::AppState(QObject* parent) : QObject(parent), projectFolders_{QString::fromStdString(homeDirectory())} {}

void AppState::setTheme(AppTheme theme) {
    if (theme == theme_) {
        return;
    }
    theme_ = theme;
    emit themeChanged();
}

void AppState::setSizeUnit(SizeUnit unit) {
    if (unit == sizeUnit_) {
        return;
    }
    sizeUnit_ = unit;
    emit sizeUnitChanged();
}

void AppState::setEnabledManagers(const std::set<ManagerKind>& kinds) {
    if (kinds == enabledManagers_) {
        return;
    }
    enabledManagers_ = kinds;
    emit enabledManagersChanged();
}

QString AppState::themeRaw() const { return qtText(rawValue(theme_)); }

void AppState::setThemeRaw(const QString& raw) {
    if (const auto theme = appThemeFromRaw(raw.toStdString())) {
        setTheme(*theme);
    }
}

QString AppState::sizeUnitRaw() const { return qtText(rawValue(sizeUnit_)); }

void AppState::setSizeUnitRaw(const QString& raw) {
    if (const auto unit = sizeUnitFromRaw(raw.toStdString())) {
        setSizeUnit(*unit);
    }
}

QStringList AppState::enabledManagersRaw() const {
    QStringList list;
    for (ManagerKind kind : enabledManagers_) {
        list << qtText(rawValue(kind));
    }
    return list;
}

void AppState::setEnabledManagersRaw(const QStringList& raw) {
    std::set<ManagerKind> kinds;
    for (const QString& text : raw) {
        if (const auto kind = managerKindFromRaw(text.toStdString())) {
            kinds.insert(*kind);
        }
    }
    setEnabledManagers(kinds);
}

QString AppState::formatBytes(double bytes) const {
    return QString::fromStdString(kelvo::formatBytes(static_cast<std::int64_t>(bytes), sizeUnit_));
}

QString AppState::formatFilesAndBytes(double files, double bytes) const {
    return QString::fromStdString(
        kelvo::formatFilesAndBytes(static_cast<std::int64_t>(files), static_cast<std::int64_t>(bytes), sizeUnit_));
}

bool AppState::isEnabled(const QString& kind) const {
    const auto parsed = managerKindFromRaw(kind.toStdString());
    return parsed && enabledManagers_.count(*parsed) != 0;
}

void AppState::setEnabled(const QString& kind, bool enabled) {
    const auto parsed = managerKindFromRaw(kind.toStdString());
    if (!parsed) {
        return;
    }
    auto kinds = enabledManagers_;
    if (enabled) {
        kinds.insert(*parsed);
    } else {
        kinds.erase(*parsed);
    }
    setEnabledManagers(kinds);
}

void AppState::setProjectFolders(const QStringList& folders) {
    QStringList kept;
    for (QString folder : folders) {
        while (folder.size() > 1 && folder.endsWith(QLatin1Char('/'))) {
            folder.chop(1);
        }
        if (folder.startsWith(QLatin1Char('/')) && !kept.contains(folder)) {
            kept << folder;
        }
    }
    if (kept == projectFolders_) {
        return;
    }
    projectFolders_ = kept;
    if (!settingsFile_.isEmpty()) {
        StoredSettings settings = loadSettings(settingsFile_.toStdString());
        settings.projectFolders.emplace();
        for (const QString& folder : projectFolders_) {
            settings.projectFolders->push_back(folder.toStdString());
        }
        saveSettings(settingsFile_.toStdString(), settings);
    }
    emit projectFoldersChanged();
}

void AppState::addProjectFolder(const QVariant& folder) {
    const QUrl url = folder.toUrl();
    const QString path = url.isLocalFile() ? url.toLocalFile() : folder.toString();
    setProjectFolders(projectFolders_ + QStringList{path});
}

void AppState::removeProjectFolder(const QString& folder) {
    QStringList folders = projectFolders_;
    folders.removeAll(folder);
    setProjectFolders(folders);
}

void AppState::keepIn(const QString& settingsFile) {
    settingsFile_.clear();
    if (const auto stored = loadSettings(settingsFile.toStdString()).projectFolders) {
        QStringList folders;
        for (const auto& folder : *stored) {
            folders << QString::fromStdString(folder);
        }
        setProjectFolders(folders);
    }
    settingsFile_ = settingsFile;
}

} // namespace kelvo::ui
