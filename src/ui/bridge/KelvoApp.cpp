#include "ui/bridge/KelvoApp.h"

#include "model/Version.h"
#include "ui/bridge/Fonts.h"
#include "ui/bridge/QtText.h"
#include "ui/logic/ColorTable.h"

#include <QGuiApplication>
#include <QQmlApplicationEngine>
#include <QQuickStyle>
#include <QQuickWindow>

namespace kelvo::ui {

namespace {
KelvoApp* current = nullptr;

// The engine must not take the application's objects as its own: they outlive every engine.
template <typename T>
T* shared(T& object) {
    QJSEngine::setObjectOwnership(&object, QJSEngine::CppOwnership);
    return &object;
}
} // namespace

KelvoApp::KelvoApp(const QString& resourceDirectory) {
    Q_ASSERT(current == nullptr);
    current = this;
    QGuiApplication::setApplicationName(QStringLiteral("Kelvo"));
    // QML shows it as Qt.application.version.
    QGuiApplication::setApplicationVersion(qtText(kelvoVersion));
    QGuiApplication::setDesktopFileName(QStringLiteral("kelvo"));
    QQuickStyle::setStyle(QStringLiteral("Basic"));
    registerFonts(resourceDirectory);
    theme_ = std::make_unique<Theme>(&app_, loadColorTable(resourceDirectory.toStdString()));
}

KelvoApp::~KelvoApp() { current = nullptr; }

KelvoApp& KelvoApp::instance() {
    Q_ASSERT(current != nullptr);
    return *current;
}

void KelvoApp::addImportPath(QQmlEngine& engine) { engine.addImportPath(QStringLiteral("qrc:/qt/qml")); }

QQuickWindow* KelvoApp::loadWindow(QQmlApplicationEngine& engine, const QVariantMap& properties) {
    addImportPath(engine);
    engine.setInitialProperties(properties);
    engine.load(QUrl(QStringLiteral("qrc:/qt/qml/Kelvo/Main.qml")));
    const auto roots = engine.rootObjects();
    return roots.isEmpty() ? nullptr : qobject_cast<QQuickWindow*>(roots.constFirst());
}

AppState* AppStateSingleton::create(QQmlEngine*, QJSEngine*) { return shared(KelvoApp::instance().app()); }

Theme* ThemeSingleton::create(QQmlEngine*, QJSEngine*) { return shared(KelvoApp::instance().theme()); }

Updater* UpdaterSingleton::create(QQmlEngine*, QJSEngine*) { return shared(KelvoApp::instance().updater()); }

} // namespace kelvo::ui
