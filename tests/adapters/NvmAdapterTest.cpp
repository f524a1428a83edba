#include "adapters/NvmAdapter.h"

#include "adapters/Substitutes.h"
#include "support/TestSupport.h"

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
    ManagerReport scan() const { return NvmAdapter(sizer, home.path()).scan(); }
};

// The one item with the default's tier, or "" when there is none.
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
    EXPECT_FALSE(missing.scan().detected);
    EXPECT_FALSE(NvmAdapter(missing.sizer, missing.home.path()).isInstalled());

    Nvm file;
    test::writeFile(file.home / ".nvm", "export NVM_DIR=...");
    EXPECT_FALSE(file.scan().detected);

    Nvm bare; // no versions directory: present, with nothing installed
    test::makeDirs(bare.home / ".nvm");
    const ManagerReport report = bare.scan();
    EXPECT_EQ(report.kind, ManagerKind::nvm);
    EXPECT_TRUE(report.detected);
    EXPECT_FALSE(report.version);
    EXPECT_TRUE(report.items.empty() && report.quickWins.empty());
}

TEST(NvmAdapter, DefaultVersionEvidenceAndSeriesOfThreeVersions) {
    Nvm nvm;
    nvm.install("v18.17.0", 100).install("v18.19.1", 300).install("v20.11.1", 200).alias("20.11.1\n");
    const ManagerReport report = nvm.scan();
    EXPECT_FALSE(report.version);
    EXPECT_EQ(itemNames(report), (std::vector<std::string>{"v18.19.1", "v20.11.1", "v18.17.0"}));

    const DependencyItem* current = itemNamed(report, "v20.11.1");
    EXPECT_EQ(current->tier, Tier::signalOnly);
    EXPECT_TRUE(current->evidence.empty());
    EXPECT_FALSE(current->reclaimCommand);
    EXPECT_EQ(current->version, "v20.11.1");
    EXPECT_EQ(current->path, nvm.versions + "/v20.11.1");
    EXPECT_EQ(current->bytes, 200);

    EXPECT_EQ(itemNamed(report, "v18.19.1")->tier, Tier::orphanCandidate);
    EXPECT_EQ(itemNamed(report, "v18.19.1")->evidence, std::vector<Evidence>{Evidence::notDefaultVersion("v20.11.1")});
    const DependencyItem* old = itemNamed(report, "v18.17.0");
    EXPECT_EQ(old->evidence, (std::vector<Evidence>{Evidence::notDefaultVersion("v20.11.1"),
                                                    Evidence::supersededPatch("v18.19.1")}));
    EXPECT_EQ(old->reclaimCommand, "nvm uninstall v18.17.0");

    nvm.alias("lts/iron"); // no default: only the series evidence remains
    EXPECT_EQ(itemNamed(nvm.scan(), "v18.17.0")->evidence, std::vector<Evidence>{Evidence::supersededPatch("v18.19.1")});
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
    Nvm nvm;
    nvm.install("v20.11.1").install("v21.6.0").install("v18.19.1");
    for (const auto& [alias, expected] : cases) {
        const ManagerReport report = nvm.alias(alias).scan();
        EXPECT_EQ(defaultOf(report), expected) << "alias [" << alias << "]";
        const bool anyNotDefault = std::any_of(report.items.begin(), report.items.end(), [](const auto& item) {
            return !item.evidence.empty() && item.evidence[0].kind == Evidence::Kind::notDefaultVersion;
        });
        EXPECT_EQ(anyNotDefault, !expected.empty()) << "alias [" << alias << "]";
    }

    Nvm oddOnly;
    EXPECT_EQ(defaultOf(oddOnly.install("v21.6.0").install("v19.9.0").alias("lts/*").scan()), "");
    Nvm bareV; // a folder called just "v" is not what an empty alias names
    EXPECT_EQ(defaultOf(bareV.install("v").install("v20.11.1").alias("").scan()), "");
}

TEST(NvmAdapter, UnreadableHugeOrNonTextAliasMeansNoDefault) {
    Nvm nvm;
    nvm.install("v20.11.1").install("v18.19.1");
    EXPECT_EQ(defaultOf(nvm.alias("20.11.1" + std::string(1024 * 1024, ' ')).scan()), "");
    EXPECT_EQ(defaultOf(nvm.alias("v20.11.1\xff").scan()), "");
    test::removeTree(nvm.home / ".nvm/alias/default");
    test::makeDirs(nvm.home / ".nvm/alias/default");
    EXPECT_EQ(defaultOf(nvm.scan()), "");
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
}

TEST(NvmAdapter, HostileFolderNamesStayOneWordAndAreMeasuredInPlace) {
    const std::vector<std::string> names{"v1 2", "v;rm -rf ~", "v$(touch pwned)", "v`id`", "v\nnext",
                                         "v\xff\xfe",  "v..",       "v'quoted'",      "v\"q\"", "v*"};
    Nvm nvm;
    std::vector<std::string> expected;
    for (const auto& name : names) {
        nvm.install(name, 1);
        expected.push_back(nvm.versions + "/" + name);
    }
    const ManagerReport report = nvm.scan();
    ASSERT_EQ(report.items.size(), names.size());
    for (const auto& item : report.items) {
        ASSERT_TRUE(item.reclaimCommand) << item.name;
        EXPECT_EQ(test::shellWords(*item.reclaimCommand), (std::vector<std::string>{"nvm", "uninstall", item.name}));
    }
    std::vector<std::string> calls = nvm.sizer->calls();
    std::sort(calls.begin(), calls.end());
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(calls, expected);
}

} // namespace
} // namespace kelvo
