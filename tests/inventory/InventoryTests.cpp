#include "inventory/Inventory.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace kelvo {
namespace {

// Sizes in verdict texts go through the user's locale, read once: pin it before any test runs.
const bool pinnedLocale = ::setenv("LC_ALL", "C", 1) == 0;

DependencyItem item(std::string name, std::optional<std::int64_t> bytes, Tier tier = Tier::orphanCandidate) {
    return DependencyItem{Uuid::random(), std::move(name), {}, {}, bytes, tier, {}, {}, {}};
}

// The rows as one text: item names, groups as "Node N[keep>superseded,...]=total".
std::string describe(const std::vector<InventoryRow>& rows) {
    std::string out;
    for (const auto& row : rows) {
        if (!row.isGroup()) {
            out += row.asItem().item.name + " ";
            continue;
        }
        const auto& group = row.asGroup();
        out += group.title + "[" + group.keep.name + ">";
        for (const auto& old : group.superseded) out += old.name + (&old == &group.superseded.back() ? "" : ",");
        out += "]=" + std::to_string(group.totalBytes()) + " ";
    }
    return out;
}

TEST(BuildRows, GroupingOrderAndUnknownSizes) {
    const std::optional<std::int64_t> unknown;
    struct Case {
        ManagerKind kind;
        std::vector<DependencyItem> items;
        std::string rows;
    };
    const std::vector<Case> cases{
        // The newest of Node 18 stands in the middle; 9 < 10 numerically, not as text.
        {ManagerKind::nvm,
         {item("v18.17.0", 300), item("v18.19.1", 200), item("v18.9.0", 100), item("v20.11.0", 500),
          item("v16.10.0", 10), item("v16.9.9", 10)},
         "Node 18[v18.19.1>v18.17.0,v18.9.0]=600 v20.11.0 Node 16[v16.10.0>v16.9.9]=20 "},
        // Equal sizes: buckets in order of first appearance, then unparsable names as single rows, stable.
        {ManagerKind::nvm,
         {item("system", 7), item("v20.1.0", 7), item("v18.17", 7), item("v20.2.0", 7), item("v18.17.0-rc1", 7),
          item("v16.0.0", 7)},
         "Node 20[v20.2.0>v20.1.0]=14 v16.0.0 system v18.17 v18.17.0-rc1 "},
        // A group of unknown sizes totals 0 and stands above an unknown item; known sizes add up.
        {ManagerKind::nvm, {item("system", unknown), item("v18.1.0", unknown), item("v18.2.0", unknown)},
         "Node 18[v18.2.0>v18.1.0]=0 system "},
        {ManagerKind::nvm, {item("v18.1.0", unknown), item("v18.2.0", 40), item("v18.3.0", 2)},
         "Node 18[v18.3.0>v18.2.0,v18.1.0]=42 "},
        // Largest first, stable among equals, unknown sizes after 0-byte ones; never grouped outside nvm.
        {ManagerKind::npm,
         {item("unknown-a", unknown), item("zero", 0), item("five-a", 5), item("ten", 10), item("five-b", 5),
          item("unknown-b", unknown)},
         "ten five-a five-b zero unknown-a unknown-b "},
        {ManagerKind::homebrew, {item("v18.17.0", 1), item("v18.19.1", 2)}, "v18.19.1 v18.17.0 "},
        {ManagerKind::bun, {item("v18.17.0", 1), item("v18.19.1", 1)}, "v18.17.0 v18.19.1 "},
        {ManagerKind::nvm, {}, ""},
    };
    for (const auto& [kind, items, expected] : cases) {
        SCOPED_TRACE(expected);
        const auto rows = buildRows(kind, items);
        EXPECT_EQ(describe(rows), expected);
        for (const auto& row : rows) {
            EXPECT_EQ(row.isGroup() ? row.asGroup().manager : row.asItem().manager, kind);
        }
    }
    // Stable also beyond the size where a sort switches from insertion sort to partitioning.
    std::vector<DependencyItem> equal;
    std::string inOrder;
    for (int i = 0; i < 40; ++i) {
        equal.push_back(item(std::to_string(i), 1));
        inOrder += std::to_string(i) + " ";
    }
    EXPECT_EQ(describe(buildRows(ManagerKind::bun, equal)), inOrder);
}

TEST(BuildRows, RowIdentityTierAndGroupSummary) {
    const auto rows = buildRows(ManagerKind::nvm, {item("v18.1.0", 1), item("v18.2.0", 1, Tier::signalOnly),
                                                   item("v18.0.0", 1), item("x", 0)});
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0].tier(), Tier::signalOnly); // the group's keep item decides
    EXPECT_EQ(rows[0].asGroup().summary(), "3 patch releases \u00b7 keep only the newest");
    EXPECT_EQ(rows[0].id(), "group-nvm-node-18");
    EXPECT_EQ(rows[1].id(), "item-" + rows[1].asItem().item.id.text());
    // A rescan makes new items: item rows change identity, the group keeps its own.
    const auto again = buildRows(ManagerKind::nvm, {item("v18.1.0", 1), item("v18.2.0", 1), item("x", 0)});
    EXPECT_EQ(again[0].id(), rows[0].id());
    EXPECT_NE(again[1].id(), rows[1].id());
}

