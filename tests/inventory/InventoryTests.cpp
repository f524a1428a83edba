#include "inventory/Inventory.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <regex>

namespace kelvo {
namespace {

// Sizes in verdict texts go through the user's locale, read once: pin it before any test runs.
const bool pinnedLocale = ::setenv("LC_ALL", "C", 1) == 0;

DependencyItem item(std::string name, std::optional<std::int64_t> bytes, Tier tier = Tier::orphanCandidate) {
    DependencyItem out;
    out.id = Uuid::random();
    out.name = std::move(name);
    out.bytes = bytes;
    out.tier = tier;
    return out;
}

// Each row as a short text: the item's name, or "Node N[keep>superseded,...]" for a group.
std::vector<std::string> describe(const std::vector<InventoryRow>& rows) {
    std::vector<std::string> out;
    for (const auto& row : rows) {
        if (!row.isGroup()) {
            out.push_back(row.asItem().item.name);
            continue;
        }
        const auto& group = row.asGroup();
        std::string text = group.title + "[" + group.keep.name + ">";
        for (std::size_t i = 0; i < group.superseded.size(); ++i) {
            text += (i ? "," : "") + group.superseded[i].name;
        }
        out.push_back(text + "]");
    }
    return out;
}

using Names = std::vector<std::string>;

TEST(BuildRows, GroupsNodeVersionsByMajorNewestFirst) {
    // The newest of Node 18 stands in the middle of the input; 9 < 10 numerically, not as text.
    const std::vector<DependencyItem> items{
        item("v18.17.0", 300), item("v18.19.1", 200), item("v18.9.0", 100),
        item("v20.11.0", 500), item("v16.10.0", 10),  item("v16.9.9", 10),
    };
    const auto rows = buildRows(ManagerKind::nvm, items);
    EXPECT_EQ(describe(rows), (Names{"Node 18[v18.19.1>v18.17.0,v18.9.0]", "v20.11.0", "Node 16[v16.10.0>v16.9.9]"}));
    const auto& group = rows[0].asGroup();
    EXPECT_EQ(group.id, "nvm-node-18");
    EXPECT_EQ(group.manager, ManagerKind::nvm);
    EXPECT_EQ(group.totalBytes(), 600);
    EXPECT_EQ(group.summary(), "3 patch releases \u00b7 keep only the newest");
    EXPECT_EQ(rows[2].asGroup().summary(), "2 patch releases \u00b7 keep only the newest");
    EXPECT_EQ(rows[0].id(), "group-nvm-node-18");
    EXPECT_EQ(rows[1].asItem().manager, ManagerKind::nvm);
}

TEST(BuildRows, NeverGroupsForOtherManagers) {
    const std::vector<DependencyItem> items{item("v18.17.0", 1), item("v18.19.1", 2), item("v18.19.1", 2)};
    for (ManagerKind kind : {ManagerKind::homebrew, ManagerKind::npm, ManagerKind::pnpm, ManagerKind::bun}) {
        const auto rows = buildRows(kind, items);
        ASSERT_EQ(rows.size(), 3u) << rawValue(kind);
        for (const auto& row : rows) {
            EXPECT_FALSE(row.isGroup());
            EXPECT_EQ(row.asItem().manager, kind);
        }
        EXPECT_EQ(rows[0].asItem().item.id, items[1].id); // stable among the equal sizes
        EXPECT_EQ(rows[1].asItem().item.id, items[2].id);
    }
    EXPECT_TRUE(buildRows(ManagerKind::nvm, {}).empty());
}

TEST(BuildRows, UnparsableNamesStaySingleRowsAfterTheBuckets) {
    // All of equal size: the stable sort keeps buckets first, then ungrouped items in input order.
    const std::vector<DependencyItem> items{
        item("system", 7), item("v20.1.0", 7), item("v18.17", 7), item("v20.2.0", 7),
        item("v18.17.0-rc1", 7), item("v16.0.0", 7),
    };
    const auto rows = buildRows(ManagerKind::nvm, items);
    ASSERT_EQ(rows.size(), 5u);
    EXPECT_TRUE(rows[0].isGroup());
    EXPECT_EQ(rows[0].asGroup().keep.name, "v20.2.0");
    EXPECT_EQ(describe(rows), (Names{"Node 20[v20.2.0>v20.1.0]", "v16.0.0", "system", "v18.17", "v18.17.0-rc1"}));
}

TEST(BuildRows, LargestFirstWithUnknownSizesLast) {
    const std::vector<DependencyItem> items{
        item("unknown-a", std::nullopt), item("zero", 0), item("five-a", 5), item("ten", 10),
        item("five-b", 5), item("unknown-b", std::nullopt),
    };
    EXPECT_EQ(describe(buildRows(ManagerKind::npm, items)),
              (Names{"ten", "five-a", "five-b", "zero", "unknown-a", "unknown-b"}));

    // A group of unknown sizes totals 0 and so stands above an item of unknown size.
    const std::vector<DependencyItem> nvm{item("system", std::nullopt), item("v18.1.0", std::nullopt),
                                          item("v18.2.0", std::nullopt)};
    const auto rows = buildRows(ManagerKind::nvm, nvm);
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_TRUE(rows[0].isGroup());
    EXPECT_EQ(rows[0].sortBytes(), 0);
    EXPECT_EQ(rows[1].sortBytes(), -1);
    // Known sizes add up, unknown ones are skipped.
    const auto mixed = buildRows(ManagerKind::nvm, {item("v18.1.0", std::nullopt), item("v18.2.0", 40), item("v18.3.0", 2)});
    EXPECT_EQ(mixed.at(0).asGroup().totalBytes(), 42);
}

TEST(InventoryRow, IdentityAndTier) {
    auto keep = item("v18.2.0", 1, Tier::signalOnly);
    const auto rows = buildRows(ManagerKind::nvm, {item("v18.1.0", 1, Tier::orphanCandidate), keep, item("x", 0)});
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0].tier(), Tier::signalOnly); // the group's keep item decides
    const std::regex itemId("item-[0-9A-F]{8}-[0-9A-F]{4}-4[0-9A-F]{3}-[89AB][0-9A-F]{3}-[0-9A-F]{12}");
    EXPECT_TRUE(std::regex_match(rows[1].id(), itemId)) << rows[1].id();
    EXPECT_EQ(rows[1].id(), "item-" + rows[1].asItem().item.id.text());
    // A rescan makes new items: item rows change identity, the group keeps its own.
    const auto again = buildRows(ManagerKind::nvm, {item("v18.1.0", 1), item("v18.2.0", 1), item("x", 0)});
    EXPECT_EQ(again[0].id(), rows[0].id());
    EXPECT_NE(again[1].id(), rows[1].id());
}

