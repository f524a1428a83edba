#include "adapters/HomebrewAdapter.h"

#include "adapters/Substitutes.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace kelvo {
namespace {

using test::failed;
using test::FakeRunner;
using test::FakeSizer;
using test::ok;
using Case = ReadOnlyCommand::Case;

struct Brew {
    std::shared_ptr<FakeRunner> runner = std::make_shared<FakeRunner>();
    std::shared_ptr<FakeSizer> sizer = std::make_shared<FakeSizer>();
    KnowledgeBase kb;

    Brew(const std::string& list, const std::string& leaves) {
        runner->on(Case::brewVersion, ok("Homebrew 4.2.1\nHomebrew/homebrew-core (git revision 1a2b)"))
            .on(Case::brewCellarPath, ok("/cellar"))
            .on(Case::brewListFormula, ok(list))
            .on(Case::brewLeaves, ok(leaves));
    }
    ManagerReport scan() const { return HomebrewAdapter(runner, sizer, kb).scan(); }
};

TEST(HomebrewAdapter, EachFailingCommandStopsTheScanWithWhatIsKnown) {
    Brew absent("", "");
    absent.runner->on(Case::brewVersion, test::toolNotFound());
    const ManagerReport none = absent.scan();
    EXPECT_FALSE(none.detected);
    EXPECT_TRUE(none.quickWins.empty());
    EXPECT_FALSE(HomebrewAdapter(absent.runner, absent.sizer, {}).isInstalled());

    const std::vector<Case> order{Case::brewVersion, Case::brewCellarPath, Case::brewListFormula, Case::brewLeaves};
    for (std::size_t failing = 1; failing < order.size(); ++failing) {
        Brew brew("wget", "wget");
        brew.runner->on(order[failing], failed(1, "boom"));
        const ManagerReport report = brew.scan();
        EXPECT_TRUE(report.detected);
        EXPECT_EQ(report.version, "4.2.1");
        EXPECT_TRUE(report.items.empty()) << failing;
        ASSERT_EQ(report.quickWins.size(), 2u);
        EXPECT_EQ(report.quickWins[0].command, "brew cleanup");
        EXPECT_EQ(report.quickWins[1].command, "brew autoremove");
        EXPECT_EQ(brew.runner->callKinds(), std::vector<Case>(order.begin(), order.begin() + failing + 1));
        EXPECT_TRUE(brew.sizer->calls().empty());
    }
}

TEST(HomebrewAdapter, VersionComesOnlyFromAFirstLineStartingWithTheWordHomebrew) {
    EXPECT_EQ(HomebrewAdapter::versionFromOutput("\n\nHomebrew   4.2.1 extra\nHomebrew 9"), "4.2.1");
    EXPECT_EQ(HomebrewAdapter::versionFromOutput("Homebrew"), std::nullopt);
    EXPECT_EQ(HomebrewAdapter::versionFromOutput("homebrew 4.2.1"), std::nullopt);
    EXPECT_EQ(HomebrewAdapter::versionFromOutput("Homebrew\t4.2.1"), std::nullopt);
    EXPECT_EQ(HomebrewAdapter::versionFromOutput(""), std::nullopt);

    Brew brew("wget", "");
    brew.runner->on(Case::brewVersion, ok("Linuxbrew 1.0"));
    const ManagerReport report = brew.scan();
    EXPECT_TRUE(report.detected);
    EXPECT_FALSE(report.version);
    EXPECT_EQ(report.items.size(), 1u);
}

TEST(HomebrewAdapter, ItemsCarryLeafTiersAndSortLargestFirstKeepingListOrderOnTies) {
    Brew brew("  zlib\n\n\tgit \nwget\nmissing\n \t\n", "wget\nGIT\n  missing");
    brew.sizer->set("/cellar/zlib", 50).set("/cellar/git", 50).set("/cellar/wget", 100);
    brew.kb.entries.push_back({"wget", {}, "Network downloader", {}, {}});
    const ManagerReport report = brew.scan();

    EXPECT_EQ(test::itemNames(report), (std::vector<std::string>{"wget", "zlib", "git", "missing"}));
    const auto& wget = report.items[0];
    EXPECT_EQ(wget.tier, Tier::orphanCandidate);
    EXPECT_EQ(wget.evidence, std::vector<Evidence>{Evidence::noDependents()});
    EXPECT_EQ(wget.reclaimCommand, "brew uninstall wget");
    EXPECT_EQ(wget.identity, "Network downloader");
    EXPECT_EQ(wget.bytes, 100);
    EXPECT_FALSE(wget.version);
    // "GIT" from leaves is not the listed "git".
    const auto& git = report.items[2];
    EXPECT_EQ(git.tier, Tier::signalOnly);
    EXPECT_TRUE(git.evidence.empty());
    EXPECT_FALSE(git.reclaimCommand);
    EXPECT_FALSE(git.identity);
    const auto& missing = report.items[3];
    EXPECT_EQ(missing.path, "/cellar/missing");
    EXPECT_FALSE(missing.bytes);
    EXPECT_EQ(missing.tier, Tier::orphanCandidate);
    EXPECT_EQ(brew.runner->callKinds(), (std::vector<Case>{Case::brewVersion, Case::brewCellarPath,
                                                            Case::brewListFormula, Case::brewLeaves}));
}

TEST(HomebrewAdapter, QuickWinsKeepTheirIdsAcrossScansWhileItemsGetNewOnes) {
    Brew brew("wget", "wget");
    const ManagerReport first = brew.scan(), second = brew.scan();
    ASSERT_EQ(first.quickWins.size(), 2u);
    EXPECT_EQ(first.quickWins[1].id, second.quickWins[1].id);
    EXPECT_NE(first.quickWins[0].id, first.quickWins[1].id);
    EXPECT_NE(first.items[0].id, second.items[0].id);
}

TEST(HomebrewAdapter, HostileFormulaNamesAreQuotedAndNeverMeasuredOutsideTheCellar) {
    test::TempDir dir;
    const std::string marker = dir / "executed";
    const std::vector<std::string> hostile{
        "a b", "it's", "x;touch " + marker, "$(touch " + marker + ")", "`touch " + marker + "`",
        "\xff\xfe", "..", "../etc", "-rf", "--force", "\"q\""};
    std::string list;
    for (const auto& name : hostile)
        list += name + "\n";
    Brew brew(list, list);
    const ManagerReport report = brew.scan();
    ASSERT_EQ(report.items.size(), hostile.size());
    for (const auto& item : report.items) {
        ASSERT_TRUE(item.reclaimCommand) << item.name;
        EXPECT_EQ(test::shellWords(*item.reclaimCommand), test::removalWords({"brew", "uninstall"}, item.name));
    }
    EXPECT_FALSE(std::filesystem::exists(marker));
    for (const auto& path : brew.sizer->calls())
        EXPECT_EQ(path.find("/.."), std::string::npos) << path;
    EXPECT_EQ(brew.sizer->calls().size(), hostile.size() - 2);
}

TEST(HomebrewAdapter, AnEmptyOrRelativeCellarListsFormulaeWithoutMeasuringElsewhere) {
    for (const char* cellar : {"", "Cellar"}) {
        Brew brew("usr\nwget", "wget");
        brew.runner->on(Case::brewCellarPath, ok(cellar));
        const ManagerReport report = brew.scan();
        EXPECT_EQ(test::itemNames(report), (std::vector<std::string>{"usr", "wget"}));
        EXPECT_EQ(report.items[0].path, std::string(cellar) + "/usr");
        EXPECT_TRUE(brew.sizer->calls().empty()) << cellar;
    }
}

TEST(HomebrewAdapter, AThrowingRunnerStillGivesAReport) {
    struct Throwing final : ReadOnlyCommandRunning {
        CommandResult run(const ReadOnlyCommand& command) const override {
            if (command.kind == Case::brewVersion)
                return ok("Homebrew 4.2.1");
            throw std::runtime_error("bug");
        }
    };
    const ManagerReport report =
        HomebrewAdapter(std::make_shared<Throwing>(), std::make_shared<FakeSizer>(), {}).scan();
    EXPECT_TRUE(report.detected);
    EXPECT_EQ(report.version, "4.2.1");
    EXPECT_EQ(report.quickWins.size(), 2u);
}

} // namespace
} // namespace kelvo
