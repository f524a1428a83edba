#include "adapters/HomebrewAdapter.h"

#include "adapters/Substitutes.h"

#include <gtest/gtest.h>

namespace kelvo {
namespace {

using test::ok;
using Case = ReadOnlyCommand::Case;
using F = test::ItemFields;

struct Brew : test::Services {
    Brew(const std::string& list, const std::string& leaves) {
        runner->on(Case::brewVersion, ok("Homebrew 4.2.1\nHomebrew/homebrew-core (git revision 1a2b)"))
            .on(Case::brewCellarPath, ok("/cellar"))
            .on(Case::brewListFormula, ok(list))
            .on(Case::brewLeaves, ok(leaves));
    }
    ManagerReport scan() const { return HomebrewAdapter(runner, sizer, kb).scan(); }
};

TEST(HomebrewAdapter, EachFailingCommandStopsTheScanWithWhatIsKnown) {
    const std::vector<Case> order{Case::brewVersion, Case::brewCellarPath, Case::brewListFormula, Case::brewLeaves};
    for (std::size_t failing = 0; failing < order.size(); ++failing) {
        SCOPED_TRACE(failing);
        Brew brew("wget", "wget");
        brew.runner->on(order[failing], failing == 0 ? test::toolNotFound() : test::failed());
        const ManagerReport report = brew.scan();
        EXPECT_EQ(brew.runner->callKinds(), std::vector<Case>(order.begin(), order.begin() + failing + 1));
        EXPECT_EQ(report.detected, failing > 0);
        EXPECT_EQ(HomebrewAdapter(brew.runner, brew.sizer, {}).isInstalled(), failing > 0);
        EXPECT_EQ(report.version, failing > 0 ? std::optional<std::string>("4.2.1") : std::nullopt);
        EXPECT_EQ(report.quickWins.size(), failing > 0 ? 2u : 0u);
        EXPECT_TRUE(report.items.empty() && brew.sizer->calls().empty());
    }
}

TEST(HomebrewAdapter, VersionComesOnlyFromAFirstLineStartingWithTheWordHomebrew) {
    const std::vector<std::pair<std::string, std::optional<std::string>>> cases{
        {"\n\nHomebrew   4.2.1 extra\nHomebrew 9", "4.2.1"}, {"Homebrew", std::nullopt},
        {"homebrew 4.2.1", std::nullopt}, {"Homebrew\t4.2.1", std::nullopt}, {"", std::nullopt}};
    for (const auto& [output, expected] : cases)
        EXPECT_EQ(HomebrewAdapter::versionFromOutput(output), expected) << output;
    Brew brew("wget", "");
    brew.runner->on(Case::brewVersion, ok("Linuxbrew 1.0"));
    const ManagerReport report = brew.scan();
    EXPECT_TRUE(report.detected && !report.version && report.items.size() == 1);
}

TEST(HomebrewAdapter, ItemsCarryLeafTiersAndSortLargestFirstKeepingListOrderOnTies) {
    // Sizes 100, 50, 50, 0 and two absent: largest first, ties in list order, absent after zero.
    Brew brew("  zlib\n\n\tgit \nmissing\nwget\nzero\ngone\n \t\n", "wget\nGIT\n  missing");
    brew.sizer->set("/cellar/zlib", 50).set("/cellar/git", 50).set("/cellar/wget", 100).set("/cellar/zero", 0);
    // Homebrew's own entry, not another manager's of the same name.
    brew.kb.entries.push_back({"wget", std::vector{ManagerKind::npm}, "npm's wget", {}, {}});
    brew.kb.entries.push_back({"wget", std::vector{ManagerKind::homebrew}, "Network downloader", {}, {}});
    const ManagerReport report = brew.scan(), again = brew.scan();
    EXPECT_EQ(test::itemNames(report), (std::vector<std::string>{"wget", "zlib", "git", "zero", "missing", "gone"}));
    EXPECT_EQ(
        test::fields(report.items[0]), (F{"wget", {}, "/cellar/wget", 100, Tier::orphanCandidate,
                                           {Evidence::noDependents()}, "Network downloader", "brew uninstall wget"}));
    // "GIT" among the leaves is not the listed "git".
    EXPECT_EQ(test::fields(report.items[2]), (F{"git", {}, "/cellar/git", 50, Tier::signalOnly, {}, {}, {}}));
    EXPECT_EQ(test::fields(report.items[4]), (F{"missing", {}, "/cellar/missing", {}, Tier::orphanCandidate,
                                                 {Evidence::noDependents()}, {}, "brew uninstall missing"}));
    // Quick wins are made once per process; items are new on every scan.
    ASSERT_EQ(report.quickWins.size(), 2u);
    EXPECT_EQ(report.quickWins[0].command + "|" + report.quickWins[1].command, "brew cleanup|brew autoremove");
    EXPECT_EQ(report.quickWins[1].id, again.quickWins.at(1).id);
    EXPECT_NE(report.quickWins[0].id, report.quickWins[1].id);
    EXPECT_NE(report.items[0].id, again.items.at(0).id);
}

} // namespace
} // namespace kelvo
