#pragma once

#include "ui/bridge/AppState.h"
#include "ui/bridge/Theme.h"
#include "update/Updater.h"

#include <QString>
#include <QUrl>
#include <QVariantMap>
#include <QtQml/qqml.h>

#include <memory>

class QQmlApplicationEngine;
class QQmlEngine;
class QQuickWindow;

namespace kelvo::ui {

// The application-wide objects, made in this order: AppState, Updater, then the fonts are
// registered and the theme follows. One per process, made after the QGuiApplication and before
// any QML is loaded; QML reaches them as the singletons AppState, Updater and ThemeData of the
// module Kelvo (below), whose create() functions hand out these instances.
class KelvoApp {
public:
    // resourceDirectory: where colors.json and fonts/ are (resourceDirectory() of the platform).
    explicit KelvoApp(const QString& resourceDirectory);
    ~KelvoApp();
    KelvoApp(const KelvoApp&) = delete;
    KelvoApp& operator=(const KelvoApp&) = delete;

    // The one that exists; QML's singletons come from it.
    static KelvoApp& instance();

    AppState& app() { return app_; }
    Updater& updater() { return updater_; }
    Theme& theme() { return *theme_; }

    // Lets `engine` find the module Kelvo (compiled in under qrc:/qt/qml, which Qt 6.5 and later
    // search by themselves).
    static void addImportPath(QQmlEngine& engine);
    // Loads the window into `engine`, with initial properties for its root (autoScan). The
    // window, or nullptr when it could not be loaded.
    QQuickWindow* loadWindow(QQmlApplicationEngine& engine, const QVariantMap& properties = {});

private:
    AppState app_;
    Updater updater_;
    std::unique_ptr<Theme> theme_;
};

// The application's objects as QML singletons. Wrappers rather than QML_SINGLETON in the classes:
// Qt 6.4 builds a default-constructible singleton itself and ignores the class's own create(),
// while a wrapper's create() always wins; and the Updater's layer does not know QML.
struct AppStateSingleton {
    Q_GADGET
    QML_FOREIGN(kelvo::ui::AppState)
    QML_NAMED_ELEMENT(AppState)
    QML_SINGLETON

public:
    static AppState* create(QQmlEngine* engine, QJSEngine* scriptEngine);
};

struct ThemeSingleton {
    Q_GADGET
    QML_FOREIGN(kelvo::ui::Theme)
    QML_NAMED_ELEMENT(ThemeData)
    QML_SINGLETON

public:
    static Theme* create(QQmlEngine* engine, QJSEngine* scriptEngine);
};

struct UpdaterSingleton {
    Q_GADGET
    QML_FOREIGN(kelvo::Updater)
    QML_NAMED_ELEMENT(Updater)
    QML_SINGLETON

public:
    static Updater* create(QQmlEngine* engine, QJSEngine* scriptEngine);
};

} // namespace kelvo::ui