TEST(Verdict, TagsDependOnTierAndManager) {
    for (ManagerKind kind : allManagerKinds) {
        EXPECT_EQ(verdictTag(Tier::safeByDesign, kind), VerdictTag::safe);
        EXPECT_EQ(verdictTag(Tier::orphanCandidate, kind), VerdictTag::likelyUnused);
        EXPECT_EQ(verdictTag(Tier::signalOnly, kind),
                  kind == ManagerKind::homebrew ? VerdictTag::dependency : VerdictTag::inUse);
    }
    EXPECT_EQ(verdictLabel(VerdictTag::likelyUnused), "LIKELY UNUSED");
    EXPECT_EQ(verdictLabel(VerdictTag::dependency), "DEPENDENCY");
    EXPECT_EQ(verdictColorName(VerdictTag::dependency), "essential");
    EXPECT_EQ(verdictColorName(VerdictTag::likelyUnused), "caution");
    EXPECT_EQ(shortLabel(ManagerKind::nvm), "node");
    EXPECT_EQ(shortLabel(ManagerKind::homebrew), "brew");
    EXPECT_EQ(displayName(ManagerKind::homebrew), "Homebrew");
}

TEST(Verdict, Sentences) {
    ASSERT_TRUE(pinnedLocale);
    auto store = item("store", 5, Tier::safeByDesign);
    EXPECT_EQ(verdictText(store, ManagerKind::pnpm, SizeUnit::decimal),
              "Prunable via `the manager` \u2014 pnpm removes only what nothing references. "
              "Kelvo never counts this as guaranteed savings.");
    store.reclaimCommand = "npm cache clean --force";
    EXPECT_EQ(verdictText(store, ManagerKind::npm, SizeUnit::decimal),
              "Prunable via `npm cache clean --force` \u2014 npm removes only what nothing references. "
              "Kelvo never counts this as guaranteed savings.");

    auto orphan = item("left-pad", 1'500'000);
    EXPECT_EQ(verdictText(orphan, ManagerKind::bun, SizeUnit::decimal),
              "Nothing depends on this \u00b7 1.5 MB. If you don't use it directly, it's safe to reclaim.");
    EXPECT_EQ(verdictText(orphan, ManagerKind::bun, SizeUnit::binary),
              "Nothing depends on this \u00b7 1.4 MB. If you don't use it directly, it's safe to reclaim.");
    orphan.bytes.reset();
    EXPECT_EQ(verdictText(orphan, ManagerKind::npm, SizeUnit::decimal),
              "Nothing depends on this \u00b7 \u2014. If you don't use it directly, it's safe to reclaim.");

    const auto used = item("openssl", 1, Tier::signalOnly);
    EXPECT_EQ(verdictText(used, ManagerKind::homebrew, SizeUnit::decimal),
              "Something installed depends on this \u2014 keep it unless you remove what needs it.");
    EXPECT_EQ(verdictText(used, ManagerKind::npm, SizeUnit::decimal), "Currently in use \u2014 nothing to do.");
    EXPECT_EQ(sizeText(std::nullopt, SizeUnit::binary), "\u2014");
    EXPECT_EQ(sizeText(0, SizeUnit::binary), formatBytes(0, SizeUnit::binary));
}

