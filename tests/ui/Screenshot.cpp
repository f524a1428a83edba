// kelvo-screenshot FIXTURE OUTDIR: the window over a fixture result, driven offscreen through
// its states, one PNG each (01-start … 08-settings). Non-zero exit on failure.

#include "FixtureScan.h"
#include "system/Platform.h"
#include "ui/bridge/InventoryModel.h"
#include "ui/bridge/KelvoApp.h"
#include "ui/bridge/QtText.h"

#include <QFile>
#include <QGuiApplication>
#include <QQmlApplicationEngine>
#include <QQuickWindow>
#include <QtCore/qtestsupport_core.h>
#include <QtQml/QQmlExtensionPlugin>

Q_IMPORT_QML_PLUGIN(KelvoPlugin)

using namespace kelvo::ui;

int main(int argc, char* argv[]) {
    QGuiApplication application(argc, argv);
    QFile file(argc == 3 ? QString::fromLocal8Bit(argv[1]) : QString());
    const auto adapters = file.open(QIODevice::ReadOnly) ? fixtureAdapters(file.readAll().toStdString()) : std::nullopt;
    if (!adapters) {
        qCritical("usage: kelvo-screenshot FIXTURE.json OUTDIR (a kelvo-report --json document)");
        return 2;
    }
    KelvoApp kelvoApp(QString::fromStdString(kelvo::resourceDirectory()));
    QQmlApplicationEngine engine;
    QQuickWindow* window = kelvoApp.loadWindow(engine, {{QStringLiteral("autoScan"), false}});
    QObject* root = window->findChild<QObject*>(QStringLiteral("rootView"));
    auto* scan = root->property("scan").value<ScanController*>();
    scan->setAdapters(*adapters);
    window->resize(1200, 780);
    kelvoApp.app().setTheme(kelvo::AppTheme::dark);
    window->show();
    bool ok = true;
    const auto grab = [&](const char* name) {
        QTest::qWait(400); // animations and layout settle
        ok = window->grabWindow().save(QString::fromLocal8Bit(argv[2]) + '/' + QString::fromUtf8(name) + ".png") && ok;
    };
    grab("01-start");
    scan->scan();
    ok = QTest::qWaitFor([&] { return !scan->finishedKinds().isEmpty(); }, 20000) && ok;
    grab("02-scanning");
    if (!QTest::qWaitFor([&] { return scan->hasResult(); }, 60000)) return 1;
    grab("03-main-dark");
    kelvoApp.app().setTheme(kelvo::AppTheme::light);
    grab("04-main-light");
    kelvoApp.app().setTheme(kelvo::AppTheme::dark);
    // The first manager in kind order: in the showcase, a card below the top one.
    root->setProperty("selectedTab", qtText(rawValue(scan->currentResult()->managers.front().kind)));
    grab("05-card-selected");
    root->setProperty("selectedTab", QString());
    // All managers: the first item, then the first group.
    auto* inventory = root->findChild<InventoryModel*>(); // made with the main view
    for (bool group : {false, true}) {
        const auto& rows = inventory->rows();
        const auto row = std::find_if(rows.begin(), rows.end(), [&](const auto& r) { return r.isGroup() == group; });
        ok = row != rows.end() && ok;
        inventory->toggleRow(row != rows.end() ? QString::fromStdString(row->id()) : QString());
        grab(group ? "07-group-expanded" : "06-item-expanded");
    }
    inventory->toggleRow(inventory->expandedRowId());
    root->setProperty("showSettings", true);
    grab("08-settings");
    return ok ? 0 : 1;
}
