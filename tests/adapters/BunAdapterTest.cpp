#include "adapters/BunAdapter.h"

#include "adapters/Substitutes.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <unistd.h>

namespace kelvo {
namespace {

using test::FakeProber;
using test::FakeRunner;
using test::FakeSizer;
using test::ok;
using Case = ReadOnlyCommand::Case;

// A home directory with a real ~/.bun tree; sizes come from the substitute sizer.
struct Bun {
    test::TempDir home;
    std::string modules = home / ".bun/install/global/node_modules";
    std::shared_ptr<FakeRunner> runner = std::make_shared<FakeRunner>();
    std::shared_ptr<FakeSizer> sizer = std::make_shared<FakeSizer>();
    std::shared_ptr<const FileAccessProbing> prober = std::make_shared<FileManagerFileAccessProber>();
    KnowledgeBase kb;

    void package(const std::string& name, const std::string& packageJson = "{}") {
        test::writeFile(modules + "/" + name + "/package.json", packageJson);
    }
    ManagerReport scan() const { return BunAdapter(runner, sizer, prober, kb, home.path()).scan(); }
};

using test::itemNames;

TEST(BunAdapter, DetectionFollowsTheCommandOrTheBunDirectory) {
    Bun bun;
    EXPECT_FALSE(bun.scan().detected);
    EXPECT_FALSE(BunAdapter(bun.runner, bun.sizer, bun.prober, {}, bun.home.path()).isInstalled());
    test::writeFile(bun.home / ".bun", "not a directory");
    EXPECT_FALSE(bun.scan().detected);
    EXPECT_TRUE(bun.scan().quickWins.empty());

    Bun dirOnly;
    dirOnly.package("alpha");
    const ManagerReport fromDirectory = dirOnly.scan();
    EXPECT_TRUE(fromDirectory.detected);
    EXPECT_FALSE(fromDirectory.version);
    EXPECT_EQ(itemNames(fromDirectory), std::vector<std::string>{"alpha"});
    ASSERT_EQ(fromDirectory.quickWins.size(), 1u);
    EXPECT_EQ(fromDirectory.quickWins[0].command, "bun pm cache rm");

    Bun commandOnly;
    commandOnly.runner->on(Case::bunVersion, ok("1.1.8"));
    commandOnly.sizer->set(commandOnly.home / ".bun/install/cache", 3);
    const ManagerReport report = commandOnly.scan();
    EXPECT_TRUE(report.detected);
    EXPECT_EQ(report.version, "1.1.8");
    EXPECT_EQ(itemNames(report), std::vector<std::string>{"bun cache"}) << "no modules directory";
    EXPECT_EQ(commandOnly.runner->callKinds(), (std::vector<Case>{Case::bunVersion, Case::bunVersion}));
    commandOnly.runner->on(Case::bunVersion, ok(""));
    EXPECT_FALSE(commandOnly.scan().version);
}

TEST(BunAdapter, ListsScopesSkipsDotNamesAndOrdersByNameThenSize) {
    Bun bun;
    bun.package("zeta", "not json");
    bun.package("alpha", R"({"version":"1.2.3"})");
    bun.package("@scope/tool", R"({"version":2})");
    test::makeDirs(bun.modules + "/.cache/x");
    test::makeDirs(bun.modules + "/@scope/.bin");
    test::makeDirs(bun.modules + "/@empty");
    const ManagerReport plain = bun.scan();
    EXPECT_EQ(itemNames(plain), (std::vector<std::string>{"@scope/tool", "alpha", "zeta"}));
    EXPECT_FALSE(plain.items[0].version);
    EXPECT_EQ(plain.items[1].version, "1.2.3");
    EXPECT_EQ(plain.items[1].path, bun.modules + "/alpha");
    EXPECT_FALSE(plain.items[2].version);

    bun.sizer->set(bun.modules + "/zeta", 9).set(bun.modules + "/alpha", 5).set(bun.modules + "/@scope/tool", 5);
    bun.sizer->set(bun.home / ".bun/install/cache", 7);
    const ManagerReport sized = bun.scan();
    EXPECT_EQ(itemNames(sized), (std::vector<std::string>{"zeta", "bun cache", "@scope/tool", "alpha"}));
    const auto& cache = sized.items[1];
    EXPECT_EQ(cache.path, bun.home / ".bun/install/cache");
    EXPECT_EQ(cache.tier, Tier::safeByDesign);
    EXPECT_EQ(cache.evidence, std::vector<Evidence>{Evidence::managerDefinesPrunable()});
    EXPECT_EQ(cache.identity, "bun's module cache — re-downloaded as needed.");
    EXPECT_EQ(sized.items[0].tier, Tier::signalOnly);
}

TEST(BunAdapter, CoreNamesAndKnowledgeBaseDecideTheCommand) {
    Bun bun;
    for (const char* name : {"corepack", "npm", "typescript", "vercel"})
        bun.package(name);
    bun.kb.entries.push_back({"vercel", std::vector{ManagerKind::bun}, "Deploy CLI", {}, true});
    bun.kb.entries.push_back({"typescript", std::vector{ManagerKind::npm}, "npm only", {}, true});
    const ManagerReport report = bun.scan();
    ASSERT_EQ(itemNames(report), (std::vector<std::string>{"corepack", "npm", "typescript", "vercel"}));
    EXPECT_FALSE(report.items[0].reclaimCommand);
    EXPECT_FALSE(report.items[1].reclaimCommand);
    EXPECT_EQ(report.items[2].reclaimCommand, "bun remove -g typescript");
    EXPECT_FALSE(report.items[2].identity);
    EXPECT_FALSE(report.items[3].reclaimCommand);
    EXPECT_EQ(report.items[3].identity, "Deploy CLI");
}

TEST(BunAdapter, LastUseIsReadFromTheBunCommandDirectory) {
    Bun bun;
    bun.package("@scope/tool", R"({"bin":"cli.js"})");
    bun.package("idle", R"({"bin":{"idle":"cli.js"}})");
    const double t = 1700000000;
    for (const auto& [command, accessed] : {std::pair{"tool", t + 3 * 86400}, {"idle", t + 60}}) {
        const std::string path = bun.home / ".bun/bin/" + command;
        test::writeFile(path, "");
        ASSERT_TRUE(test::setFileTimes(path, accessed, t));
    }
    const ManagerReport report = bun.scan();
    EXPECT_EQ(report.items[0].evidence, std::vector<Evidence>{Evidence::lastUsed(t + 3 * 86400)});
    EXPECT_TRUE(report.items[1].evidence.empty());
}

TEST(BunAdapter, RealSizesCountAFileSharedWithTheCacheInBothItems) {
    Bun bun;
    bun.package("tool");
    const std::string cache = bun.home / ".bun/install/cache";
    test::writeFile(cache + "/blob", std::string(200000, 'x'));
    ASSERT_EQ(::link((cache + "/blob").c_str(), (bun.modules + "/tool/blob").c_str()), 0);
    const ManagerReport report =
        BunAdapter(bun.runner, std::make_shared<FileManagerDirectorySizer>(), bun.prober, {}, bun.home.path()).scan();
    const DependencyItem* tool = test::itemNamed(report, "tool");
    const DependencyItem* cacheItem = test::itemNamed(report, "bun cache");
    ASSERT_TRUE(tool && cacheItem);
    EXPECT_EQ(tool->bytes, test::duBytes(bun.modules + "/tool"));
    EXPECT_EQ(cacheItem->bytes, test::duBytes(cache));
    EXPECT_GE(tool->bytes.value_or(0), 200000);
    EXPECT_GE(cacheItem->bytes.value_or(0), 200000);
}

TEST(BunAdapter, HostileDirectoryNamesGiveCommandsThatSplitIntoOneName) {
    Bun bun;
    const std::vector<std::string> hostile{"a b", "it's", "x;echo hacked", "$(echo hacked)", "`echo hacked`",
                                           "new\nline", "\xff\xfe", "-rf", "@s/-x", "\"q\""};
    for (const auto& name : hostile)
        bun.package(name);
    const ManagerReport report = bun.scan();
    ASSERT_EQ(report.items.size(), hostile.size());
    for (const auto& item : report.items) {
        ASSERT_TRUE(item.reclaimCommand) << item.name;
        EXPECT_EQ(test::shellWords(*item.reclaimCommand), test::removalWords({"bun", "remove", "-g"}, item.name));
    }
}

} // namespace
} // namespace kelvo
