#include "adapters/NpmAdapter.h"

#include "adapters/Substitutes.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

namespace kelvo {
namespace {

using test::failed;
using test::FakeProber;
using test::FakeRunner;
using test::FakeSizer;
using test::ok;
using Case = ReadOnlyCommand::Case;

struct Npm {
    std::shared_ptr<FakeRunner> runner = std::make_shared<FakeRunner>();
    std::shared_ptr<FakeSizer> sizer = std::make_shared<FakeSizer>();
    std::shared_ptr<const FileAccessProbing> prober = std::make_shared<FakeProber>();
    KnowledgeBase kb;

    explicit Npm(const std::string& listJson, const std::string& prefix = "/p") {
        runner->on(Case::npmVersion, ok("10.2.4"))
            .on(Case::npmPrefixGlobal, ok(prefix))
            .on(Case::npmListGlobalJSON, ok(listJson))
            .on(Case::npmCacheDir, ok("/cache"));
    }
    ManagerReport scan() const { return NpmAdapter(runner, sizer, prober, kb).scan(); }
};

using test::itemNamed;
using test::itemNames;

const std::string twoTools = R"({"dependencies":{"b-tool":{"version":"2.0.0"},"a-tool":{"version":1}}})";

TEST(NpmAdapter, FailingCommandsGiveTheirReports) {
    Npm absent(twoTools);
    absent.runner->on(Case::npmVersion, test::toolNotFound());
    EXPECT_FALSE(absent.scan().detected);
    EXPECT_TRUE(absent.scan().quickWins.empty());

    Npm silent(twoTools);
    silent.runner->on(Case::npmVersion, ok(""));
    EXPECT_TRUE(silent.scan().detected);
    EXPECT_FALSE(silent.scan().version);

    for (Case failing : {Case::npmPrefixGlobal, Case::npmListGlobalJSON}) {
        Npm npm(twoTools);
        npm.runner->on(failing, failed(1, "npm ERR! missing peer"));
        const ManagerReport report = npm.scan();
        EXPECT_TRUE(report.detected);
        EXPECT_EQ(report.version, "10.2.4");
        EXPECT_TRUE(report.items.empty()) << "not even the cache item";
        ASSERT_EQ(report.quickWins.size(), 1u);
        EXPECT_EQ(report.quickWins[0].command, "npm cache clean --force");
        EXPECT_EQ(npm.runner->callKinds().back(), failing);
    }

    for (const CommandResult& cache : {failed(), ok("")}) {
        Npm npm(twoTools);
        npm.runner->on(Case::npmCacheDir, cache);
        EXPECT_EQ(itemNames(npm.scan()), (std::vector<std::string>{"a-tool", "b-tool"}));
    }
}

TEST(NpmAdapter, MalformedListingsLeaveOnlyTheCacheItem) {
    for (const char* json : {"not json", "[1,2]", "{}", R"({"dependencies":[]})", R"({"dependencies":"x"})", ""}) {
        Npm npm(json);
        npm.sizer->set("/cache", 7);
        const ManagerReport report = npm.scan();
        ASSERT_EQ(report.items.size(), 1u) << json;
        const auto& cache = report.items[0];
        EXPECT_EQ(cache.name, "npm cache");
        EXPECT_EQ(cache.path, "/cache");
        EXPECT_EQ(cache.bytes, 7);
        EXPECT_EQ(cache.tier, Tier::safeByDesign);
        EXPECT_EQ(cache.evidence, std::vector<Evidence>{Evidence::managerDefinesPrunable()});
        EXPECT_EQ(cache.identity, "npm's download cache — regenerates automatically.");
        EXPECT_FALSE(cache.reclaimCommand);
    }
}

TEST(NpmAdapter, PackagesAreOrderedByCodePointThenBySizeWithTheCacheAmongThem) {
    const auto list = NpmAdapter::packageList(
        R"({"dependencies":{"zeta":{},"é":{"version":"1"},"b-tool":{"version":"2.0.0"},"a-tool":{"version":1},)"
        R"("@scope/x":"1.0.0","Z":{"version":null}}, "version":"9"})");
    const std::vector<NpmAdapter::Package> expected{{"@scope/x", std::nullopt}, {"Z", std::nullopt},
                                                    {"a-tool", std::nullopt}, {"b-tool", "2.0.0"},
                                                    {"zeta", std::nullopt},   {"é", "1"}};
    EXPECT_EQ(list, expected);

    Npm npm(twoTools);
    npm.sizer->set("/p/lib/node_modules/a-tool", 10).set("/p/lib/node_modules/b-tool", 10).set("/cache", 15);
    ManagerReport report = npm.scan();
    EXPECT_EQ(itemNames(report), (std::vector<std::string>{"npm cache", "a-tool", "b-tool"}));
    EXPECT_EQ(report.items[2].version, "2.0.0");
    EXPECT_EQ(report.items[2].path, "/p/lib/node_modules/b-tool");
    EXPECT_EQ(report.items[1].tier, Tier::signalOnly);

    npm.sizer->set("/cache", std::nullopt);
    npm.runner->clearCalls();
    report = npm.scan();
    EXPECT_EQ(itemNames(report), (std::vector<std::string>{"a-tool", "b-tool", "npm cache"}));
    EXPECT_EQ(npm.runner->callKinds(), (std::vector<Case>{Case::npmVersion, Case::npmPrefixGlobal,
                                                           Case::npmListGlobalJSON, Case::npmCacheDir}));
}

TEST(NpmAdapter, CorePackagesGetNoCommandAndOthersGetTheirOwnName) {
    Npm npm(R"({"dependencies":{"npm":{},"corepack":{},"typescript":{},"yarn":{},"tsx":{}}})");
    EXPECT_FALSE(itemNamed(npm.scan(), "npm")->reclaimCommand);
    EXPECT_FALSE(itemNamed(npm.scan(), "corepack")->reclaimCommand);
    EXPECT_EQ(itemNamed(npm.scan(), "typescript")->reclaimCommand, "npm -g uninstall typescript");

    npm.kb.entries.push_back({"yarn", std::vector{ManagerKind::npm}, "Yarn", {}, true});
    npm.kb.entries.push_back({"ts*", {}, "TypeScript tools", {}, false});
    npm.kb.entries.push_back({"tsx", std::vector{ManagerKind::bun}, "bun only", {}, true});
    const ManagerReport report = npm.scan();
    EXPECT_FALSE(itemNamed(report, "yarn")->reclaimCommand);
    EXPECT_EQ(itemNamed(report, "yarn")->identity, "Yarn");
    EXPECT_EQ(itemNamed(report, "tsx")->reclaimCommand, "npm -g uninstall tsx");
    EXPECT_EQ(itemNamed(report, "tsx")->identity, "TypeScript tools");
}

TEST(NpmAdapter, LastUseComesFromCommandsAccessedADayAfterTheirChange) {
    test::TempDir prefix;
    const std::string modules = prefix / "lib/node_modules";
    test::writeFile(modules + "/two/package.json", R"({"bin":{"late":"a.js","early":"b.js"}})");
    test::writeFile(modules + "/@scope/tool/package.json", R"({"name":"@scope/tool","bin":"cli.js"})");
    test::writeFile(modules + "/plain/package.json", R"({"name":"plain"})");
    test::makeDirs(prefix / "bin");
    const double t = 1700000000;
    for (const auto& [command, accessed] :
         {std::pair{"late", t + 2 * 86400}, {"early", t + 3600}, {"tool", t + 5 * 86400}, {"plain", t + 5 * 86400}}) {
        test::writeFile(prefix / "bin/" + command, "");
        ASSERT_TRUE(test::setFileTimes(prefix / "bin/" + command, accessed, t));
    }

    Npm npm(R"({"dependencies":{"two":{},"@scope/tool":{},"plain":{},"gone":{}}})", prefix.path());
    npm.prober = std::make_shared<FileManagerFileAccessProber>();
    const ManagerReport report = npm.scan();
    EXPECT_EQ(itemNamed(report, "two")->evidence, std::vector<Evidence>{Evidence::lastUsed(t + 2 * 86400)});
    EXPECT_EQ(itemNamed(report, "@scope/tool")->evidence, std::vector<Evidence>{Evidence::lastUsed(t + 5 * 86400)});
    EXPECT_TRUE(itemNamed(report, "plain")->evidence.empty());
    EXPECT_TRUE(itemNamed(report, "gone")->evidence.empty());
}

TEST(NpmAdapter, RelativeDirectoriesFromNpmAreNeitherMeasuredNorProbed) {
    Npm npm(twoTools, "relative/prefix");
    npm.runner->on(Case::npmCacheDir, ok("cache"));
    auto prober = std::make_shared<FakeProber>();
    npm.prober = prober;
    const ManagerReport report = npm.scan();
    EXPECT_EQ(itemNames(report), (std::vector<std::string>{"a-tool", "b-tool", "npm cache"}));
    EXPECT_EQ(report.items[2].path, "cache");
    EXPECT_TRUE(npm.sizer->calls().empty());
    EXPECT_TRUE(prober->calls().empty());
}

TEST(NpmAdapter, AFaultWhileProbingLeavesThePackageListedWithItsSize) {
    struct Throwing final : FileAccessProbing {
        std::optional<FileTimes> fileTimes(const std::string&) const override { throw std::bad_alloc(); }
    };
    test::TempDir prefix;
    test::writeFile(prefix / "lib/node_modules/tool/package.json", R"({"bin":"x"})");
    Npm npm(R"({"dependencies":{"tool":{}}})", prefix.path());
    npm.prober = std::make_shared<Throwing>();
    npm.sizer->set(prefix / "lib/node_modules/tool", 4);
    const ManagerReport report = npm.scan();
    ASSERT_NE(itemNamed(report, "tool"), nullptr);
    EXPECT_EQ(itemNamed(report, "tool")->bytes, 4);
    EXPECT_TRUE(itemNamed(report, "tool")->evidence.empty());
}

TEST(NpmAdapter, HostileNamesAreListedQuotedAndNeverTouchedOutsideTheModules) {
    const std::vector<std::string> hostile{"a b", "it's", "x;echo hacked", "$(echo hacked)", "`echo hacked`",
                                           "new\nline", "..", "../../etc", "-x", "a//b", "/abs"};
    std::string json = R"({"dependencies":{)";
    for (std::size_t i = 0; i < hostile.size(); ++i) {
        std::string escaped;
        for (char c : hostile[i])
            escaped += c == '\n' ? std::string("\\n") : c == '"' ? std::string("\\\"") : std::string(1, c);
        json += (i ? "," : "") + ("\"" + escaped + "\":{}");
    }
    json += R"(,"nul\u0000name":{}}})";
    Npm npm(json);
    auto prober = std::make_shared<FakeProber>();
    npm.prober = prober;
    const ManagerReport report = npm.scan();
    ASSERT_EQ(report.items.size(), hostile.size() + 2);
    for (const auto& name : hostile) {
        const DependencyItem* item = itemNamed(report, name);
        ASSERT_TRUE(item && item->reclaimCommand) << name;
        EXPECT_EQ(test::shellWords(*item->reclaimCommand), test::removalWords({"npm", "-g", "uninstall"}, name));
    }
    EXPECT_FALSE(itemNamed(report, std::string("nul\0name", 8))->reclaimCommand);
    for (const auto& path : npm.sizer->calls())
        EXPECT_TRUE(path == "/cache" || path.find("..") == std::string::npos) << path;
    // Unsafe names: "..", "../../etc", "a//b", "/abs" and the one holding a NUL.
    EXPECT_EQ(npm.sizer->calls().size(), hostile.size() - 4 + 1);
    EXPECT_TRUE(prober->calls().empty());
}

} // namespace
} // namespace kelvo
