#include "adapters/NvmAdapter.h"

#include "adapters/Substitutes.h"

#include <gtest/gtest.h>

#include <set>

#include <unistd.h>

namespace kelvo {
namespace {

using test::itemNamed;
using test::itemNames;
using Names = std::vector<std::string>;

// A home with a real ~/.nvm tree; sizes come from the substitute sizer.
struct Nvm {
    test::TempDir home;
    std::string versions = home / ".nvm/versions/node";
    std::shared_ptr<test::FakeSizer> sizer = std::make_shared<test::FakeSizer>();

    Nvm& install(const std::string& name, std::optional<std::int64_t> bytes = std::nullopt) {
        test::makeDirs(versions + "/" + name);
        sizer->set(versions + "/" + name, bytes);
        return *this;
    }
    Nvm& alias(const std::string& text) {
        test::writeFile(home / ".nvm/alias/default", text);
        return *this;
    }
    ManagerReport scan() const { return NvmAdapter(sizer, home.path()).scan(); }
};

// The one item with the default's tier, or "" when there is none; every other item names that
// default in its evidence exactly when there is one.
std::string defaultOf(const ManagerReport& report) {
    std::string found;
    for (const auto& item : report.items)
        if (item.tier == Tier::signalOnly) {
            EXPECT_TRUE(found.empty()) << "two defaults";
            found = item.name;
        }
    for (const auto& item : report.items) {
        const bool namesDefault = !item.evidence.empty() && item.evidence[0].kind == Evidence::Kind::notDefaultVersion;
        EXPECT_TRUE(item.name == found || namesDefault == !found.empty()) << item.name;
    }
    return found;
}

TEST(NvmAdapter, DetectionNeedsTheNvmDirectoryItself) {
    Nvm file, bare;
    test::writeFile(file.home / ".nvm", "export NVM_DIR=..."); // a file is not the folder
    EXPECT_FALSE(file.scan().detected || NvmAdapter(file.sizer, file.home.path()).isInstalled());
    test::makeDirs(bare.home / ".nvm"); // no versions directory: present, with nothing installed
    const ManagerReport report = bare.scan();
    EXPECT_TRUE(report.kind == ManagerKind::nvm && report.detected && !report.version);
    EXPECT_TRUE(report.items.empty() && report.quickWins.empty());
}

TEST(NvmAdapter, DefaultVersionEvidenceAndSeriesOfThreeVersions) {
    Nvm nvm;
    nvm.install("v18.17.0", 100).install("v18.19.1", 300).install("v20.11.1", 200).alias("20.11.1\n");
    const ManagerReport report = nvm.scan();
    EXPECT_FALSE(report.version);
    EXPECT_EQ(itemNames(report), (Names{"v18.19.1", "v20.11.1", "v18.17.0"}));
    using F = test::ItemFields;
    EXPECT_EQ(test::fields(*itemNamed(report, "v20.11.1")),
        (F{"v20.11.1", "v20.11.1", nvm.versions + "/v20.11.1", 200, Tier::signalOnly, {}, {}, {}}));
    EXPECT_EQ(test::fields(*itemNamed(report, "v18.19.1")),
        (F{"v18.19.1", "v18.19.1", nvm.versions + "/v18.19.1", 300, Tier::orphanCandidate,
            {Evidence::notDefaultVersion("v20.11.1")}, {}, "nvm uninstall v18.19.1"}));
    EXPECT_EQ(itemNamed(report, "v18.17.0")->evidence,
        (std::vector<Evidence>{Evidence::notDefaultVersion("v20.11.1"), Evidence::supersededPatch("v18.19.1")}));
    nvm.alias("lts/iron"); // no default: only the series evidence remains
    EXPECT_EQ(
        itemNamed(nvm.scan(), "v18.17.0")->evidence, std::vector<Evidence>{Evidence::supersededPatch("v18.19.1")});
}

// The forms themselves are resolveNodeAlias's (model tests); here: which files are alias files.
TEST(NvmAdapter, TheDefaultFollowsAliasFilesInsideTheAliasFolderOnly) {
    Nvm nvm;
    nvm.install("v20.11.1").install("v20.18.1").install("v21.6.0").install("v18.19.1");
    test::writeFile(nvm.home / ".nvm/alias/lts/*", "lts/iron\n");
    test::writeFile(nvm.home / ".nvm/alias/lts/iron", "v20.11.1\n");
    test::writeFile(nvm.home / ".nvm/elsewhere", "v18.19.1");
    test::writeFile(nvm.home / "outside/lts/x", "v18.19.1");
    const std::vector<std::pair<std::string, std::string>> cases{{"lts/*", "v20.11.1"}, {"lts/iron", "v20.11.1"},
        {"20", "v20.18.1"}, {"../elsewhere", ""}, {"default", "v21.6.0"}, {"lts/x", ""},
        // Oversized or not UTF-8: read as no alias at all.
        {"20.11.1" + std::string(1024 * 1024, ' '), ""}, {"v20.11.1\xff", ""}};
    for (const auto& [alias, expected] : cases)
        EXPECT_EQ(defaultOf(nvm.alias(alias).scan()), expected) << "alias [" << alias.substr(0, 20) << "]";
    // An alias folder that is a link leads elsewhere: not followed.
    test::removeTree(nvm.home / ".nvm/alias/lts");
    ASSERT_EQ(::symlink((nvm.home / "outside/lts").c_str(), (nvm.home / ".nvm/alias/lts").c_str()), 0);
    EXPECT_EQ(defaultOf(nvm.alias("lts/x").scan()), "");
    test::removeTree(nvm.home / ".nvm/alias/default");
    test::makeDirs(nvm.home / ".nvm/alias/default"); // unreadable as a file
    EXPECT_EQ(defaultOf(nvm.scan()), "");
    EXPECT_EQ(NvmAdapter::defaultNpm(nvm.home.path()), std::nullopt);
    test::removeTree(nvm.home / ".nvm/alias/default");
    nvm.alias("20");
    EXPECT_EQ(NvmAdapter::defaultNpm(nvm.home.path()), nvm.versions + "/v20.18.1/bin/npm");
}

// What a project's version file names is kept, resolved as nvm resolves it; anything else pins nothing.
TEST(NvmAdapter, VersionsProjectsPinAreKeptAsNvmResolvesThePin) {
    Nvm nvm;
    nvm.install("v18.17.0").install("v18.19.1").install("v20.11.1").install("v20.18.1").install("v22.1.0").alias("22");
    test::writeFile(nvm.home / ".nvm/alias/lts/iron", "v20.11.1\n");
    test::writeFile(nvm.home / "outside", "v18.17.0");
    const NvmAdapter adapter(nvm.sizer, nvm.home.path());
    const auto kept = [&](const std::vector<ProjectPin>& pins) {
        ManagerReport report = nvm.scan();
        adapter.keepPinned(report, pins);
        std::set<std::string> names;
        for (const auto& item : report.items)
            if (item.tier == Tier::signalOnly) names.insert(item.name);
        return names;
    };
    using Kept = std::set<std::string>;
    const std::vector<std::pair<ProjectPin, Kept>> cases{
        {{".nvmrc", "/w", "# team Node\n \t\n  lts/iron  \n"}, {"v20.11.1"}}, {{".nvmrc", "/w", "18"}, {"v18.19.1"}},
        {{".node-version", "/w", "18.17.0\r\n"}, {"v18.17.0"}},
        {{".nvmrc", "/w", "v20.18.1 # pinned\nv18.17.0"}, {"v20.18.1"}}, {{".nvmrc", "/w", "node"}, {}},
        {{".nvmrc", "/w", "../outside"}, {}}, {{".nvmrc", "/w", "v16.0.0"}, {}}, {{".nvmrc", "/w", ""}, {}},
        {{".python-version", "/w", "v18.17.0"}, {}}, {{".nvmrc", "/w", "v18.17.0\nv20.11.1"}, {"v18.17.0"}}};
    for (const auto& [pin, expected] : cases) {
        Kept all = expected;
        all.insert("v22.1.0"); // the default, and "node"'s newest
        EXPECT_EQ(kept({pin}), all) << pin.text;
    }
    // Kept without a command, the pin said first and once for each project.
    ManagerReport report = nvm.scan();
    adapter.keepPinned(report, {{".nvmrc", nvm.home / "work/api", "20.18"}, {".nvmrc", "/srv/web", "v20.18.1"},
                                   {".node-version", nvm.home / "work/api", "20"}});
    const auto& pinned = *itemNamed(report, "v20.18.1");
    EXPECT_EQ(pinned.evidence, (std::vector<Evidence>{Evidence::pinnedByProject("~/work/api"),
                                   Evidence::pinnedByProject("/srv/web"), Evidence::notDefaultVersion("v22.1.0")}));
    EXPECT_TRUE(pinned.tier == Tier::signalOnly && !pinned.reclaimCommand);
}

TEST(NvmAdapter, OnlyVNamesAreVersionsAndUnparsedOnesStayOutOfSeries) {
    Nvm nvm;
    nvm.install("v21.0.0", 10).install("v21.0.0-rc.1", 30).install("v20.0.0", 20);
    nvm.install("system").install("Vx").install(".DS_Store");
    const ManagerReport report = nvm.scan();
    EXPECT_EQ(itemNames(report), (Names{"v21.0.0-rc.1", "v20.0.0", "v21.0.0"}));
    for (const auto& item : report.items) {
        EXPECT_EQ(item.tier, Tier::orphanCandidate);
        EXPECT_TRUE(item.evidence.empty()) << item.name; // rc neither superseded nor superseding
    }
}

} // namespace
} // namespace kelvo
