#include "ui/Screenshot.h"

#include "ui/bridge/InventoryModel.h"
#include "ui/bridge/KelvoApp.h"
#include "ui/bridge/QtText.h"
#include "ui/bridge/ScanController.h"
#include "ui/logic/ViewLogic.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QImage>
#include <QQuickWindow>
#include <QThread>

#include <cstdio>
#include <functional>

namespace kelvo::ui {

namespace {
void pump(int milliseconds) {
    QDeadlineTimer deadline(milliseconds);
    while (!deadline.hasExpired()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(5);
    }
}

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

bool grab(QQuickWindow* window, const QString& directory, const QString& name) {
    pump(400);
    const QImage image = window->grabWindow();
    const QString path = QDir(directory).filePath(name + QStringLiteral(".png"));
    const bool saved = !image.isNull() && image.save(path);
    std::fprintf(stderr, "%s %s\n", saved ? "wrote" : "FAILED", qPrintable(path));
    return saved;
}
} // namespace

namespace {
// All managers with one item row expanded (the first with evidence, a command and a path),
// then one version group expanded, then the settings sheet open over the list.
bool renderInventoryScreenshots(QQuickWindow* window, QObject* root, const QString& directory) {
    root->setProperty("selectedTab", QString());
    pump(100);
    auto* inventory = root->findChild<InventoryModel*>();
    if (inventory == nullptr) {
        std::fprintf(stderr, "kelvo: no inventory list\n");
        return false;
    }
    QString itemRow;
    QString groupRow;
    for (const InventoryRow& row : inventory->rows()) {
        if (row.isGroup()) {
            if (groupRow.isEmpty()) {
                groupRow = QString::fromStdString(row.id());
            }
        } else if (itemRow.isEmpty()) {
            const DependencyItem& item = row.asItem().item;
            if (!item.evidence.empty() && item.reclaimCommand && item.path) {
                itemRow = QString::fromStdString(row.id());
            }
        }
    }
    bool ok = true;
    if (!itemRow.isEmpty()) {
        inventory->toggleRow(itemRow);
        ok = grab(window, directory, QStringLiteral("06-item-expanded")) && ok;
    }
    if (!groupRow.isEmpty()) {
        inventory->toggleRow(groupRow);
        ok = grab(window, directory, QStringLiteral("07-group-expanded")) && ok;
    }
    inventory->toggleRow(inventory->expandedRowId());
    root->setProperty("showSettings", true);
    ok = grab(window, directory, QStringLiteral("08-settings")) && ok;
    root->setProperty("showSettings", false);
    return ok;
}
} // namespace

bool renderScreenshots(QQuickWindow* window, KelvoApp& app, const QString& directory) {
    QDir().mkpath(directory);
    QObject* root = window->findChild<QObject*>(QStringLiteral("rootView"));
    QObject* scan = root ? root->property("scan").value<QObject*>() : nullptr;
    auto* controller = qobject_cast<ScanController*>(scan);
    if (controller == nullptr) {
        std::fprintf(stderr, "kelvo: no root view\n");
        return false;
    }
    window->resize(1200, 780);
    app.app().setTheme(AppTheme::dark);
    window->show();
    bool ok = grab(window, directory, QStringLiteral("01-start"));

    QMetaObject::invokeMethod(scan, "scan");
    waitFor([&] { return !scan->property("finishedKinds").toStringList().isEmpty(); }, 20000);
    ok = grab(window, directory, QStringLiteral("02-scanning")) && ok;

    ok = waitFor([&] { return scan->property("hasResult").toBool(); }, 60000) && ok;
    ok = grab(window, directory, QStringLiteral("03-main-dark")) && ok;
    app.app().setTheme(AppTheme::light);
    ok = grab(window, directory, QStringLiteral("04-main-light")) && ok;
    app.app().setTheme(AppTheme::dark);
    // Select the second card of the rail (the first when there is only one).
    if (const ScanResult* result = controller->currentResult()) {
        const auto cards = railReports(*result, app.app().enabledManagers());
        if (!cards.empty()) {
            const ManagerKind kind = cards[cards.size() > 1 ? 1 : 0]->kind;
            root->setProperty("selectedTab", qtText(rawValue(kind)));
        }
    }
    ok = grab(window, directory, QStringLiteral("05-card-selected")) && ok;
    ok = renderInventoryScreenshots(window, root, directory) && ok;
    return ok;
}

} // namespace kelvo::ui
