#include "core/StandardAdapters.h"

#include "core/MainQueue.h"
#include "support/TestSupport.h"
#include "system/Platform.h"

#include <gtest/gtest.h>

#include <chrono>

namespace kelvo {
namespace {

TEST(StandardAdapters, FiveAdaptersInStartOrderGiveFiveReportsInKindOrderFromTheCurrentHome) {
    test::TempDir home;
    test::makeDirs(home / ".nvm/versions/node/v20.11.1");
    test::writeFile(home / ".nvm/versions/node/v20.11.1/bin/node", std::string(10000, 'n'));
    test::writeFile(home / ".nvm/alias/default", "20\n");
    test::makeDirs(home / ".local/share/pnpm/store/v10");
    const test::ScopedEnv scopedHome("HOME", home.path());

    AdapterList adapters = standardAdapterList();
    std::vector<ManagerKind> kinds;
    for (const auto& adapter : adapters)
        kinds.push_back(adapter->kind());
    EXPECT_EQ(kinds, (std::vector<ManagerKind>{ManagerKind::homebrew, ManagerKind::nvm, ManagerKind::pnpm,
                                               ManagerKind::npm, ManagerKind::bun}));

    MainQueue queue;
    ScanCoordinator coordinator(std::move(adapters), queue.executor());
    coordinator.scan();
    ASSERT_TRUE(queue.runUntil([&] { return coordinator.result().has_value() && !coordinator.isScanning(); },
                               std::chrono::minutes(5)));

    const auto& reports = coordinator.result()->managers;
    ASSERT_EQ(reports.size(), 5u);
    for (std::size_t i = 0; i < reports.size(); ++i)
        EXPECT_EQ(reports[i].kind, allManagerKinds[i]);

    // The home-based adapters looked in the home the list was built for.
    const ManagerReport& nvm = reports[3];
    EXPECT_TRUE(nvm.detected);
    ASSERT_EQ(nvm.items.size(), 1u);
    EXPECT_EQ(nvm.items[0].path, home / ".nvm/versions/node/v20.11.1");
    EXPECT_EQ(nvm.items[0].bytes, test::duBytes(home / ".nvm/versions/node/v20.11.1"));
    const ManagerReport& pnpm = reports[2];
    EXPECT_TRUE(pnpm.detected);
    ASSERT_EQ(pnpm.items.size(), 1u);
    EXPECT_EQ(pnpm.items[0].path, home / ".local/share/pnpm/store");
    if (!pathExists("/opt/homebrew/bin/bun") && !pathExists("/usr/local/bin/bun") && !pathExists("/usr/bin/bun")) {
        EXPECT_FALSE(reports[4].detected) << "no bun in an empty home";
    }
}

} // namespace
} // namespace kelvo
