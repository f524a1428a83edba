#include "ui/bridge/KelvoApp.h"

#include "ui/logic/ColorTable.h"
#include "ui/bridge/Fonts.h"
#include "ui/bridge/InventoryModel.h"
#include "ui/bridge/RailModel.h"
#include "ui/bridge/ScanController.h"

#include <QQmlEngine>

namespace kelvo::ui {

KelvoApp::KelvoApp(const QString& resourceDirectory) {
    registerFonts(resourceDirectory);
    theme_ = std::make_unique<Theme>(&app_, loadColorTable(resourceDirectory.toStdString()));
}

void KelvoApp::registerQml() {
    const char* uri = "Kelvo";
    qmlRegisterSingletonInstance(uri, 1, 0, "AppState", &app_);
    qmlRegisterSingletonInstance(uri, 1, 0, "Updater", &updater_);
    qmlRegisterSingletonInstance(uri, 1, 0, "ThemeData", theme_.get());
    qmlRegisterSingletonInstance(uri, 1, 0, "Ui", &functions_);
    qmlRegisterType<ScanController>(uri, 1, 0, "ScanController");
    qmlRegisterType<RailModel>(uri, 1, 0, "RailModel");
    qmlRegisterType<InventoryModel>(uri, 1, 0, "InventoryModel");
    qmlRegisterUncreatableType<AppState>(uri, 1, 0, "AppStateType", QStringLiteral("use the AppState singleton"));
}

QUrl KelvoApp::mainUrl() { return QUrl(QStringLiteral("qrc:/kelvo/qml/Main.qml")); }

} // namespace kelvo::ui
