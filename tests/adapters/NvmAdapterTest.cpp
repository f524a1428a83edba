#include "adapters/NvmAdapter.h"

#include "adapters/Substitutes.h"
#include "support/TestSupport.h"
#include "system/Platform.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace kelvo {
namespace {

using test::FakeSizer;
using test::itemNamed;
using test::itemNames;

// A home with a real ~/.nvm tree; sizes come from the substitute sizer.
struct Nvm {
    test::TempDir home;
    std::string versions = home / ".nvm/versions/node";
    std::shared_ptr<FakeSizer> sizer = std::make_shared<FakeSizer>();

    Nvm& install(const std::string& name, std::optional<std::int64_t> bytes = std::nullopt) {
        test::makeDirs(versions + "/" + name);
        sizer->set(versions + "/" + name, bytes);
        return *this;
    }
    Nvm& alias(const std::string& text) {
        test::writeFile(home / ".nvm/alias/default", text);
        return *this;
    }
    NvmAdapter adapter() const { return NvmAdapter(sizer, home.path()); }
    ManagerReport scan() const { return adapter().scan(); }
};

// The name of the one item with the default's tier, or "" when there is none.
std::string defaultOf(const ManagerReport& report) {
    std::string found;
    for (const auto& item : report.items) {
        if (item.tier == Tier::signalOnly) {
            EXPECT_TRUE(found.empty()) << "two defaults";
            found = item.name;
        }
    }
    return found;
}

TEST(NvmAdapter, DetectionNeedsTheNvmDirectoryItself) {
    Nvm missing;
    test::makeDirs(missing.home / ".node/bin"); // node elsewhere does not count
    EXPECT_FALSE(missing.adapter().isInstalled());
    const ManagerReport report = missing.scan();
    EXPECT_EQ(report.kind, ManagerKind::nvm);
    EXPECT_FALSE(report.detected);
    EXPECT_TRUE(report.items.empty());

    Nvm file;
    test::writeFile(file.home / ".nvm", "export NVM_DIR=...");
    EXPECT_FALSE(file.adapter().isInstalled());
    EXPECT_FALSE(file.scan().detected);

    Nvm empty;
    test::makeDirs(empty.home / ".nvm");
    const ManagerReport bare = empty.scan();
    EXPECT_TRUE(bare.detected);
    EXPECT_FALSE(bare.version);
    EXPECT_TRUE(bare.items.empty());
    EXPECT_TRUE(bare.quickWins.empty());
}

TEST(NvmAdapter, DefaultVersionEvidenceAndSeriesOfThreeVersions) {
    Nvm nvm;
    nvm.install("v18.17.0", 100).install("v18.19.1", 300).install("v20.11.1", 200).alias("20.11.1\n");
    const ManagerReport report = nvm.scan();
    ASSERT_TRUE(report.detected);
    EXPECT_FALSE(report.version);
    EXPECT_TRUE(report.quickWins.empty());
    EXPECT_EQ(itemNames(report), (std::vector<std::string>{"v18.19.1", "v20.11.1", "v18.17.0"}));

    const DependencyItem* current = itemNamed(report, "v20.11.1");
    ASSERT_NE(current, nullptr);
    EXPECT_EQ(current->tier, Tier::signalOnly);
    EXPECT_TRUE(current->evidence.empty());
    EXPECT_FALSE(current->reclaimCommand);
    EXPECT_EQ(current->version, "v20.11.1");
    EXPECT_EQ(current->path, nvm.versions + "/v20.11.1");
    EXPECT_EQ(current->bytes, 200);
    EXPECT_FALSE(current->identity);

    const DependencyItem* newest18 = itemNamed(report, "v18.19.1");
    ASSERT_NE(newest18, nullptr);
    EXPECT_EQ(newest18->tier, Tier::orphanCandidate);
    EXPECT_EQ(newest18->evidence, std::vector<Evidence>{Evidence::notDefaultVersion("v20.11.1")});

    const DependencyItem* old18 = itemNamed(report, "v18.17.0");
    ASSERT_NE(old18, nullptr);
    EXPECT_EQ(old18->evidence, (std::vector<Evidence>{Evidence::notDefaultVersion("v20.11.1"),
                                                      Evidence::supersededPatch("v18.19.1")}));
    EXPECT_EQ(old18->reclaimCommand, "nvm uninstall v18.17.0");

    // Without an alias there is no default: only the series evidence remains.
    Nvm noAlias;
    noAlias.install("v18.17.0").install("v18.19.1");
    const ManagerReport orphans = noAlias.scan();
    EXPECT_EQ(defaultOf(orphans), "");
    EXPECT_TRUE(itemNamed(orphans, "v18.19.1")->evidence.empty());
    EXPECT_EQ(itemNamed(orphans, "v18.17.0")->evidence,
              std::vector<Evidence>{Evidence::supersededPatch("v18.19.1")});
}

TEST(NvmAdapter, AliasFormsResolveOnlyAsNvmWritesThem) {
    const std::vector<std::pair<std::string, std::string>> cases{
        {"20.11.1\n", "v20.11.1"}, {"v20.11.1", "v20.11.1"}, {"  v18.19.1 \r\n", "v18.19.1"},
        {"node", "v21.6.0"},       {"stable", "v21.6.0"},    {"current", "v21.6.0"},
        {"default", "v21.6.0"},    {"lts/*", "v20.11.1"},    {"lts", "v20.11.1"},
        {"lts/latest", "v20.11.1"}, {"lts/iron", ""},        {"20", ""},
        {"20.11", ""},             {"V20.11.1", ""},         {"system", ""},
        {"", ""},                  {"\n\n", ""},             {"v20.11.2", ""},
    };
    for (const auto& [alias, expected] : cases) {
        Nvm nvm;
        nvm.install("v20.11.1").install("v21.6.0").install("v18.19.1").alias(alias);
        const ManagerReport report = nvm.scan();
        EXPECT_EQ(defaultOf(report), expected) << "alias [" << alias << "]";
        const bool anyNotDefault = std::any_of(report.items.begin(), report.items.end(), [](const auto& item) {
            return !item.evidence.empty() && item.evidence[0].kind == Evidence::Kind::notDefaultVersion;
        });
        EXPECT_EQ(anyNotDefault, !expected.empty()) << "alias [" << alias << "]";
    }

    Nvm oddOnly;
    oddOnly.install("v21.6.0").install("v19.9.0").alias("lts/*");
    EXPECT_EQ(defaultOf(oddOnly.scan()), "");
    // A folder called just "v" is not what an empty alias names.
    Nvm bareV;
    bareV.install("v").install("v20.11.1").alias("");
    EXPECT_EQ(defaultOf(bareV.scan()), "");
}

TEST(NvmAdapter, UnreadableOrHugeAliasMeansNoDefault) {
    Nvm huge;
    huge.install("v20.11.1").install("v18.19.1");
    huge.alias("20.11.1" + std::string(1024 * 1024, ' '));
    EXPECT_EQ(defaultOf(huge.scan()), "");

    Nvm directory;
    directory.install("v20.11.1");
    test::makeDirs(directory.home / ".nvm/alias/default");
    EXPECT_EQ(defaultOf(directory.scan()), "");

    Nvm notText;
    notText.install("v20.11.1").alias("v20.11.1\xff");
    EXPECT_EQ(defaultOf(notText.scan()), "");
}

TEST(NvmAdapter, OnlyVNamesAreVersionsAndUnparsedOnesStayOutOfSeries) {
    Nvm nvm;
    nvm.install("v21.0.0", 10).install("v21.0.0-rc.1", 30).install("v20.0.0", 20);
    nvm.install("system").install("Vx").install(".DS_Store");
    const ManagerReport report = nvm.scan();
    EXPECT_EQ(itemNames(report), (std::vector<std::string>{"v21.0.0-rc.1", "v20.0.0", "v21.0.0"}));
    for (const auto& item : report.items) {
        EXPECT_EQ(item.tier, Tier::orphanCandidate);
        EXPECT_TRUE(item.evidence.empty()) << item.name; // rc neither superseded nor superseding
    }

    // With the versions directory missing the manager is still there, with nothing installed.
    Nvm noVersions;
    test::makeDirs(noVersions.home / ".nvm/alias");
    const ManagerReport empty = noVersions.scan();
    EXPECT_TRUE(empty.detected);
    EXPECT_TRUE(empty.items.empty());
}

TEST(NvmAdapter, LargestFirstWithUnmeasuredVersionsLastInListingOrder) {
    Nvm nvm;
    nvm.install("v16.0.0").install("v14.0.0").install("v12.0.0").install("v22.1.0", 5).install("v20.1.0", 7);
    const ManagerReport report = nvm.scan();
    const auto listing = listDirectory(nvm.versions);
    ASSERT_TRUE(listing);
    std::vector<std::string> unmeasuredInListing;
    for (const auto& name : *listing)
        if (name != "v22.1.0" && name != "v20.1.0")
            unmeasuredInListing.push_back(name);
    std::vector<std::string> expected{"v20.1.0", "v22.1.0"};
    expected.insert(expected.end(), unmeasuredInListing.begin(), unmeasuredInListing.end());
    EXPECT_EQ(itemNames(report), expected);
    EXPECT_EQ(nvm.sizer->calls().size(), 5u);
}

TEST(NvmAdapter, HostileFolderNamesStayOneWordAndAreMeasuredInPlace) {
    const std::vector<std::string> names{"v1 2", "v;rm -rf ~", "v$(touch pwned)", "v`id`", "v\nnext",
                                         "v\xff\xfe",  "v..",       "v'quoted'",      "v\"q\"", "v*"};
    Nvm nvm;
    for (const auto& name : names)
        nvm.install(name, 1);
    const ManagerReport report = nvm.scan();
    ASSERT_EQ(report.items.size(), names.size());
    for (const auto& item : report.items) {
        ASSERT_TRUE(item.reclaimCommand) << item.name;
        EXPECT_EQ(test::shellWords(*item.reclaimCommand), (std::vector<std::string>{"nvm", "uninstall", item.name}));
        EXPECT_EQ(item.path, nvm.versions + "/" + item.name);
    }
    std::vector<std::string> expected;
    for (const auto& name : names)
        expected.push_back(nvm.versions + "/" + name);
    std::vector<std::string> calls = nvm.sizer->calls();
    std::sort(calls.begin(), calls.end());
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(calls, expected);
}

} // namespace
} // namespace kelvo