TEST(Totals, ReclaimableAndInventoried) {
    const std::vector<DependencyItem> items{
        item("a", 100, Tier::orphanCandidate), item("b", std::nullopt, Tier::orphanCandidate),
        item("c", 1000, Tier::safeByDesign), item("d", 10000, Tier::signalOnly), item("e", 7, Tier::orphanCandidate)};
    EXPECT_EQ(reclaimableBytes(items), 107);
    EXPECT_EQ(reclaimableBytes(std::vector<DependencyItem>{}), 0);

    ScanResult result;
    result.managers.push_back(ManagerReport{ManagerKind::npm, true, "10.2.4", items, {}});
    // Not detected, yet holding items: counted as reclaimable, not as inventoried.
    result.managers.push_back(ManagerReport{ManagerKind::bun, false, std::nullopt, {item("z", 3)}, {}});
    result.managers.push_back(ManagerReport::notDetected(ManagerKind::pnpm));
    EXPECT_EQ(reclaimableBytes(result), 110);
    EXPECT_EQ(inventoriedCount(result), 5);
}

TEST(Totals, SummariesCountWithTheRightNoun) {
    const std::vector<DependencyItem> none;
    const std::vector<DependencyItem> one{item("a", 1)};
    const std::vector<DependencyItem> twelve(12, item("a", 1));
    EXPECT_EQ(inventorySummary(ManagerKind::homebrew, one), "1 formula");
    EXPECT_EQ(inventorySummary(ManagerKind::homebrew, twelve), "12 formulae");
    EXPECT_EQ(inventorySummary(ManagerKind::homebrew, none), "0 formulae");
    EXPECT_EQ(inventorySummary(ManagerKind::npm, one), "1 global");
    EXPECT_EQ(inventorySummary(ManagerKind::bun, none), "0 globals");
    EXPECT_EQ(inventorySummary(ManagerKind::npm, twelve), "12 globals");
    EXPECT_EQ(inventorySummary(ManagerKind::pnpm, twelve), "Content-addressable store");
    EXPECT_EQ(inventorySummary(ManagerKind::nvm, one), "1 Node version");
    EXPECT_EQ(inventorySummary(ManagerKind::nvm, twelve), "12 Node versions");
}

} // namespace
} // namespace kelvo
