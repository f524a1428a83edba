#include "adapters/PnpmAdapter.h"

#include "adapters/Substitutes.h"
#include "support/TestSupport.h"

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
};

bool offersPrune(const ManagerReport& report) {
    return report.quickWins.size() == 1 && report.quickWins[0].title == "Prune unreferenced packages" &&
           report.quickWins[0].command == "pnpm store prune" &&
           report.quickWins[0].detail == "Removes only packages no project references. pnpm decides at run time.";
}

TEST(PnpmAdapter, DetectedByItsCommandOrByAStoreOfAnyKind) {
    for (const CommandResult& failure : {test::toolNotFound(), test::failed(1, "boom"), test::timedOut()}) {
        Pnpm none;
        none.runner->on(Case::pnpmVersion, failure);
        const ManagerReport report = none.adapter().scan();
        EXPECT_EQ(report.kind, ManagerKind::pnpm);
        EXPECT_FALSE(report.detected || report.version || !report.items.empty() || !report.quickWins.empty());
        EXPECT_FALSE(none.adapter().isInstalled());
    }

    Pnpm emptyVersion; // an empty version is a text, not an absence
    emptyVersion.runner->on(Case::pnpmVersion, ok(""));
    const ManagerReport versionOnly = emptyVersion.adapter().scan();
    EXPECT_TRUE(versionOnly.detected);
    EXPECT_EQ(versionOnly.version, std::optional<std::string>(""));
    EXPECT_TRUE(versionOnly.items.empty());
    EXPECT_TRUE(offersPrune(versionOnly));

    Pnpm storeOnly; // no command; a plain file where the store would be still counts
    test::writeFile(storeOnly.localStore, "x");
    const ManagerReport fromStore = storeOnly.adapter().scan();
    EXPECT_TRUE(fromStore.detected);
    EXPECT_FALSE(fromStore.version);
    ASSERT_EQ(fromStore.items.size(), 1u);
    EXPECT_EQ(fromStore.items[0].path, storeOnly.localStore);
    EXPECT_FALSE(fromStore.items[0].bytes);
    EXPECT_TRUE(offersPrune(fromStore));
    EXPECT_TRUE(storeOnly.adapter().isInstalled());

    Pnpm dangling; // a link to nothing is nothing
    test::makeDirs(dangling.home / "Library/pnpm");
    ASSERT_EQ(::symlink((dangling.home / "gone").c_str(), dangling.libraryStore.c_str()), 0);
    EXPECT_FALSE(dangling.adapter().scan().detected);
}

TEST(PnpmAdapter, TheLibraryStoreWinsAndIsTheOnlyItem) {
    Pnpm pnpm;
    test::makeDirs(pnpm.libraryStore);
    test::makeDirs(pnpm.localStore);
    pnpm.runner->on(Case::pnpmVersion, ok("9.1.0"));
    pnpm.sizer->set(pnpm.libraryStore, 4096).set(pnpm.localStore, 999999);

    const ManagerReport report = pnpm.adapter().scan();
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
    EXPECT_TRUE(offersPrune(report));
    EXPECT_EQ(pnpm.sizer->calls(), std::vector<std::string>{pnpm.libraryStore});

    // The quick win is made once per process; the item is new on every scan.
    Pnpm other;
    other.runner->on(Case::pnpmVersion, ok("8.15.0"));
    const ManagerReport again = pnpm.adapter().scan();
    EXPECT_EQ(report.quickWins[0].id, other.adapter().scan().quickWins.at(0).id);
    EXPECT_EQ(report.quickWins[0].id, again.quickWins.at(0).id);
    EXPECT_NE(report.items[0].id, again.items.at(0).id);
}

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
}

TEST(PnpmAdapter, HardLinkedStoreFilesAreCountedOnce) {
    Pnpm pnpm;
    const std::string files = pnpm.localStore + "/v10/files/ab";
    test::makeDirs(files);
    test::makeDirs(pnpm.home / "project");
    test::writeFile(files + "/content", std::string(256 * 1024, 'x'));
    // One more link inside the store, one from a project outside it that is never visited.
    ASSERT_EQ(::link((files + "/content").c_str(), (files + "/content-exec").c_str()), 0);
    ASSERT_EQ(::link((files + "/content").c_str(), (pnpm.home / "project/content").c_str()), 0);

    const PnpmAdapter adapter(pnpm.runner, std::make_shared<FileManagerDirectorySizer>(), pnpm.home.path());
    const ManagerReport report = adapter.scan();
    ASSERT_EQ(report.items.size(), 1u);
    ASSERT_TRUE(report.items[0].bytes);
    EXPECT_EQ(report.items[0].bytes, test::duBytes(pnpm.localStore));
    EXPECT_LT(*report.items[0].bytes, 2 * 256 * 1024);
}

} // namespace
} // namespace kelvo
