// kelvo-inventory-bench [ITEMS]: the window with a large inventory (default 3,000 items over
// Homebrew, npm, nvm and bun), rendered offscreen. Reports the time from pressing "Show all" to
// the next frame on screen, the frame times while scrolling the unfolded list, and how long the
// list model takes to rebuild for a selection or filter change.

#include "FixtureScan.h"
#include "system/Platform.h"
#include "ui/bridge/InventoryPanelState.h"
#include "ui/bridge/KelvoApp.h"
#include "ui/bridge/ScanController.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QQmlApplicationEngine>
#include <QQuickItem>
#include <QQuickWindow>
#include <QThread>
#include <QtQml/QQmlExtensionPlugin>

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

Q_IMPORT_QML_PLUGIN(KelvoPlugin)

namespace {
std::string fixture(int count) {
    const char* kinds[] = {"homebrew", "npm", "nvm", "bun"};
    const char* tiers[] = {"orphanCandidate", "signalOnly", "safeByDesign"};
    nlohmann::json managers = nlohmann::json::array();
    for (int k = 0; k < 4; ++k) {
        nlohmann::json items = nlohmann::json::array();
        for (int i = k; i < count; i += 4) {
            const std::string name = k == 2 ? "v" + std::to_string(i) + ".0.0" : "package-" + std::to_string(i);
            items.push_back(
                {{"name", name}, {"version", "1." + std::to_string(i) + ".0"}, {"path", "/opt/kelvo-bench/" + name},
                    {"bytes", static_cast<std::int64_t>(1000003) * ((i * 7919) % 5000 + 1)}, {"tier", tiers[i % 3]},
                    {"evidence", nlohmann::json::array({{{"kind", "noDependents"}}})},
                    {"identity", "Benchmark package number " + std::to_string(i)},
                    {"reclaimCommand", "npm uninstall -g " + name}});
        }
        managers.push_back(
            {{"kind", kinds[k]}, {"detected", true}, {"items", items}, {"quickWins", nlohmann::json::array()}});
    }
    managers.push_back({{"kind", "pnpm"}, {"detected", false}});
    return nlohmann::json{{"managers", managers}}.dump();
}

bool waitFor(const std::function<bool()>& done, int milliseconds) {
    QDeadlineTimer deadline(milliseconds);
    while (!done()) {
        if (deadline.hasExpired()) {
            return false;
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    return true;
}

// Milliseconds from `action` to the next frame the window has rendered.
double timeToNextFrame(QQuickWindow* window, const std::function<void()>& action) {
    bool rendered = false;
    QElapsedTimer timer;
    const auto connection = QObject::connect(
        window, &QQuickWindow::afterRendering, window, [&] { rendered = true; }, Qt::DirectConnection);
    timer.start();
    action();
    window->update();
    waitFor([&] { return rendered; }, 10000);
    const double elapsed = static_cast<double>(timer.nsecsElapsed()) / 1e6;
    QObject::disconnect(connection);
    return elapsed;
}

void settle(int milliseconds) {
    QDeadlineTimer deadline(milliseconds);
    while (!deadline.hasExpired()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        QThread::msleep(2);
    }
}
} // namespace

int main(int argc, char* argv[]) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    qputenv("QML_DISABLE_DISK_CACHE", "1"); // a benchmark leaves nothing in the home
    QGuiApplication application(argc, argv);
    const int count = argc > 1 ? std::max(1, std::atoi(argv[1])) : 3000;

    kelvo::ui::KelvoApp kelvoApp(QString::fromStdString(kelvo::resourceDirectory()));
    QQmlApplicationEngine engine;
    QQuickWindow* window = kelvoApp.loadWindow(engine, {{QStringLiteral("autoScan"), false}});
    if (window == nullptr) {
        return 1;
    }
    window->resize(1200, 780);
    window->show();
    QObject* root = window->findChild<QObject*>(QStringLiteral("rootView"));
    auto* scan = root->property("scan").value<kelvo::ui::ScanController*>();
    scan->setAdapters(*kelvo::ui::fixtureAdapters(fixture(count)));
    scan->scan();
    if (!waitFor([&] { return scan->hasResult(); }, 60000)) {
        std::fprintf(stderr, "no result\n");
        return 1;
    }
    settle(500);
    auto* panel = root->findChild<kelvo::ui::InventoryPanelState*>();
    auto* list = root->findChild<QQuickItem*>(QStringLiteral("inventoryList"));
    if (panel == nullptr || list == nullptr) {
        std::fprintf(stderr, "no inventory list\n");
        return 1;
    }
    std::printf("items %d, rows %d, shown %d\n", count, panel->totalRows(), panel->rows()->rowCount());

    // What a frame costs when nothing changes, for comparison (offscreen rendering on the CPU).
    double idle = 0;
    for (int i = 0; i < 20; ++i) {
        idle += timeToNextFrame(window, [] {});
    }
    std::printf("unchanged frame: %.1f ms\n", idle / 20);

    // Building the rows alone, without the window.
    if (const kelvo::ScanResult* result = scan->currentResult()) {
        QElapsedTimer build;
        build.start();
        std::size_t rows = 0;
        for (int i = 0; i < 20; ++i) {
            rows += kelvo::ui::panelRows(*result,
                std::set<kelvo::ManagerKind>(kelvo::allManagerKinds.begin(), kelvo::allManagerKinds.end()),
                std::nullopt, std::nullopt)
                        .size();
        }
        std::printf("rows built for all managers: %.2f ms (%zu rows)\n",
            static_cast<double>(build.nsecsElapsed()) / 1e6 / 20, rows / 20);
    }

    // The show-all button's own handler, as a click calls it.
    QObject* button = root->findChild<QObject*>(QStringLiteral("showAllButton"));
    const double showAll = timeToNextFrame(window, [&] { QMetaObject::invokeMethod(button, "clicked"); });
    std::printf("show all -> next frame: %.1f ms (rows now %d)\n", showAll, panel->rows()->rowCount());
    settle(300);

    // Scroll the unfolded list: a wheel-like 40 points per frame over the first screens, then a
    // screenful per frame to the end.
    const auto scroll = [&](const char* label, qreal step, qreal to) {
        std::vector<double> frames;
        for (qreal y = list->property("contentY").toReal() + step; y < to; y += step) {
            frames.push_back(timeToNextFrame(window, [&] { list->setProperty("contentY", y); }));
        }
        std::sort(frames.begin(), frames.end());
        if (frames.empty()) {
            return;
        }
        double sum = 0;
        for (double f : frames) {
            sum += f;
        }
        std::printf("%s: %zu frames, mean %.1f ms, median %.1f ms, worst %.1f ms\n", label, frames.size(),
            sum / static_cast<double>(frames.size()), frames[frames.size() / 2], frames.back());
    };
    const qreal end = list->property("contentHeight").toReal() + list->property("originY").toReal();
    scroll("scroll 40 pt per frame", 40, list->property("contentY").toReal() + 20 * list->height());
    scroll("scroll a screenful per frame", list->height(), end);

    // Rebuilding the rows for a selection or filter change.
    QElapsedTimer timer;
    timer.start();
    constexpr int rounds = 20;
    for (int i = 0; i < rounds; ++i) {
        panel->setSelected(i % 2 == 0 ? QStringLiteral("npm") : QString());
        panel->setVerdictFilter(i % 2 == 0 ? QStringLiteral("orphanCandidate") : QString());
    }
    std::printf("rows rebuilt (selection + filter): %.2f ms per change\n",
        static_cast<double>(timer.nsecsElapsed()) / 1e6 / (2 * rounds));
    const double back = timeToNextFrame(window, [&] { panel->setSelected(QString()); });
    std::printf("selection change -> next frame: %.1f ms\n", back);
    return 0;
}
