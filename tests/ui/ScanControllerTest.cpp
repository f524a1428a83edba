#include "ui/bridge/FixtureScan.h"
#include "ui/bridge/ScanController.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QVariantList>

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

TEST(ScanController, PublishesTheResultAsPlainDataInKindOrder) {
    application();
    const auto fixture = decodeFixture(R"({"delaysMs": {"homebrew": 60}, "managers": [
        {"kind": "bun", "items": [{"name": "serve", "bytes": 12, "tier": "orphanCandidate"}]},
        {"kind": "homebrew", "version": "4.3.10", "items": [{"name": "jq"}],
         "quickWins": [{"title": "t", "command": "brew autoremove", "detail": "d"}]},
        {"kind": "npm", "detected": false}]})");
    ASSERT_TRUE(fixture.has_value());
    ScanController controller(fixtureAdapters(*fixture));
    int scanningChanges = 0;
    QObject::connect(&controller, &ScanController::isScanningChanged, [&] { ++scanningChanges; });
    EXPECT_FALSE(controller.hasResult());
    EXPECT_TRUE(controller.resultData().isNull());

    controller.scan();
    EXPECT_TRUE(controller.isScanning());
    ASSERT_TRUE(runUntil([&] { return controller.hasResult(); }));
    EXPECT_FALSE(controller.isScanning());
    EXPECT_EQ(scanningChanges, 2);
    EXPECT_GT(controller.scannedAt(), 0);

    const QVariantMap data = controller.resultData().toMap();
    const QVariantList managers = data.value("managers").toList();
    ASSERT_EQ(managers.size(), 3);
    QStringList kinds;
    for (const QVariant& manager : managers) {
        kinds << manager.toMap().value("kind").toString();
    }
    EXPECT_EQ(kinds, (QStringList{"homebrew", "npm", "bun"}));
    const QVariantMap homebrew = managers[0].toMap();
    EXPECT_EQ(homebrew.value("displayName").toString(), "Homebrew");
    EXPECT_EQ(homebrew.value("version").toString(), "4.3.10");
    EXPECT_EQ(homebrew.value("quickWins").toList().size(), 1);
    const QVariantMap jq = homebrew.value("items").toList().value(0).toMap();
    EXPECT_TRUE(jq.value("bytes").isNull()); // unknown size stays unknown, never 0
    EXPECT_TRUE(managers[1].toMap().value("version").isNull());
    EXPECT_EQ(data.value("reclaimableBytes").toDouble(), 12);
    EXPECT_EQ(data.value("inventoriedCount").toDouble(), 2);

    // A rescan drops the result at once and publishes a new one with fresh item ids.
    const QString firstId = jq.value("id").toString();
    controller.scan();
    EXPECT_FALSE(controller.hasResult());
    ASSERT_TRUE(runUntil([&] { return controller.hasResult(); }));
    const QString secondId =
        controller.resultData().toMap().value("managers").toList()[0].toMap().value("items").toList()[0].toMap().value("id").toString();
    EXPECT_NE(firstId, secondId);
}
