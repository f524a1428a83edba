#include "ui/bridge/AppState.h"

#include "ui/bridge/QtText.h"

namespace kelvo::ui {

AppState::AppState(QObject* parent) : QObject(parent) {}

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

} // namespace kelvo::ui
