// kelvo-screenshot FIXTURE OUTDIR: the window over a fixture result, driven offscreen through
// its states, one PNG each: 01-start, 02-scanning, 03-main-dark, 04-main-light,
// 05-card-selected, 06-item-expanded, 07-group-expanded, 08-settings. Non-zero exit on failure.

#include "FixtureScan.h"
#include "system/Platform.h"
#include "ui/bridge/InventoryModel.h"
#include "ui/bridge/KelvoApp.h"
#include "ui/bridge/QtText.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QQmlApplicationEngine>
#include <QQuickWindow>
#include <QThread>
#include <QtQml/QQmlExtensionPlugin>

#include <cstdio>
#include <functional>

Q_IMPORT_QML_PLUGIN(KelvoPlugin)

using namespace kelvo;
using namespace kelvo::ui;

namespace {
// Runs the event loop until `done` or for `milliseconds`.
bool waitFor(const std::function<bool()>& done, int milliseconds) {
    for (QDeadlineTimer deadline(milliseconds); !done(); QThread::msleep(5)) {
        if (deadline.hasExpired()) {
            return false;
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return true;
}

bool grab(QQuickWindow* window, const QString& directory, const char* name) {
    waitFor([] { return false; }, 400); // animations and layout settle
    const QString path = QDir(directory).filePath(QString::fromUtf8(name) + QStringLiteral(".png"));
    const bool saved = window->grabWindow().save(path);
    std::fprintf(stderr, "%s %s\n", saved ? "wrote" : "FAILED", qPrintable(path));
    return saved;
}
} // namespace

int main(int argc, char* argv[]) {
    QGuiApplication application(argc, argv);
    QFile file(argc == 3 ? QString::fromLocal8Bit(argv[1]) : QString());
    const auto adapters = file.open(QIODevice::ReadOnly) ? fixtureAdapters(file.readAll().toStdString()) : std::nullopt;
    if (!adapters) {
        std::fprintf(stderr, "usage: kelvo-screenshot FIXTURE.json OUTDIR (a kelvo-report --json document)\n");
        return 2;
    }
    const QString directory = QString::fromLocal8Bit(argv[2]);
    QDir().mkpath(directory);
    KelvoApp kelvoApp(QString::fromStdString(resourceDirectory()));
    QQmlApplicationEngine engine;
    QQuickWindow* window = kelvoApp.loadWindow(engine, {{QStringLiteral("autoScan"), false}});
    QObject* root = window ? window->findChild<QObject*>(QStringLiteral("rootView")) : nullptr;
    if (root == nullptr) {
        return 1;
    }
    auto* scan = root->property("scan").value<ScanController*>();
    scan->setAdapters(*adapters);
    window->resize(1200, 780);
    kelvoApp.app().setTheme(AppTheme::dark);
    window->show();
    bool ok = grab(window, directory, "01-start");
    scan->scan();
    waitFor([&] { return !scan->finishedKinds().isEmpty(); }, 20000);
    ok = grab(window, directory, "02-scanning") && ok;
    ok = waitFor([&] { return scan->hasResult(); }, 60000) && grab(window, directory, "03-main-dark") && ok;
    kelvoApp.app().setTheme(AppTheme::light);
    ok = grab(window, directory, "04-main-light") && ok;
    kelvoApp.app().setTheme(AppTheme::dark);
    const auto cards = railReports(*scan->currentResult(), kelvoApp.app().enabledManagers());
    if (!cards.empty()) { // the second card (the first when there is only one)
        root->setProperty("selectedTab", qtText(rawValue(cards[cards.size() > 1 ? 1 : 0]->kind)));
    }
    ok = grab(window, directory, "05-card-selected") && ok;

    // All managers: the first item with evidence, a command and a path, then the first group.
    root->setProperty("selectedTab", QString());
    auto* inventory = root->findChild<InventoryModel*>();
    const auto expand = [&](bool group, const char* name) {
        for (const InventoryRow& row : inventory->rows()) {
            const bool wanted = row.isGroup() ? group
                                              : !group && !row.asItem().item.evidence.empty() &&
                                                    row.asItem().item.reclaimCommand && row.asItem().item.path;
            if (wanted) {
                inventory->toggleRow(QString::fromStdString(row.id()));
                return grab(window, directory, name);
            }
        }
        return false;
    };
    ok = expand(false, "06-item-expanded") && expand(true, "07-group-expanded") && ok;
    inventory->toggleRow(inventory->expandedRowId());
    root->setProperty("showSettings", true);
    return grab(window, directory, "08-settings") && ok ? 0 : 1;
}