TEST(Verdict, TagsAndSentences) {
    ASSERT_TRUE(pinnedLocale);
    for (ManagerKind kind : allManagerKinds) {
        EXPECT_EQ(verdictTag(Tier::safeByDesign, kind), VerdictTag::safe);
        EXPECT_EQ(verdictTag(Tier::orphanCandidate, kind), VerdictTag::likelyUnused);
        EXPECT_EQ(verdictTag(Tier::signalOnly, kind),
                  kind == ManagerKind::homebrew ? VerdictTag::dependency : VerdictTag::inUse);
    }
    const std::string prunable =
        " removes only what nothing references. Kelvo never counts this as guaranteed savings.";
    const std::string orphan = ". If you don't use it directly, it's safe to reclaim.";
    const struct {
        Tier tier;
        std::optional<std::int64_t> bytes;
        std::optional<std::string> command;
        ManagerKind kind;
        SizeUnit unit;
        std::string text;
    } cases[] = {
        {Tier::safeByDesign, 5, {}, ManagerKind::pnpm, SizeUnit::decimal,
         "Prunable via `the manager` \u2014 pnpm" + prunable},
        {Tier::safeByDesign, 5, "npm cache clean --force", ManagerKind::npm, SizeUnit::decimal,
         "Prunable via `npm cache clean --force` \u2014 npm" + prunable},
        {Tier::orphanCandidate, 1'500'000, {}, ManagerKind::bun, SizeUnit::decimal,
         "Nothing depends on this \u00b7 1.5 MB" + orphan},
        {Tier::orphanCandidate, 1'500'000, {}, ManagerKind::bun, SizeUnit::binary,
         "Nothing depends on this \u00b7 1.4 MB" + orphan},
        {Tier::orphanCandidate, {}, {}, ManagerKind::npm, SizeUnit::decimal,
         "Nothing depends on this \u00b7 \u2014" + orphan},
        {Tier::signalOnly, 1, {}, ManagerKind::homebrew, SizeUnit::decimal,
         "Something installed depends on this \u2014 keep it unless you remove what needs it."},
        {Tier::signalOnly, 1, {}, ManagerKind::npm, SizeUnit::decimal, "Currently in use \u2014 nothing to do."},
    };
    for (const auto& [tier, bytes, command, kind, unit, text] : cases) {
        auto subject = item("x", bytes, tier);
        subject.reclaimCommand = command;
        EXPECT_EQ(verdictText(subject, kind, unit), text);
    }
}

TEST(Totals, ReclaimableInventoriedAndSummaries) {
    const std::vector<DependencyItem> items{
        item("a", 100, Tier::orphanCandidate), item("b", std::nullopt, Tier::orphanCandidate),
        item("c", 1000, Tier::safeByDesign), item("d", 10000, Tier::signalOnly), item("e", 7, Tier::orphanCandidate)};
    EXPECT_EQ(reclaimableBytes(items), 107);
    ScanResult result;
    result.managers.push_back(ManagerReport{ManagerKind::npm, true, "10.2.4", items, {}});
    // Not detected, yet holding items: counted as reclaimable, not as inventoried.
    result.managers.push_back(ManagerReport{ManagerKind::bun, false, std::nullopt, {item("z", 3)}, {}});
    result.managers.push_back(ManagerReport::notDetected(ManagerKind::pnpm));
    EXPECT_EQ(reclaimableBytes(result), 110);
    EXPECT_EQ(inventoriedCount(result), 5);

    const std::vector<DependencyItem> one{item("a", 1)};
    const std::vector<DependencyItem> twelve(12, item("a", 1));
    std::string summaries;
    for (ManagerKind kind : allManagerKinds) {
        for (const auto* list : {&one, &twelve}) {
            summaries += inventorySummary(kind, *list) + "|";
        }
        summaries += inventorySummary(kind, {}) + "\n";
    }
    EXPECT_EQ(summaries,
              "1 formula|12 formulae|0 formulae\n1 global|12 globals|0 globals\n"
              "Content-addressable store|Content-addressable store|Content-addressable store\n"
              "1 Node version|12 Node versions|0 Node versions\n1 global|12 globals|0 globals\n");
}

} // namespace
} // namespace kelvo
