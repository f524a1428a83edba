// kelvo-screenshot OUTDIR [WIDTHxHEIGHT]: the window scanning $HOME with the standard adapters,
// driven offscreen through its states, one PNG each (01-start … 13-settings-light). Only the tools in
// the home are used (scripts/make-showcase-home puts stand-ins there), never the machine's own,
// so the shots do not depend on what is installed. Non-zero exit on failure.

#include "scan/StandardAdapters.h"
#include "system/Platform.h"
#include "ui/bridge/InventoryPanelState.h"
#include "ui/bridge/KelvoApp.h"
#include "ui/bridge/QtText.h"

#include <QGuiApplication>
#include <QQmlApplicationEngine>
#include <QQuickWindow>
#include <QtCore/qtestsupport_core.h>
#include <QtQml/QQmlExtensionPlugin>

Q_IMPORT_QML_PLUGIN(KelvoPlugin)

using namespace kelvo::ui;

int main(int argc, char* argv[]) {
    QGuiApplication application(argc, argv);
    const QStringList size = argc == 3 ? QString::fromLocal8Bit(argv[2]).split('x') : QStringList{"1200", "780"};
    if ((argc != 2 && argc != 3) || size.size() != 2 || size[0].toInt() <= 0 || size[1].toInt() <= 0) {
        qCritical("usage: kelvo-screenshot OUTDIR [WIDTHxHEIGHT] (scans $HOME)");
        return 2;
    }
    kelvo::CandidateTable tools = kelvo::standardToolLocations();
    for (auto& candidates : tools) {
        std::erase_if(candidates, [](const kelvo::CandidatePath& c) { return !c.relativeToHome && !c.locate; });
    }
    KelvoApp kelvoApp(QString::fromStdString(kelvo::resourceDirectory()));
    QQmlApplicationEngine engine;
    QQuickWindow* window = kelvoApp.loadWindow(engine, {{QStringLiteral("autoScan"), false}});
    QObject* root = window->findChild<QObject*>(QStringLiteral("rootView"));
    auto* scan = root->property("scan").value<ScanController*>();
    scan->setAdapters(kelvo::standardAdapterList(std::move(tools)));
    window->resize(size[0].toInt(), size[1].toInt());
    kelvoApp.app().setTheme(kelvo::AppTheme::dark);
    window->show();
    bool ok = true;
    const auto grab = [&](const char* name) {
        QTest::qWait(400); // animations and layout settle
        ok = window->grabWindow().save(QString::fromLocal8Bit(argv[1]) + '/' + QString::fromUtf8(name) + ".png") && ok;
    };
    grab("01-start");
    scan->scan();
    ok = QTest::qWaitFor([&] { return !scan->finishedKinds().isEmpty(); }, 20000) && ok;
    grab("02-scanning");
    ok = scan->isScanning() && ok; // else the shot shows the result instead
    if (!QTest::qWaitFor([&] { return scan->hasResult(); }, 60000)) return 1;
    // A stand-in tool that stopped answering would leave its manager out of every shot.
    if (const auto detected = scan->detectedTotals().size(); detected != 10) {
        qCritical("%lld of the 9 managers and the projects detected in $HOME", static_cast<long long>(detected));
        ok = false;
    }
    grab("03-main-dark");
    kelvoApp.app().setTheme(kelvo::AppTheme::light);
    grab("04-main-light");
    kelvoApp.app().setTheme(kelvo::AppTheme::dark);
    // A selected card: the first manager in kind order (Homebrew).
    root->setProperty("selectedTab", qtText(rawValue(scan->currentResult()->managers.front().kind)));
    grab("05-card-selected");
    root->setProperty("selectedTab", QString());
    // All managers' first item, then nvm's group that keeps a pinned version (else its first group).
    auto* inventory = root->findChild<InventoryPanelState*>(); // made with the main view
    for (bool group : {false, true}) {
        if (group) {
            root->setProperty("selectedTab", QStringLiteral("nvm"));
            QTest::qWait(100);
        }
        const auto& rows = inventory->rows()->rows();
        auto row = std::find_if(rows.begin(), rows.end(),
            [&](const auto& r) { return r.isGroup() && r.asGroup().summary().ends_with("pinned"); });
        if (!group || row == rows.end()) {
            row = std::find_if(rows.begin(), rows.end(), [&](const auto& r) { return r.isGroup() == group; });
        }
        ok = row != rows.end() && ok;
        inventory->toggleRow(row != rows.end() ? QString::fromStdString(row->id()) : QString());
        grab(group ? "07-group-expanded" : "06-item-expanded");
    }
    inventory->toggleRow(inventory->expandedRowId());
    root->setProperty("selectedTab", QString());
    root->setProperty("showSettings", true);
    grab("08-settings");
    root->setProperty("showSettings", false);
    // The projects, the first one expanded, in both themes; npm's sized quick wins; pnpm's leftovers.
    root->setProperty("selectedTab", QStringLiteral("projects"));
    QTest::qWait(100);
    inventory->toggleRow(inventory->rows()->rowIdAt(0));
    grab("09-projects");
    kelvoApp.app().setTheme(kelvo::AppTheme::light);
    grab("10-projects-light");
    kelvoApp.app().setTheme(kelvo::AppTheme::dark);
    root->setProperty("selectedTab", QStringLiteral("npm"));
    inventory->setQuickWinsExpanded(true);
    grab("11-npm-quick-wins");
    root->setProperty("selectedTab", QStringLiteral("pnpm"));
    kelvoApp.app().setTheme(kelvo::AppTheme::light);
    grab("12-pnpm-light");
    root->setProperty("showSettings", true);
    grab("13-settings-light");
    root->setProperty("showSettings", false);
    // Python's version group, then the virtualenv whose project is gone, in both themes.
    root->setProperty("selectedTab", QStringLiteral("python"));
    QTest::qWait(100);
    for (const std::string shot : {"14-python-group", "15-python-gone"}) {
        const auto& rows = inventory->rows()->rows();
        const auto row = std::find_if(rows.begin(), rows.end(), [&](const auto& r) {
            return shot.ends_with("group") ? r.isGroup() : !r.isGroup() && r.asItem().item.name.starts_with("old-");
        });
        ok = row != rows.end() && ok;
        inventory->toggleRow(row != rows.end() ? QString::fromStdString(row->id()) : QString());
        grab((shot + "-light").c_str());
        kelvoApp.app().setTheme(kelvo::AppTheme::dark);
        grab((shot + "-dark").c_str());
        kelvoApp.app().setTheme(kelvo::AppTheme::light);
    }
    return ok ? 0 : 1;
}
