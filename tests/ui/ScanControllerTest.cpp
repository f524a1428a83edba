#include "FixtureScan.h"
#include "ui/bridge/ScanController.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QVariantMap>

using namespace kelvo;
using namespace kelvo::ui;

namespace {
// The queued hand-over from the workers needs an application object; other tests may have made one.
QCoreApplication& application() {
    if (QCoreApplication* existing = QCoreApplication::instance()) {
        return *existing;
    }
    static int argc = 1;
    static char name[] = "kelvo_tests_ui";
    static char* argv[] = {name, nullptr};
    static QCoreApplication app(argc, argv);
    return app;
}

bool runUntil(const std::function<bool()>& done) {
    QDeadlineTimer deadline(10000);
    while (!done() && !deadline.hasExpired()) {
        application().processEvents(QEventLoop::AllEvents, 20);
    }
    return done();
}
} // namespace

TEST(ScanController, PublishesOneResultInKindOrderAndDropsItOnRescan) {
    application();
    const auto fixture = decodeFixture(R"({"delaysMs": {"homebrew": 60}, "managers": [
        {"kind": "bun", "items": [{"name": "serve", "bytes": 12, "tier": "orphanCandidate"}]},
        {"kind": "homebrew", "version": "4.3.10", "items": [{"name": "jq", "bytes": 30}]},
        {"kind": "npm", "detected": false, "items": [{"name": "x", "bytes": 5}]}]})");
    ASSERT_TRUE(fixture.has_value());
    ScanController controller;
    controller.setAdapters(fixtureAdapters(*fixture));
    int scanningChanges = 0;
    QObject::connect(&controller, &ScanController::isScanningChanged, [&] { ++scanningChanges; });
    EXPECT_FALSE(controller.hasResult());
    EXPECT_TRUE(controller.detectedTotals().isEmpty());

    controller.scan();
    EXPECT_TRUE(controller.isScanning());
    ASSERT_TRUE(runUntil([&] { return controller.hasResult(); }));
    EXPECT_FALSE(controller.isScanning());
    EXPECT_EQ(scanningChanges, 2);
    EXPECT_GT(controller.scannedAt(), 0);
    const ScanResult* result = controller.currentResult();
    ASSERT_EQ(result->managers.size(), 3u);
    EXPECT_EQ(result->managers[0].kind, ManagerKind::homebrew);
    EXPECT_EQ(result->managers[2].kind, ManagerKind::bun);
    // Only detected managers have a size for the settings sheet.
    EXPECT_EQ(controller.detectedTotals(), (QVariantMap{{"homebrew", 30.0}, {"bun", 12.0}}));

    // A rescan drops the result at once and publishes a new one with fresh item ids.
    const Uuid firstId = result->managers[0].items[0].id;
    controller.scan();
    EXPECT_FALSE(controller.hasResult());
    EXPECT_TRUE(controller.detectedTotals().isEmpty());
    ASSERT_TRUE(runUntil([&] { return controller.hasResult(); }));
    EXPECT_NE(controller.currentResult()->managers[0].items[0].id, firstId);
}
