// Directories that the tools print are joined to names from other listings. An empty or
// relative answer must never turn "usr" into "/usr" or a path below the working directory.

#include "adapters/HomebrewAdapter.h"
#include "adapters/NpmAdapter.h"

#include "adapters/Substitutes.h"

#include <gtest/gtest.h>

namespace kelvo {
namespace {

using test::ok;
using Case = ReadOnlyCommand::Case;

const std::vector<std::string> unusableDirectories{"", "relative/cellar", ".", "..", "./x", "~/Cellar"};

TEST(ToolPaths, BrewCellarThatIsNotAbsoluteListsFormulaeWithoutMeasuringAnything) {
    for (const auto& cellar : unusableDirectories) {
        auto runner = std::make_shared<test::FakeRunner>();
        auto sizer = std::make_shared<test::FakeSizer>();
        sizer->set("/usr", 1'000'000).set("/usr/bin", 1);
        runner->on(Case::brewVersion, ok("Homebrew 4.2.1"))
            .on(Case::brewCellarPath, ok(cellar))
            .on(Case::brewListFormula, ok("usr\nbin\nwget"))
            .on(Case::brewLeaves, ok("usr"));
        const ManagerReport report = HomebrewAdapter(runner, sizer, {}).scan();
        EXPECT_EQ(test::itemNames(report), (std::vector<std::string>{"usr", "bin", "wget"})) << cellar;
        EXPECT_TRUE(sizer->calls().empty()) << "measured with Cellar '" << cellar << "': " << sizer->calls().front();
        for (const auto& item : report.items) {
            EXPECT_FALSE(item.bytes) << item.name;
        }
        ASSERT_TRUE(test::itemNamed(report, "usr")->reclaimCommand);
        EXPECT_EQ(*test::itemNamed(report, "usr")->reclaimCommand, "brew uninstall usr");
    }
}

TEST(ToolPaths, BrewCellarThatIsAbsoluteIsStillMeasured) {
    auto runner = std::make_shared<test::FakeRunner>();
    auto sizer = std::make_shared<test::FakeSizer>();
    sizer->set("/c/wget", 10);
    runner->on(Case::brewVersion, ok("Homebrew 4.2.1"))
        .on(Case::brewCellarPath, ok("/c"))
        .on(Case::brewListFormula, ok("wget"))
        .on(Case::brewLeaves, ok(""));
    const ManagerReport report = HomebrewAdapter(runner, sizer, {}).scan();
    ASSERT_EQ(report.items.size(), 1u);
    EXPECT_EQ(report.items[0].bytes, 10);
}

struct Npm {
    std::shared_ptr<test::FakeRunner> runner = std::make_shared<test::FakeRunner>();
    std::shared_ptr<test::FakeSizer> sizer = std::make_shared<test::FakeSizer>();
    std::shared_ptr<test::FakeProber> prober = std::make_shared<test::FakeProber>();

    Npm(const std::string& prefix, const std::string& cache) {
        runner->on(Case::npmVersion, ok("10.2.4"))
            .on(Case::npmPrefixGlobal, ok(prefix))
            .on(Case::npmListGlobalJSON, ok(R"({"dependencies":{"usr":{"version":"1.0.0"},"typescript":{}}})"))
            .on(Case::npmCacheDir, ok(cache));
        // What a join with an empty prefix would reach.
        sizer->set("/lib/node_modules/usr", 5).set("/lib/node_modules/typescript", 5);
    }
    ManagerReport scan() const { return NpmAdapter(runner, sizer, prober, {}).scan(); }
};

TEST(ToolPaths, NpmPrefixThatIsNotAbsoluteListsPackagesWithoutMeasuringOrProbing) {
    for (const auto& prefix : unusableDirectories) {
        Npm npm(prefix, "/home/u/.npm");
        const ManagerReport report = npm.scan();
        EXPECT_TRUE(report.detected);
        EXPECT_EQ(test::itemNames(report), (std::vector<std::string>{"typescript", "usr", "npm cache"})) << prefix;
        for (const auto& path : npm.sizer->calls()) {
            EXPECT_EQ(path, "/home/u/.npm") << "prefix '" << prefix << "'";
        }
        EXPECT_TRUE(npm.prober->calls().empty()) << prefix;
        EXPECT_FALSE(test::itemNamed(report, "usr")->bytes);
        EXPECT_TRUE(test::itemNamed(report, "usr")->reclaimCommand) << "still removable with npm's own command";
    }
}

TEST(ToolPaths, NpmCacheThatIsNotAbsoluteIsListedWithoutASize) {
    for (const std::string cache : {"relative/.npm", ".", "~/.npm"}) {
        Npm npm("/p", cache);
        npm.sizer->set(cache, 99);
        const ManagerReport report = npm.scan();
        const DependencyItem* item = test::itemNamed(report, "npm cache");
        ASSERT_NE(item, nullptr) << cache;
        EXPECT_EQ(item->path, cache);
        EXPECT_FALSE(item->bytes) << cache;
        for (const auto& path : npm.sizer->calls()) {
            EXPECT_EQ(path.rfind("/p/lib/node_modules/", 0), 0u) << path;
        }
    }
}

// A tool that floods its output must not have that output copied into every item's path
// (1 MiB of Cellar times 30,000 formula lines is 30 GiB).
TEST(ToolPaths, AFloodedDirectoryAnswerCountsAsAFailedCommand) {
    std::string flood;
    for (int i = 0; i < 2000; ++i) {
        flood += "/0123456789abcdef0123456789abcde\n";
    }
    auto runner = std::make_shared<test::FakeRunner>();
    runner->on(Case::brewVersion, ok("Homebrew 4.2.1"))
        .on(Case::brewCellarPath, ok(flood))
        .on(Case::brewListFormula, ok(flood))
        .on(Case::brewLeaves, ok(flood));
    const ManagerReport brew = HomebrewAdapter(runner, std::make_shared<test::FakeSizer>(), {}).scan();
    EXPECT_TRUE(brew.detected);
    EXPECT_TRUE(brew.items.empty());
    EXPECT_EQ(brew.quickWins.size(), 2u);

    Npm npm(flood, "/home/u/.npm");
    EXPECT_TRUE(npm.scan().items.empty());
    Npm cache("/p", flood);
    EXPECT_EQ(test::itemNamed(cache.scan(), "npm cache"), nullptr);
}

} // namespace
} // namespace kelvo
