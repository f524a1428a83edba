#include "scan/StandardAdapters.h"

#include "support/TestSupport.h"
#include "system/Platform.h"

#include <gtest/gtest.h>

namespace kelvo {
namespace {

TEST(StandardAdapters, FiveAdaptersInStartOrderLookInTheCurrentHome) {
    test::TempDir home;
    test::writeFile(home / ".nvm/versions/node/v20.11.1/bin/node", std::string(10000, 'n'));
    test::writeFile(home / ".nvm/alias/default", "20\n");
    test::makeDirs(home / ".local/share/pnpm/store/v10");
    const test::ScopedEnv scopedHome("HOME", home.path());
    const AdapterList adapters = standardAdapterList();
    std::vector<ManagerKind> kinds;
    for (const auto& adapter : adapters)
        kinds.push_back(adapter->kind());
    ASSERT_EQ(kinds, (std::vector<ManagerKind>{ManagerKind::homebrew, ManagerKind::nvm, ManagerKind::pnpm,
                                               ManagerKind::npm, ManagerKind::bun}));

    // The home-based adapters look in the home the list was built for, with the real sizer.
    const ManagerReport nvm = adapters[1]->scan(), pnpm = adapters[2]->scan();
    ASSERT_EQ(nvm.items.size(), 1u);
    EXPECT_EQ(nvm.items[0].path, home / ".nvm/versions/node/v20.11.1");
    EXPECT_EQ(nvm.items[0].bytes, test::duBytes(home / ".nvm/versions/node/v20.11.1"));
    ASSERT_EQ(pnpm.items.size(), 1u);
    EXPECT_EQ(pnpm.items[0].path, home / ".local/share/pnpm/store");
    if (!pathExists("/opt/homebrew/bin/bun") && !pathExists("/usr/local/bin/bun") && !pathExists("/usr/bin/bun")) {
        EXPECT_FALSE(adapters[4]->scan().detected) << "no bun in an empty home";
    }
}

} // namespace
} // namespace kelvo
