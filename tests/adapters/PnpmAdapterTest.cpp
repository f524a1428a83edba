#include "adapters/PnpmAdapter.h"

#include "adapters/Substitutes.h"

#include <gtest/gtest.h>

#include <unistd.h>

namespace kelvo {
namespace {

using Case = ReadOnlyCommand::Case;

struct Pnpm : test::Services {
    test::TempDir home;
    std::string libraryStore = home / "Library/pnpm/store";
    std::string localStore = home / ".local/share/pnpm/store";

    PnpmAdapter adapter() const { return PnpmAdapter(runner, sizer, prober, kb, home.path()); }
    ManagerReport scan() const { return adapter().scan(); }
    bool installed() const { return adapter().isInstalled(); }
};

TEST(PnpmAdapter, DetectedByItsCommandOrByAStoreOfAnyKindAndTheLibraryStoreWins) {
    for (const auto& failure : {test::toolNotFound(), test::failed(), test::failed(CommandError::Kind::timedOut)}) {
        Pnpm none;
        none.runner->on(Case::pnpmVersion, failure);
        const ManagerReport report = none.scan();
        EXPECT_EQ(report.kind, ManagerKind::pnpm);
        EXPECT_FALSE(report.detected || report.version || !report.items.empty() || !report.quickWins.empty());
        EXPECT_FALSE(none.installed());
    }
    Pnpm emptyVersion; // an empty version is a text, not an absence
    emptyVersion.runner->on(Case::pnpmVersion, test::ok(""));
    const ManagerReport versionOnly = emptyVersion.scan();
    EXPECT_TRUE(versionOnly.detected && versionOnly.version == "" && versionOnly.items.empty());
    EXPECT_TRUE(versionOnly.quickWins.empty()) << "nothing to prune";

    Pnpm storeOnly; // no command; a plain file where the store would be still counts
    test::writeFile(storeOnly.localStore, "x");
    const ManagerReport fromStore = storeOnly.scan();
    EXPECT_TRUE(fromStore.detected && storeOnly.installed() && !fromStore.version);
    EXPECT_EQ(fromStore.quickWins.size(), 1u);
    ASSERT_EQ(fromStore.items.size(), 1u);
    EXPECT_EQ(fromStore.items[0].path, storeOnly.localStore);

    Pnpm dangling; // a link to nothing is nothing
    test::makeDirs(dangling.home / "Library/pnpm");
    ASSERT_EQ(::symlink((dangling.home / "gone").c_str(), dangling.libraryStore.c_str()), 0);
    EXPECT_FALSE(dangling.scan().detected);

    Pnpm pnpm; // with both stores, the Library one wins and is the only item

    test::makeDirs(pnpm.libraryStore);
    test::makeDirs(pnpm.localStore);
    pnpm.runner->on(Case::pnpmVersion, test::ok("9.1.0"));
    pnpm.sizer->set(pnpm.libraryStore, 4096).set(pnpm.localStore, 999999);
    const ManagerReport report = pnpm.scan();
    EXPECT_EQ(report.version, "9.1.0");
    ASSERT_EQ(report.items.size(), 1u);
    EXPECT_EQ(test::fields(report.items[0]),
        (test::ItemFields{"Content-addressable store", {}, pnpm.libraryStore, 4096, Tier::safeByDesign,
            {Evidence::managerDefinesPrunable()},
            "pnpm's shared package store — deduplicated across all your projects.", {}}));
    EXPECT_EQ(pnpm.sizer->calls(), std::vector<std::string>{pnpm.libraryStore});
}

} // namespace
} // namespace kelvo
