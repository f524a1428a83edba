#include "FixtureScan.h"
#include "ui/bridge/ScanController.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QSignalSpy>

using namespace kelvo;
using namespace kelvo::ui;

namespace {
// The workers hand their reports over through the event loop, which needs an application.
void makeApplication() {
    static int argc = 1;
    static char name[] = "kelvo_tests_ui";
    static char* argv[] = {name, nullptr};
    static QCoreApplication application(argc, argv);
}

bool runUntil(const std::function<bool()>& done) {
    for (QDeadlineTimer deadline(10000); !done() && !deadline.hasExpired();) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return done();
}
} // namespace

TEST(ScanController, PublishesOneResultInKindOrderAndDropsItOnRescan) {
    makeApplication();
    ScanController controller;
    controller.setAdapters(*fixtureAdapters(R"({"delaysMs": {"homebrew": 60}, "managers": [
        {"kind": "bun", "items": [{"name": "serve", "bytes": 12}]},
        {"kind": "homebrew", "items": [{"name": "jq", "bytes": 30}]},
        {"kind": "npm", "detected": false, "items": [{"name": "x", "bytes": 5}]}]})"));
    QSignalSpy scanning(&controller, &ScanController::isScanningChanged);
    controller.scan();
    EXPECT_TRUE(controller.isScanning());
    ASSERT_TRUE(runUntil([&] { return controller.hasResult(); }));
    EXPECT_FALSE(controller.isScanning());
    EXPECT_EQ(scanning.count(), 2);
    const ScanResult* result = controller.currentResult();
    ASSERT_EQ(result->managers.size(), 3u);
    EXPECT_EQ(result->managers[0].kind, ManagerKind::homebrew);
    EXPECT_EQ(result->managers[2].kind, ManagerKind::bun);
    // Only detected managers have a size in the settings sheet.
    EXPECT_EQ(controller.detectedTotals(), (QVariantMap{{"homebrew", 30.0}, {"bun", 12.0}}));

    // A rescan drops the result at once and publishes a new one with fresh item ids.
    const Uuid firstId = result->managers[0].items[0].id;
    controller.scan();
    EXPECT_FALSE(controller.hasResult());
    EXPECT_TRUE(controller.detectedTotals().isEmpty());
    ASSERT_TRUE(runUntil([&] { return controller.hasResult(); }));
    EXPECT_NE(controller.currentResult()->managers[0].items[0].id, firstId);
}
