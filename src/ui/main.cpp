// kelvo: the window.

#include "system/Platform.h"
#include "system/Settings.h"
#include "ui/bridge/KelvoApp.h"

#include <QGuiApplication>
#include <QQmlApplicationEngine>
#include <QQuickWindow>
#include <QtQml/QQmlExtensionPlugin>

#ifdef Q_OS_MACOS
#include "ui/MacWindowStyle.h"
#endif

// The views and the types they use are the static QML module Kelvo.
Q_IMPORT_QML_PLUGIN(KelvoPlugin)

int main(int argc, char* argv[]) {
    QGuiApplication application(argc, argv);
    const std::string resources = kelvo::resourceDirectory();
    kelvo::ui::KelvoApp kelvoApp(QString::fromStdString(resources));
    // The chosen project folders are kept between launches.
    kelvoApp.app().keepIn(QString::fromStdString(kelvo::settingsPath(kelvo::homeDirectory())));
    QVariantMap properties;
    // Without its colours and knowledge base the window would run blank and judge wrongly.
    if (const auto missing = kelvo::missingResource(resources, {"colors.json", "KnowledgeBase.json"})) {
        properties = {{QStringLiteral("missingResource"), QString::fromStdString(*missing)},
            {QStringLiteral("resourceFolder"), QString::fromStdString(resources)}};
    }
    QQmlApplicationEngine engine;
    QQuickWindow* window = kelvoApp.loadWindow(engine, properties);
    if (window == nullptr) {
        return 1;
    }
#ifdef Q_OS_MACOS
    kelvo::ui::applyHiddenTitleBarStyle(window);
#endif
    return QGuiApplication::exec();
}
