#include "adapters/PnpmAdapter.h"

#include "adapters/Substitutes.h"
#include "support/TestSupport.h"
#include "system/DirectorySizer.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <unistd.h>

namespace kelvo {
namespace {

using test::FakeRunner;
using test::FakeSizer;
using test::ok;
using Case = ReadOnlyCommand::Case;

struct Pnpm {
    test::TempDir home;
    std::string libraryStore = home / "Library/pnpm/store";
    std::string localStore = home / ".local/share/pnpm/store";
    std::shared_ptr<FakeRunner> runner = std::make_shared<FakeRunner>();
    std::shared_ptr<FakeSizer> sizer = std::make_shared<FakeSizer>();

    PnpmAdapter adapter() const { return PnpmAdapter(runner, sizer, home.path()); }
    ManagerReport scan() const { return adapter().scan(); }
};

void expectPruneQuickWin(const ManagerReport& report) {
    ASSERT_EQ(report.quickWins.size(), 1u);
    EXPECT_EQ(report.quickWins[0].title, "Prune unreferenced packages");
    EXPECT_EQ(report.quickWins[0].command, "pnpm store prune");
    EXPECT_EQ(report.quickWins[0].detail, "Removes only packages no project references. pnpm decides at run time.");
}

TEST(PnpmAdapter, NeitherCommandNorStoreMeansNotDetectedWhateverTheFailure) {
    for (const CommandResult& failure : {test::toolNotFound(), test::failed(1, "boom"), test::timedOut()}) {
        Pnpm pnpm;
        pnpm.runner->on(Case::pnpmVersion, failure);
        const ManagerReport report = pnpm.scan();
        EXPECT_EQ(report.kind, ManagerKind::pnpm);
        EXPECT_FALSE(report.detected);
        EXPECT_FALSE(report.version);
        EXPECT_TRUE(report.items.empty());
        EXPECT_TRUE(report.quickWins.empty());
        EXPECT_FALSE(pnpm.adapter().isInstalled());
        EXPECT_TRUE(pnpm.sizer->calls().empty());
    }
}

TEST(PnpmAdapter, TheLibraryStoreWinsAndIsTheOnlyItem) {
    Pnpm pnpm;
    test::makeDirs(pnpm.libraryStore);
    test::makeDirs(pnpm.localStore);
    pnpm.runner->on(Case::pnpmVersion, ok("9.1.0"));
    pnpm.sizer->set(pnpm.libraryStore, 4096).set(pnpm.localStore, 999999);

    const ManagerReport report = pnpm.scan();
    EXPECT_TRUE(report.detected);
    EXPECT_EQ(report.version, "9.1.0");
    ASSERT_EQ(report.items.size(), 1u);
    const DependencyItem& store = report.items[0];
    EXPECT_EQ(store.name, "Content-addressable store");
    EXPECT_FALSE(store.version);
    EXPECT_EQ(store.path, pnpm.libraryStore);
    EXPECT_EQ(store.bytes, 4096);
    EXPECT_EQ(store.tier, Tier::safeByDesign);
    EXPECT_EQ(store.evidence, std::vector<Evidence>{Evidence::managerDefinesPrunable()});
    EXPECT_EQ(store.identity, "pnpm's shared package store — deduplicated across all your projects.");
    EXPECT_FALSE(store.reclaimCommand);
    expectPruneQuickWin(report);
    EXPECT_EQ(pnpm.sizer->calls(), std::vector<std::string>{pnpm.libraryStore});
    EXPECT_EQ(pnpm.runner->callKinds(), std::vector<Case>{Case::pnpmVersion});
}

TEST(PnpmAdapter, AStoreAloneIsEnoughAndAnyKindOfFileCounts) {
    Pnpm pnpm; // the command fails: tool not found
    test::writeFile(pnpm.localStore, "a plain file where the store would be");
    pnpm.sizer->set(pnpm.localStore, std::nullopt);

    const ManagerReport report = pnpm.scan();
    EXPECT_TRUE(report.detected);
    EXPECT_FALSE(report.version);
    ASSERT_EQ(report.items.size(), 1u);
    EXPECT_EQ(report.items[0].path, pnpm.localStore);
    EXPECT_FALSE(report.items[0].bytes); // could not be measured: no size, still listed
    expectPruneQuickWin(report);
    EXPECT_TRUE(pnpm.adapter().isInstalled());

    // A dangling link is nothing that exists.
    Pnpm dangling;
    test::makeDirs(dangling.home / "Library/pnpm");
    ASSERT_EQ(::symlink((dangling.home / "gone").c_str(), dangling.libraryStore.c_str()), 0);
    EXPECT_FALSE(dangling.scan().detected);
}

TEST(PnpmAdapter, AnEmptyVersionStaysAnEmptyText) {
    Pnpm pnpm;
    pnpm.runner->on(Case::pnpmVersion, ok(""));
    const ManagerReport report = pnpm.scan();
    EXPECT_TRUE(report.detected);
    ASSERT_TRUE(report.version);
    EXPECT_EQ(*report.version, "");
    EXPECT_TRUE(report.items.empty());
    expectPruneQuickWin(report);
}

TEST(PnpmAdapter, QuickWinKeepsItsIdentityWhileTheStoreItemGetsANewOne) {
    Pnpm pnpm;
    test::makeDirs(pnpm.localStore);
    Pnpm other; // another adapter over another home
    other.runner->on(Case::pnpmVersion, ok("8.15.0"));
    const ManagerReport first = pnpm.scan();
    const ManagerReport second = other.scan();
    const ManagerReport third = pnpm.scan();
    ASSERT_EQ(first.quickWins.size(), 1u);
    ASSERT_EQ(second.quickWins.size(), 1u);
    ASSERT_EQ(third.quickWins.size(), 1u);
    EXPECT_EQ(first.quickWins[0].id, second.quickWins[0].id);
    EXPECT_EQ(first.quickWins[0].id, third.quickWins[0].id);
    EXPECT_EQ(first.quickWins[0].id, PnpmAdapter::quickWins()[0].id);
    ASSERT_EQ(first.items.size(), 1u);
    ASSERT_EQ(third.items.size(), 1u);
    EXPECT_NE(first.items[0].id, third.items[0].id);
}

// Services that throw must not take the scan down with them.
struct ThrowingRunner final : ReadOnlyCommandRunning {
    CommandResult run(const ReadOnlyCommand&) const override { throw std::runtime_error("spawn exploded"); }
};
struct ThrowingSizer final : DirectorySizing {
    std::optional<std::int64_t> size(const std::string&) const override { throw std::bad_alloc(); }
};

TEST(PnpmAdapter, ThrowingServicesCountAsFailures) {
    test::TempDir home;
    test::makeDirs(home / ".local/share/pnpm/store");
    const PnpmAdapter adapter(std::make_shared<ThrowingRunner>(), std::make_shared<ThrowingSizer>(), home.path());
    const ManagerReport report = adapter.scan();
    EXPECT_TRUE(report.detected);
    EXPECT_FALSE(report.version);
    ASSERT_EQ(report.items.size(), 1u);
    EXPECT_FALSE(report.items[0].bytes);
    EXPECT_TRUE(adapter.isInstalled());
}

TEST(PnpmAdapter, HardLinkedStoreFilesAreCountedOnce) {
    Pnpm pnpm;
    const std::string files = pnpm.localStore + "/v10/files/ab";
    test::makeDirs(files);
    test::writeFile(files + "/content", std::string(256 * 1024, 'x'));
    ASSERT_EQ(::link((files + "/content").c_str(), (files + "/content-exec").c_str()), 0);
    // A project links into the store; the project is outside it and never visited.
    test::makeDirs(pnpm.home / "project/node_modules");
    ASSERT_EQ(::link((files + "/content").c_str(), (pnpm.home / "project/node_modules/content").c_str()), 0);

    pnpm.runner->on(Case::pnpmVersion, ok("9.1.0"));
    const PnpmAdapter adapter(pnpm.runner, std::make_shared<FileManagerDirectorySizer>(), pnpm.home.path());
    const ManagerReport report = adapter.scan();
    ASSERT_EQ(report.items.size(), 1u);
    ASSERT_TRUE(report.items[0].bytes);
    EXPECT_EQ(report.items[0].bytes, test::duBytes(pnpm.localStore));
    // Counted twice it would exceed two copies of the content.
    EXPECT_LT(*report.items[0].bytes, 2 * 256 * 1024);
    EXPECT_GE(*report.items[0].bytes, 256 * 1024);
}

} // namespace
} // namespace kelvo
