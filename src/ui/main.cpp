// kelvo: the window.

#include "system/Platform.h"
#include "ui/Screenshot.h"
#include "ui/bridge/KelvoApp.h"
#include "ui/bridge/ScanController.h"

#include <QFile>
#include <QGuiApplication>
#include <QQmlApplicationEngine>
#include <QQuickStyle>
#include <QQuickWindow>

#include <cstdio>

#ifdef Q_OS_MACOS
#include "ui/MacWindowStyle.h"
#endif

int main(int argc, char* argv[]) {
    QGuiApplication application(argc, argv);
    QGuiApplication::setApplicationName(QStringLiteral("Kelvo"));
    QGuiApplication::setApplicationVersion(QStringLiteral("1.0.0"));
    QGuiApplication::setDesktopFileName(QStringLiteral("kelvo"));
    QQuickStyle::setStyle(QStringLiteral("Basic"));

    // Test and screenshot entries only: a fixture result file instead of the machine, and a
    // directory to write rendered states to.
    QString screenshotDirectory;
    const QStringList arguments = QGuiApplication::arguments();
    for (int i = 1; i + 1 < arguments.size(); ++i) {
        if (arguments[i] == QLatin1String("--fixture-json")) {
            QFile file(arguments[i + 1]);
            if (!file.open(QIODevice::ReadOnly)) {
                std::fprintf(stderr, "kelvo: cannot read %s\n", qPrintable(arguments[i + 1]));
                return 2;
            }
            kelvo::ui::ScanController::setDefaultFixtureJson(QString::fromUtf8(file.readAll()));
        } else if (arguments[i] == QLatin1String("--screenshot")) {
            screenshotDirectory = arguments[i + 1];
        }
    }

    kelvo::ui::KelvoApp kelvoApp(QString::fromStdString(kelvo::resourceDirectory()));
    kelvoApp.registerQml();

    QQmlApplicationEngine engine;
    if (!screenshotDirectory.isEmpty()) {
        engine.setInitialProperties({{QStringLiteral("autoScan"), false}});
    }
    engine.load(kelvo::ui::KelvoApp::mainUrl());
    if (engine.rootObjects().isEmpty()) {
        return 1;
    }
    auto* window = qobject_cast<QQuickWindow*>(engine.rootObjects().constFirst());
#ifdef Q_OS_MACOS
    kelvo::ui::applyHiddenTitleBarStyle(window);
#endif
    if (!screenshotDirectory.isEmpty()) {
        return kelvo::ui::renderScreenshots(window, kelvoApp, screenshotDirectory) ? 0 : 1;
    }
    return QGuiApplication::exec();
}
