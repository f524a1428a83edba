#include "adapters/NpmAdapter.h"

#include "adapters/Substitutes.h"

#include <gtest/gtest.h>

#include <condition_variable>
#include <mutex>

namespace kelvo {
namespace {

using test::itemNamed;
using test::itemNames;
using test::ok;
using Case = ReadOnlyCommand::Case;
using Names = std::vector<std::string>;

struct Npm : test::Services {
    explicit Npm(const std::string& listJson, const std::string& prefix = "/p") {
        runner->on(Case::npmVersion, ok("10.2.4"))
            .on(Case::npmPrefixGlobal, ok(prefix))
            .on(Case::npmListGlobalJSON, ok(listJson))
            .on(Case::npmCacheDir, ok("/cache"));
    }
    ManagerReport scan() const { return NpmAdapter(runner, sizer, prober, kb).scan(); }
};

const std::string twoTools = R"({"dependencies":{"b-tool":{"version":"2.0.0"},"a-tool":{"version":1}}})";

TEST(NpmAdapter, EachFailingCommandAndMalformedListingGivesItsReport) {
    // The command answered otherwise, the version (absent with "detected" false for the first row
    // only), the items: the globals only once npm listed them; its cache whenever it named one.
    const std::tuple<Case, CommandResult, std::optional<std::string>, Names> rows[] = {
        {Case::npmVersion, test::toolNotFound(), std::nullopt, {}},
        {Case::npmVersion, ok(""), std::nullopt, {"a-tool", "b-tool", "npm cache"}},
        {Case::npmPrefixGlobal, test::failed(), "10.2.4", {"npm cache"}},
        {Case::npmListGlobalJSON, test::failed(), "10.2.4", {"npm cache"}},
        {Case::npmCacheDir, test::failed(), "10.2.4", {"a-tool", "b-tool"}},
        {Case::npmCacheDir, ok(""), "10.2.4", {"a-tool", "b-tool"}},
    };
    for (std::size_t i = 0; i < std::size(rows); ++i) {
        SCOPED_TRACE(i);
        const auto& [command, answer, version, items] = rows[i];
        Npm npm(twoTools);
        npm.runner->on(command, answer);
        const ManagerReport report = npm.scan();
        EXPECT_EQ(report.detected, i > 0);
        EXPECT_EQ(report.version, version);
        EXPECT_EQ(itemNames(report), items);
        // The cache's quick win goes with the cache.
        EXPECT_EQ(report.quickWins.size(), i == 0 || i >= 4 ? 0u : 1u);
        EXPECT_EQ(npm.runner->callKinds().size(), 4u) << "all four are asked, whatever the version says";
    }
    for (const char* json : {"not json", "[1,2]", "{}", R"({"dependencies":[]})", R"({"dependencies":"x"})", ""})
        EXPECT_EQ(itemNames(Npm(json).scan()), Names{"npm cache"}) << json;
}

// Each answer waits (5 s at most) until all four questions are asked: npm answers in one round
// only if none of them waits for another's answer.
struct OneRound final : ReadOnlyCommandRunning {
    test::FakeRunner answers;
    mutable std::mutex mutex;
    mutable std::condition_variable asked;
    mutable int started = 0, mostAtOnce = 0, running = 0;
    CommandResult run(const ReadOnlyCommand& command) const override {
        std::unique_lock lock(mutex);
        ++started;
        mostAtOnce = std::max(mostAtOnce, ++running);
        asked.notify_all();
        asked.wait_for(lock, std::chrono::seconds(5), [&] { return started >= 4; });
        --running;
        return answers.run(command);
    }
};

TEST(NpmAdapter, TheVersionIsAskedWithTheOtherQuestionsNotBeforeThem) {
    const auto runner = std::make_shared<OneRound>();
    runner->answers.on(Case::npmVersion, ok("10.2.4")).on(Case::npmPrefixGlobal, ok("/p"));
    runner->answers.on(Case::npmListGlobalJSON, ok(twoTools)).on(Case::npmCacheDir, ok("/cache"));
    const ManagerReport report =
        NpmAdapter(runner, std::make_shared<test::FakeSizer>(), std::make_shared<test::FakeProber>(), {}).scan();
    EXPECT_EQ(runner->mostAtOnce, 4);
    EXPECT_EQ(itemNames(report), (Names{"a-tool", "b-tool", "npm cache"}));
}

TEST(NpmAdapter, PackagesAreOrderedByCodePointThenBySizeWithTheCacheAmongThem) {
    const auto list = NpmAdapter::packageList(
        R"({"dependencies":{"zeta":{},"é":{"version":"1"},"b-tool":{"version":"2.0.0"},"a-tool":{"version":1},)"
        R"("@scope/x":"1.0.0","Z":{"version":null}}, "version":"9"})");
    EXPECT_EQ(list, (std::vector<NpmAdapter::Package>{{"@scope/x", std::nullopt}, {"Z", std::nullopt},
                        {"a-tool", std::nullopt}, {"b-tool", "2.0.0"}, {"zeta", std::nullopt}, {"é", "1"}}));
    Npm npm(twoTools);
    npm.kb.entries.push_back({"b-tool", std::vector{ManagerKind::homebrew}, "brew's", {}, true}); // npm's own entries
    npm.kb.entries.push_back({"b-tool", std::vector{ManagerKind::npm}, "B", {}, {}});
    npm.sizer->set("/p/lib/node_modules/a-tool", 10).set("/p/lib/node_modules/b-tool", 10).set("/cache", 15);
    const ManagerReport report = npm.scan();
    EXPECT_EQ(itemNames(report), (Names{"npm cache", "a-tool", "b-tool"}));
    EXPECT_EQ(test::fields(report.items[2]), (test::ItemFields{"b-tool", "2.0.0", "/p/lib/node_modules/b-tool", 10,
                                                 Tier::signalOnly, {}, "B", "npm -g uninstall b-tool"}));
    EXPECT_EQ(test::fields(report.items[0]),
        (test::ItemFields{"npm cache", {}, "/cache", 15, Tier::safeByDesign, {Evidence::managerDefinesPrunable()},
            "npm's download cache — regenerates automatically.", {}}));
    npm.sizer->set("/cache", std::nullopt);
    EXPECT_EQ(itemNames(npm.scan()), (Names{"a-tool", "b-tool", "npm cache"}));
}

} // namespace
} // namespace kelvo
