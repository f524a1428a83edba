// The caches and leftovers the toolchains keep beside their managers' own trees: where each is
// looked for on macOS and on Linux, the global folders' manifests, pnpm's old store layouts, and
// quick wins sized by what they clean.

#include "adapters/HomebrewAdapter.h"
#include "adapters/NpmAdapter.h"
#include "adapters/NvmAdapter.h"
#include "adapters/PnpmAdapter.h"
#include "adapters/Substitutes.h"
#include "adapters/YarnAdapter.h"

#include <gtest/gtest.h>

#include <unistd.h>

namespace kelvo {
namespace {

using test::ok;
using Case = ReadOnlyCommand::Case;
using Names = std::vector<std::string>;

// Every adapter that gained a folder, over one home, with tools that answer and sizes by path.
struct Home : test::Services {
    test::TempDir home;

    Home() {
        runner->on(Case::brewVersion, ok("Homebrew 4.2.1")).on(Case::brewCellarPath, ok(home / "Cellar"));
        runner->on(Case::brewListFormula, ok("")).on(Case::brewLeaves, ok("")).on(Case::pnpmVersion, ok("10.1.0"));
        runner->on(Case::npmVersion, ok("10.2.4")).on(Case::npmPrefixGlobal, ok(home / "npm"));
        runner->on(Case::npmListGlobalJSON, ok("{}")).on(Case::npmCacheDir, ok(home / ".npm"));
        test::makeDirs(home / ".nvm/versions/node");
    }
    ManagerReport scan(ManagerKind kind) const {
        switch (kind) {
        case ManagerKind::homebrew: return HomebrewAdapter(runner, sizer, {}, home.path()).scan();
        case ManagerKind::npm: return NpmAdapter(runner, sizer, prober, {}, home.path()).scan();
        case ManagerKind::pnpm: return PnpmAdapter(runner, sizer, prober, {}, home.path()).scan();
        case ManagerKind::nvm: return NvmAdapter(sizer, home.path()).scan();
        default: return YarnAdapter(sizer, prober, {}, home.path()).scan();
        }
    }
};

TEST(Leftovers, EachFolderIsFoundWhereItsToolPutsItOnEachPlatformAndCleanedByItsOwnCommand) {
    struct Row {
        ManagerKind kind;
        std::string folder; // in the home
        std::string item;
        std::string command; // of the quick win that cleans it, or of the item itself
    };
    const Row rows[] = {
        {ManagerKind::yarn, "Library/Caches/Yarn", "Yarn cache", "yarn cache clean"},
        {ManagerKind::yarn, ".cache/yarn", "Yarn cache", "yarn cache clean"},
        {ManagerKind::yarn, ".yarn/berry/cache", "Yarn shared cache", "yarn cache clean --all"},
        {ManagerKind::pnpm, "Library/Caches/pnpm", "pnpm metadata cache", "pnpm store prune"},
        {ManagerKind::pnpm, ".cache/pnpm", "pnpm metadata cache", "pnpm store prune"},
        {ManagerKind::nvm, ".nvm/.cache", "nvm download cache", "nvm cache clear"},
        {ManagerKind::npm, ".cache/node/corepack", "corepack cache", "corepack cache clean"},
        {ManagerKind::npm, "Library/Caches/node-gyp", "node-gyp headers", "rm -rf -- "},
        {ManagerKind::npm, ".cache/node-gyp", "node-gyp headers", "rm -rf -- "},
        {ManagerKind::npm, "Library/Caches/ms-playwright", "Playwright browsers", "npx playwright uninstall --all"},
        {ManagerKind::npm, ".cache/ms-playwright", "Playwright browsers", "npx playwright uninstall --all"},
        {ManagerKind::npm, "Library/Caches/Cypress", "Cypress binaries", "npx cypress cache clear"},
        {ManagerKind::npm, ".cache/Cypress", "Cypress binaries", "npx cypress cache clear"},
        {ManagerKind::homebrew, "Library/Caches/Homebrew", "Homebrew download cache", "brew cleanup"},
        {ManagerKind::homebrew, ".cache/Homebrew", "Homebrew download cache", "brew cleanup"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.folder);
        Home home;
        test::makeDirs(home.home / row.folder);
        home.sizer->set(home.home / row.folder, 4096);
        const ManagerReport report = home.scan(row.kind);
        const DependencyItem* item = test::itemNamed(report, row.item);
        ASSERT_NE(item, nullptr);
        EXPECT_TRUE(item->path == home.home / row.folder && item->bytes == 4096 && item->tier == Tier::safeByDesign);
        EXPECT_TRUE(item->identity->ends_with(" Found in ~/" + row.folder + ", its default folder."))
            << *item->identity;
        if (row.command.starts_with("rm ")) { // no tool cleans it: the item says how
            EXPECT_EQ(item->reclaimCommand, "rm -rf -- " + home.home / row.folder);
            continue;
        }
        const auto win = std::find_if(report.quickWins.begin(), report.quickWins.end(),
            [&](const QuickWin& w) { return w.command == row.command; });
        ASSERT_NE(win, report.quickWins.end());
        EXPECT_EQ(win->bytes, 4096) << "sized by what it cleans";
        // Node's side caches are listed under npm, whose commands do not clean them: the item names its own.
        EXPECT_EQ(item->reclaimCommand, row.kind == ManagerKind::npm ? std::optional(row.command) : std::nullopt);
        // Emptied, or a link to a folder elsewhere: nothing to clean, no quick win (brew's cleans more).
        home.sizer->set(home.home / row.folder, 0);
        const auto emptied = home.scan(row.kind).quickWins;
        EXPECT_EQ(
            std::any_of(emptied.begin(), emptied.end(), [&](const QuickWin& w) { return w.command == row.command; }),
            row.kind == ManagerKind::homebrew);
        test::removeTree(home.home / row.folder);
        ASSERT_EQ(::symlink(home.home.path().c_str(), (home.home / row.folder).c_str()), 0);
        EXPECT_EQ(test::itemNamed(home.scan(row.kind), row.item), nullptr) << "a link is not followed";
    }
    Home both; // the macOS place wins where both are there, as the pnpm store's does
    test::makeDirs(both.home / "Library/Caches/Yarn");
    test::makeDirs(both.home / ".cache/yarn");
    EXPECT_EQ(test::itemNamed(both.scan(ManagerKind::yarn), "Yarn cache")->path, both.home / "Library/Caches/Yarn");
    Home none;
    EXPECT_FALSE(none.scan(ManagerKind::yarn).detected) << "no folder of Yarn's: not detected, nothing run";
}

TEST(Leftovers, GlobalFoldersListWhatTheirManifestsNameAndNothingElse) {
    Home home;
    const std::string yarn = home.home / ".config/yarn/global", pnpm = home.home / ".local/share/pnpm";
    test::writeFile(yarn + "/package.json", R"({"dependencies":{"semver":"7","@s/x":"1","gone":"1"}})");
    for (const char* folder : {"semver", "@s/x", "@s/y", "lru", ".bin"})
        test::writeFile(yarn + "/node_modules/" + folder + "/package.json", R"({"version":"7.6.3","bin":"cli.js"})");
    home.sizer->set(yarn + "/node_modules/semver", 100).set(yarn + "/node_modules/lru", 30);
    home.prober->set(home.home / ".yarn/bin/semver", FileTimes{500 * 86400.0, 0});
    // The version of the Yarn package installed in nvm's default Node.
    test::writeFile(home.home / ".nvm/alias/default", "v20.1.0");
    test::writeFile(home.home / ".nvm/versions/node/v20.1.0/lib/node_modules/yarn/package.json",
        R"({"name":"yarn","version":"1.22.22"})");
    const ManagerReport yarnReport = home.scan(ManagerKind::yarn);
    EXPECT_EQ(yarnReport.version, "1.22.22");
    EXPECT_EQ(test::itemNames(yarnReport), (Names{"semver", YarnAdapter::dependenciesName, "@s/x", "gone"}));
    const DependencyItem& semver = yarnReport.items[0];
    EXPECT_TRUE(semver.version == "7.6.3" && semver.reclaimCommand == "yarn global remove semver" &&
                semver.evidence == std::vector{Evidence::lastUsed(500 * 86400.0)});
    EXPECT_EQ(semver.tier, Tier::orphanCandidate) << "its command was last used long ago";

    // pnpm up to 10: one global folder whose entries link into its own .pnpm; later: one per install.
    test::writeFile(pnpm + "/global/5/package.json", R"({"dependencies":{"is-number":"7","out":"1","up":"1"}})");
    test::writeFile(pnpm + "/global/5/.pnpm/is-number@7.0.0/node_modules/is-number/package.json", "{}");
    test::makeDirs(pnpm + "/global/5/node_modules");
    const auto link = [&](const std::string& target, const std::string& name) {
        ASSERT_EQ(::symlink(target.c_str(), (pnpm + "/global/5/node_modules/" + name).c_str()), 0);
    };
    link("../.pnpm/is-number@7.0.0/node_modules/is-number", "is-number");
    link(home.home / "Cellar", "out");     // out of pnpm's folder: listed, never measured
    link("../../../../../../../..", "up"); // climbs above the root
    test::writeFile(pnpm + "/global/v11/2fc0-1/package.json", R"({"dependencies":{"semver":"7"}})");
    test::writeFile(pnpm + "/global/v11/2fc0-1/node_modules/semver/package.json", R"({"version":"7.6.3"})");
    const auto globals = PnpmAdapter::globals(pnpm, "5");
    ASSERT_EQ(globals.size(), 3u);
    EXPECT_EQ(globals[0].name + globals[1].name + globals[2].name, "is-numberoutup");
    EXPECT_EQ(globals[0].path, pnpm + "/global/5/.pnpm/is-number@7.0.0/node_modules/is-number");
    EXPECT_FALSE(globals[1].path || globals[2].path);
    EXPECT_EQ(PnpmAdapter::globals(pnpm, "v11").at(0).path, pnpm + "/global/v11/2fc0-1/node_modules/semver");
    // pnpm 10 reads global/5; what pnpm 11 or later left there no pnpm 10 command removes.
    EXPECT_TRUE(PnpmAdapter::readsGroupedGlobals("11.0.1", {"v3"}) && PnpmAdapter::readsGroupedGlobals({}, {"v11"}));
    EXPECT_FALSE(PnpmAdapter::readsGroupedGlobals("10.1.0", {"v11"}) || PnpmAdapter::readsGroupedGlobals({}, {"v10"}));
    const ManagerReport pnpmReport = home.scan(ManagerKind::pnpm);
    ASSERT_NE(test::itemNamed(pnpmReport, "is-number"), nullptr);
    EXPECT_EQ(test::itemNamed(pnpmReport, "is-number")->reclaimCommand, "pnpm remove -g is-number");
    EXPECT_EQ(test::itemNamed(pnpmReport, "semver"), nullptr);
    const DependencyItem* left = test::itemNamed(pnpmReport, "pnpm globals in global/v11");
    ASSERT_NE(left, nullptr);
    EXPECT_TRUE(left->tier == Tier::orphanCandidate && left->reclaimCommand == "rm -rf -- " + pnpm + "/global/v11" &&
                left->evidence == std::vector{Evidence::oldGlobalFolder("global/v11")});

    // A manifest larger than a manager writes names nothing (its other shapes are the bun test's).
    test::writeFile(yarn + "/package.json", R"({"dependencies":{"semver":"7"}})" + std::string(5 << 20, ' '));
    EXPECT_EQ(test::itemNamed(home.scan(ManagerKind::yarn), "semver"), nullptr);
}

TEST(Leftovers, TheStoreIsTheLayoutInUseAndEachOlderOneIsLeftBehind) {
    Home home;
    const std::string store = home.home / ".local/share/pnpm/store";
    for (const char* layout : {"v3", "v10", "v2x", "v"}) test::makeDirs(store + "/" + layout);
    ASSERT_EQ(::symlink((store + "/v3").c_str(), (store + "/v11").c_str()), 0); // a link is no layout
    home.sizer->set(store + "/v10", 700).set(store + "/v3", 300);
    EXPECT_EQ(PnpmAdapter::storeVersions(store), (Names{"v3", "v10"}));
    const ManagerReport report = home.scan(ManagerKind::pnpm);
    ASSERT_EQ(test::itemNames(report), (Names{PnpmAdapter::storeName, "pnpm store v3"}));
    EXPECT_EQ(report.items[0].path, store + "/v10");
    EXPECT_EQ(test::fields(report.items[1]),
        (test::ItemFields{"pnpm store v3", {}, store + "/v3", 300, Tier::orphanCandidate,
            {Evidence::oldStoreVersion("v3")},
            "The package store of an earlier pnpm — the pnpm you run now no longer reads it.",
            "rm -rf -- " + store + "/v3"}));
    EXPECT_TRUE(report.quickWins.size() == 1 && report.quickWins[0].bytes == 700) << "prune covers the store in use";
}

} // namespace
} // namespace kelvo
