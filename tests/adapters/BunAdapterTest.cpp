#include "adapters/BunAdapter.h"

#include "adapters/Substitutes.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <algorithm>

#include <unistd.h>

namespace kelvo {
namespace {

using test::itemNames;
using Case = ReadOnlyCommand::Case;
using Names = std::vector<std::string>;

// A home directory with a real ~/.bun tree; sizes come from the substitute sizer.
struct Bun : test::Services {
    test::TempDir home;
    std::string modules = home / ".bun/install/global/node_modules";
    std::string cache = home / ".bun/install/cache";

    void cacheOf(std::int64_t bytes) const {
        test::makeDirs(cache);
        sizer->set(cache, bytes);
    }

    void package(const std::string& name, const std::string& packageJson = "{}") {
        test::writeFile(modules + "/" + name + "/package.json", packageJson);
    }
    ManagerReport scan() const { return BunAdapter(runner, sizer, prober, kb, home.path()).scan(); }
};

TEST(BunAdapter, DetectionFollowsTheCommandOrTheBunDirectory) {
    Bun none, dirOnly, commandOnly;
    test::writeFile(none.home / ".bun", "not a directory");
    EXPECT_FALSE(none.scan().detected || !none.scan().quickWins.empty());
    EXPECT_FALSE(BunAdapter(none.runner, none.sizer, nullptr, {}, none.home.path()).isInstalled());

    dirOnly.package("alpha");
    const ManagerReport fromDirectory = dirOnly.scan();
    EXPECT_TRUE(fromDirectory.detected && !fromDirectory.version);
    EXPECT_EQ(itemNames(fromDirectory), Names{"alpha"});
    EXPECT_TRUE(fromDirectory.quickWins.empty()) << "no cache to clear";

    commandOnly.runner->on(Case::bunVersion, test::ok("1.1.8"));
    commandOnly.cacheOf(3);
    const ManagerReport report = commandOnly.scan();
    EXPECT_TRUE(report.detected && report.version == "1.1.8");
    EXPECT_EQ(itemNames(report), Names{"bun cache"}) << "no modules directory";
    EXPECT_TRUE(report.quickWins.at(0).command == "bun pm cache rm" && report.quickWins[0].bytes == 3);
    commandOnly.runner->on(Case::bunVersion, test::ok(""));
    EXPECT_FALSE(commandOnly.scan().version);
}

TEST(BunAdapter, ListsScopesSkipsDotNamesReadsLastUseAndOrdersByNameThenSize) {
    Bun bun;
    bun.package("zeta", "not json");
    bun.package("alpha", R"({"version":"1.2.3"})");
    bun.package("@scope/tool", R"({"version":2,"bin":"cli.js"})"); // when a use counts is the adapter support test's
    bun.prober->set(bun.home / ".bun/bin/tool", FileTimes{3 * 86400, 0});
    test::makeDirs(bun.modules + "/.cache/x");
    test::makeDirs(bun.modules + "/@scope/.bin");
    test::makeDirs(bun.modules + "/@empty");
    // A scope that is a link leads elsewhere: neither listed nor entered.
    ASSERT_EQ(::symlink((bun.modules + "/@scope").c_str(), (bun.modules + "/@linked").c_str()), 0);
    const ManagerReport plain = bun.scan();
    EXPECT_EQ(itemNames(plain), (Names{"@scope/tool", "alpha", "zeta"}));
    EXPECT_FALSE(plain.items[0].version || plain.items[2].version);
    EXPECT_EQ(plain.items[0].evidence, std::vector{Evidence::lastUsed(3 * 86400)}) << "from bun's command folder";
    EXPECT_EQ(test::fields(plain.items[1]), (test::ItemFields{"alpha", "1.2.3", bun.modules + "/alpha", {},
                                                Tier::signalOnly, {}, {}, "bun remove -g alpha"}));

    bun.sizer->set(bun.modules + "/zeta", 9).set(bun.modules + "/alpha", 5).set(bun.modules + "/@scope/tool", 5);
    bun.cacheOf(7);
    const ManagerReport sized = bun.scan();
    EXPECT_EQ(itemNames(sized), (Names{"zeta", "bun cache", "@scope/tool", "alpha"}));
    EXPECT_EQ(test::fields(sized.items[1]),
        (test::ItemFields{"bun cache", {}, bun.cache, 7, Tier::safeByDesign, {Evidence::managerDefinesPrunable()},
            "bun's module cache — re-downloaded as needed.", {}}));
}

TEST(BunAdapter, TheGlobalManifestNamesTheGlobalsAndTheRestIsOneDependenciesItem) {
    Bun bun;
    for (const char* name : {"cowsay", "@vue/cli", "@vue/shared", "yargs", "@babel/parser", ".bin"}) {
        bun.package(name);
        bun.sizer->set(bun.modules + "/" + name, 100);
    }
    bun.sizer->set(bun.modules + "/@babel", 1000).set(bun.modules + "/cowsay", 300);
    const std::string manifest = bun.home / ".bun/install/global/package.json";
    test::writeFile(manifest, R"({"dependencies":{"cowsay":"^1.6.0","@vue/cli":"^5","missing":"1"}})");
    const ManagerReport report = bun.scan();
    EXPECT_EQ(itemNames(report), (Names{BunAdapter::dependenciesName, "cowsay", "@vue/cli", "missing"}));
    EXPECT_EQ(test::fields(report.items[0]),
        (test::ItemFields{BunAdapter::dependenciesName, {}, {}, 1300, Tier::signalOnly, {},
            "Packages your bun globals depend on — they go away with the globals that need them.", {}}));
    for (const char* other : {"/.bin", "/@babel", "/@vue/shared", "/yargs"}) {
        const auto calls = bun.sizer->calls();
        EXPECT_EQ(std::count(calls.begin(), calls.end(), bun.modules + other), 1) << other;
    }

    // No usable manifest: every folder is a global, as bun's listing shows them.
    for (const std::string text : {"not json", "[]", R"({"dependencies":["cowsay"]})", ""}) {
        text.empty() ? test::removeTree(manifest) : test::writeFile(manifest, text);
        EXPECT_EQ(itemNames(bun.scan()), (Names{"cowsay", "@babel/parser", "@vue/cli", "@vue/shared", "yargs"}))
            << text;
    }
    test::makeDirs(manifest); // unreadable as a file
    EXPECT_EQ(bun.scan().items.size(), 5u);
    test::removeTree(manifest);
    test::writeFile(manifest, "{}"); // every global removed again
    EXPECT_EQ(itemNames(bun.scan()), Names{BunAdapter::dependenciesName});
    test::removeTree(bun.modules); // and nothing left beside them: no empty row either
    test::writeFile(manifest, R"({"dependencies":{}})");
    EXPECT_EQ(itemNames(bun.scan()), Names{});
}

} // namespace
} // namespace kelvo
