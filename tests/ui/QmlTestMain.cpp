// Qt Quick tests of the views, with the module Kelvo as the window has it. `fixture.load(scan,
// json)` makes a ScanController scan a fixture result (kelvo-report --json format) instead of
// the machine.

#include "FixtureScan.h"
#include "system/Platform.h"
#include "ui/bridge/KelvoApp.h"
#include "ui/bridge/ScanController.h"

#include <QObject>
#include <QQmlContext>
#include <QQmlEngine>
#include <QtQml/QQmlExtensionPlugin>
#include <QtQuickTest>

#include <memory>

Q_IMPORT_QML_PLUGIN(KelvoPlugin)

class Fixture : public QObject {
    Q_OBJECT

public:
    // False when `json` is not a report: the test then fails on its own compare.
    Q_INVOKABLE bool load(QObject* scan, const QString& json) const {
        auto* controller = qobject_cast<kelvo::ui::ScanController*>(scan);
        const auto fixture = kelvo::ui::decodeFixture(json.toStdString());
        if (controller == nullptr || !fixture) {
            return false;
        }
        controller->setAdapters(kelvo::ui::fixtureAdapters(*fixture));
        return true;
    }
};

class Setup : public QObject {
    Q_OBJECT

public slots:
    void applicationAvailable() {
        app_ = std::make_unique<kelvo::ui::KelvoApp>(QString::fromStdString(kelvo::resourceDirectory()));
    }
    void qmlEngineAvailable(QQmlEngine* engine) {
        kelvo::ui::KelvoApp::addImportPath(*engine);
        engine->rootContext()->setContextProperty(QStringLiteral("fixture"), &fixture_);
    }

private:
    std::unique_ptr<kelvo::ui::KelvoApp> app_;
    Fixture fixture_;
};

QUICK_TEST_MAIN_WITH_SETUP(kelvo_ui, Setup)

#include "QmlTestMain.moc"
