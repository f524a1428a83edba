// kelvo-screenshot FIXTURE OUTDIR: the window over a fixture result (kelvo-report --json format,
// with "delaysMs" per adapter), driven through its states offscreen, one PNG per state:
// 01-start, 02-scanning, 03-main-dark, 04-main-light, 05-card-selected, 06-item-expanded,
// 07-group-expanded, 08-settings. Exits non-zero when a state could not be reached or written.

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
// Runs the event loop until `done` (or for the whole time when it never is).
bool waitFor(const std::function<bool()>& done, int milliseconds) {
    QDeadlineTimer deadline(milliseconds);
    while (!done()) {
        if (deadline.hasExpired()) {
            return false;
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(5);
    }
    return true;
}

bool grab(QQuickWindow* window, const QString& directory, const char* name) {
    waitFor([] { return false; }, 400); // let animations and the layout settle
    const QImage image = window->grabWindow();
    const QString path = QDir(directory).filePath(QString::fromUtf8(name) + QStringLiteral(".png"));
    const bool saved = !image.isNull() && image.save(path);
    std::fprintf(stderr, "%s %s\n", saved ? "wrote" : "FAILED", qPrintable(path));
    return saved;
}

// The first row of each kind to expand: an item with evidence, a command and a path; a group.
std::pair<QString, QString> rowsToExpand(const InventoryModel& inventory) {
    QString item;
    QString group;
    for (const InventoryRow& row : inventory.rows()) {
        if (row.isGroup() && group.isEmpty()) {
            group = QString::fromStdString(row.id());
        } else if (!row.isGroup() && item.isEmpty()) {
            const DependencyItem& candidate = row.asItem().item;
            if (!candidate.evidence.empty() && candidate.reclaimCommand && candidate.path) {
                item = QString::fromStdString(row.id());
            }
        }
    }
    return {item, group};
}
} // namespace

int main(int argc, char* argv[]) {
    QGuiApplication application(argc, argv);
    if (argc != 3) {
        std::fprintf(stderr, "usage: kelvo-screenshot FIXTURE.json OUTDIR\n");
        return 2;
    }
    QFile file(QString::fromLocal8Bit(argv[1]));
    const auto fixture = file.open(QIODevice::ReadOnly) ? decodeFixture(file.readAll().toStdString()) : std::nullopt;
    if (!fixture) {
        std::fprintf(stderr, "kelvo-screenshot: %s is not a readable report\n", argv[1]);
        return 2;
    }
    const QString directory = QString::fromLocal8Bit(argv[2]);
    QDir().mkpath(directory);

    KelvoApp kelvoApp(QString::fromStdString(resourceDirectory()));
    QQmlApplicationEngine engine;
    QQuickWindow* window = kelvoApp.loadWindow(engine, {{QStringLiteral("autoScan"), false}});
    QObject* root = window ? window->findChild<QObject*>(QStringLiteral("rootView")) : nullptr;
    auto* scan = root ? root->property("scan").value<ScanController*>() : nullptr;
    if (scan == nullptr) {
        std::fprintf(stderr, "kelvo-screenshot: no root view\n");
        return 1;
    }
    scan->setAdapters(fixtureAdapters(*fixture));
    window->resize(1200, 780);
    kelvoApp.app().setTheme(AppTheme::dark);
    window->show();
    bool ok = grab(window, directory, "01-start");

    scan->scan();
    waitFor([&] { return !scan->finishedKinds().isEmpty(); }, 20000);
    ok = grab(window, directory, "02-scanning") && ok;
    ok = waitFor([&] { return scan->hasResult(); }, 60000) && ok;
    ok = grab(window, directory, "03-main-dark") && ok;
    kelvoApp.app().setTheme(AppTheme::light);
    ok = grab(window, directory, "04-main-light") && ok;
    kelvoApp.app().setTheme(AppTheme::dark);

    // The second card of the rail (the first when there is only one).
    if (const ScanResult* result = scan->currentResult()) {
        const auto cards = railReports(*result, kelvoApp.app().enabledManagers());
        if (!cards.empty()) {
            root->setProperty("selectedTab", qtText(rawValue(cards[cards.size() > 1 ? 1 : 0]->kind)));
        }
    }
    ok = grab(window, directory, "05-card-selected") && ok;

    // All managers again, one item row expanded, then one group, then the settings over the list.
    root->setProperty("selectedTab", QString());
    waitFor([] { return false; }, 100);
    auto* inventory = root->findChild<InventoryModel*>();
    if (inventory == nullptr) {
        std::fprintf(stderr, "kelvo-screenshot: no inventory list\n");
        return 1;
    }
    const auto [itemRow, groupRow] = rowsToExpand(*inventory);
    if (!itemRow.isEmpty()) {
        inventory->toggleRow(itemRow);
        ok = grab(window, directory, "06-item-expanded") && ok;
    }
    if (!groupRow.isEmpty()) {
        inventory->toggleRow(groupRow);
        ok = grab(window, directory, "07-group-expanded") && ok;
    }
    inventory->toggleRow(inventory->expandedRowId());
    root->setProperty("showSettings", true);
    ok = grab(window, directory, "08-settings") && ok;
    return ok ? 0 : 1;
}
