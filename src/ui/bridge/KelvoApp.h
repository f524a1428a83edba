#pragma once

#include "ui/bridge/AppState.h"
#include "ui/bridge/Theme.h"
#include "ui/bridge/UiFunctions.h"
#include "update/Updater.h"

#include <QString>
#include <QUrl>

class QQmlEngine;

namespace kelvo::ui {

// The application-wide objects, made in this order: AppState, Updater, then the fonts are
// registered; the theme and the shared functions follow. Lives as long as the process.
class KelvoApp {
public:
    // resourceDirectory: where colors.json and fonts/ are (resourceDirectory() of the platform).
    explicit KelvoApp(const QString& resourceDirectory);

    AppState& app() { return app_; }
    Updater& updater() { return updater_; }
    Theme& theme() { return *theme_; }

    // Makes the module "Kelvo" known to QML: the singletons AppState, Updater, ThemeData and Ui,
    // and the types ScanController, RailModel and InventoryModel. Call before loading QML.
    void registerQml();

    // The window's QML.
    static QUrl mainUrl();

private:
    AppState app_;
    Updater updater_;
    std::unique_ptr<Theme> theme_;
    UiFunctions functions_;
};

} // namespace kelvo::ui
