// Qt Quick tests of the views, with the module Kelvo as the window has it. `fixture.load(scan,
// json)` makes a ScanController scan a fixture (FixtureScan.h) instead of the machine.

#include "FixtureScan.h"
#include "system/Platform.h"
#include "ui/bridge/KelvoApp.h"
#include "ui/bridge/ScanController.h"

#include <QCoreApplication>
#include <QKeyEvent>
#include <QQmlContext>
#include <QQmlEngine>
#include <QQuickItem>
#include <QQuickWindow>
#include <QtQml/QQmlExtensionPlugin>
#include <QtQuickTest>

Q_IMPORT_QML_PLUGIN(KelvoPlugin)

using namespace kelvo::ui;

class Setup : public QObject {
    Q_OBJECT

public:
    // False when `json` is not a report.
    Q_INVOKABLE bool load(kelvo::ui::ScanController* scan, const QString& json) const {
        const auto adapters = fixtureAdapters(json.toStdString());
        if (adapters) scan->setAdapters(*adapters);
        return adapters.has_value();
    }

    // A key held down on `item`'s window: the first press, then one the system repeats.
    Q_INVOKABLE void holdKey(QQuickItem* item, int key) const {
        for (bool repeated : {false, true}) {
            QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier, QString(), repeated);
            QCoreApplication::sendEvent(item->window(), &press);
        }
        QKeyEvent release(QEvent::KeyRelease, key, Qt::NoModifier);
        QCoreApplication::sendEvent(item->window(), &release);
    }

public slots:
    void applicationAvailable() {
        app_ = std::make_unique<KelvoApp>(QString::fromStdString(kelvo::resourceDirectory()));
    }
    void qmlEngineAvailable(QQmlEngine* engine) {
        KelvoApp::addImportPath(*engine);
        engine->rootContext()->setContextProperty(QStringLiteral("fixture"), this);
    }

private:
    std::unique_ptr<KelvoApp> app_;
};

QUICK_TEST_MAIN_WITH_SETUP(kelvo_ui, Setup)

#include "QmlTestMain.moc"
