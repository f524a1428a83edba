// A window stays open for days and the user re-scans at will: a hundred scans in one process must
// leave no descriptor, no child process and no memory behind.

#include "hardening/HostileHome.h"

#include <gtest/gtest.h>

#include <iostream>

namespace kelvo {
namespace {

using namespace std::chrono_literals;

TEST(RepeatedScans, AHundredScansLeakNoDescriptorNoChildAndNoMemory) {
    test::HostileHome home(false);
    test::FakeTools tools;
    tools.answerFor(home);
    // One tool leaves a child holding the pipes, so every scan also goes through the kill path.
    tools.replace("pnpm", "sleep 1000 &\necho 8.15.0\n");
    auto runner = std::make_shared<CommandRunner>(tools.candidates(), 5'000ms, 1 << 20);
    const test::Adapters adapters = test::hostileAdapters(runner, home.home());

    const int descriptors = test::openDescriptorCount();
    long afterTwenty = 0;
    std::size_t items = 0;
    for (int scan = 1; scan <= 100; ++scan) {
        const ScanResult result = test::scanAll(adapters);
        ASSERT_EQ(result.managers.size(), 5u);
        if (scan == 1) {
            for (const auto& report : result.managers) {
                items += report.items.size();
            }
        }
        if (scan == 20) {
            afterTwenty = test::residentKiB();
        }
    }
    const long afterHundred = test::residentKiB();
    EXPECT_EQ(test::openDescriptorCount(), descriptors);
    EXPECT_EQ(test::zombieChildCount(), 0);
    EXPECT_GT(items, 100u);
    std::cout << "[ REPEATED ] 100 scans of " << items << " items; resident after 20: " << afterTwenty
              << " KiB, after 100: " << afterHundred << " KiB\n";
#if !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
    EXPECT_LT(afterHundred - afterTwenty, 8 * 1024);
#endif
}

} // namespace
} // namespace kelvo
