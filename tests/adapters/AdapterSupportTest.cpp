#include "adapters/AdapterSupport.h"
#include "adapters/Globals.h"
#include "adapters/ReportDraft.h"

#include "adapters/Substitutes.h"
#include "knowledge/KnowledgeBase.h"

#include <gtest/gtest.h>

namespace kelvo {
namespace {

using namespace std::string_literals;

TEST(AdapterSupport, OnlyNamesThatStayInsideTheParentAreSafeAndSizesSortLargestFirstStably) {
    for (const char* name : {"a", "@scope/tool", "a.b", "...", "-x", "a b"})
        EXPECT_TRUE(isSafeRelativeName(name)) << name;
    for (const std::string& name : {""s, "."s, ".."s, "../x"s, "a/.."s, "a//b"s, "/abs"s, "a/"s, "a/./b"s, "a\0b"s})
        EXPECT_FALSE(isSafeRelativeName(name)) << name;
    // Unknown sizes after a size of 0; 40 ties keep their order (more than an insertion sort covers).
    std::vector<DependencyItem> items;
    for (int i = 0; i < 42; ++i)
        items.push_back({Uuid::random(), std::to_string(i), {}, {},
            i == 0 ? std::nullopt : std::optional(i > 40 ? 0 : 7), Tier::signalOnly, {}, {}, {}});
    sortItemsBySize(items);
    EXPECT_EQ(items.front().name + items[39].name + items[40].name + items.back().name, "140410");
}

// The draft measures every item in parallel as it would one after another; a failing walk costs its
// own item's size, a failing step its own items; quick wins are sized by the items that name them.
DependencyItem named(std::string name) {
    DependencyItem item;
    item.name = std::move(name);
    return item;
}

TEST(ReportDraft, MeasuresInParallelAndAFailureCostsOnlyItsOwn) {
    struct Sizer final : DirectorySizing {
        std::optional<std::int64_t> size(const std::string& path) const override {
            return path.ends_with("/3") ? throw std::runtime_error("walk failed")
                                        : std::optional(std::stoll(path.substr(3)));
        }
    } sizer;
    ReportDraft draft(ManagerKind::npm);
    draft.offer(QuickWin{{}, "clean", "x clean", ""});
    draft.offer(QuickWin{{}, "clean nothing", "x none", ""});
    draft.offer(QuickWin{{}, "always", "x always", ""}, ReportDraft::Offer::always);
    draft.step([&] {
        for (int i = 0; i < 300; ++i)
            draft.add(named("n" + std::to_string(i)), {"/p/" + std::to_string(i)}, i < 2 ? "clean" : "");
    });
    draft.step([&] {
        draft.add(named("lost"));
        throw std::runtime_error("a step failed");
    });
    draft.add(named("unmeasured"), {"/p/3"}, "", ReportDraft::Keep::ifMeasured);
    draft.add(named("empty"), {"/p/0"}, "clean nothing");
    const ManagerReport report = std::move(draft).finish(&sizer, {});
    ASSERT_EQ(report.items.size(), 301u) << "every item but the failing step's and the unmeasured one";
    for (const DependencyItem& item : report.items) {
        if (item.name == "empty") continue;
        EXPECT_EQ(item.bytes, item.name == "n3" ? std::nullopt : std::optional(std::stoll(item.name.substr(1))))
            << item.name;
    }
    EXPECT_EQ(report.items.front().name, "n299") << "largest first";
    ASSERT_EQ(report.quickWins.size(), 2u) << "a win whose items hold nothing is not shown";
    EXPECT_EQ(report.quickWins[0].bytes, 1) << "n0 and n1";
    EXPECT_TRUE(report.quickWins[1].title == "always" && !report.quickWins[1].bytes);
}

TEST(AdapterSupport, LastUseTakesTheLatestCommandUsedAtLeastADayAfterItsChange) {
    test::TempDir dir;
    test::writeFile(
        dir / "pkg/package.json", R"({"version":"1.2.3","bin":{"a":"x","b":"x","c":"x","d":"x","../up":"x"}})");
    const PackageManifest manifest = readPackageManifest(dir / "pkg", "pkg");
    EXPECT_EQ(manifest.version, "1.2.3");
    EXPECT_EQ(manifest.commands, (std::vector<std::string>{"../up", "a", "b", "c", "d"}));
    test::FakeProber prober;
    prober.set("/bin/a", FileTimes{9e5 + 86400, 9e5});   // exactly one day: counts
    prober.set("/bin/b", FileTimes{2e6 + 86399.5, 2e6}); // just under a day
    prober.set("/bin/c", FileTimes{5e6, 6e6});           // accessed before the change
    prober.set("/bin/d", FileTimes{1.5e6, 90});          // the latest, after a first one that counts
    prober.made("/bin/a", 100).made("/bin/c", 300).made("/bin/d", 200);
    const CommandUse use = commandUse(prober, manifest.commands, {"/bin"});
    EXPECT_EQ(use.lastUse, 1.5e6);
    EXPECT_EQ(use.installedAt, 300) << "the newest command entry";
    for (const auto& path : prober.calls()) EXPECT_EQ(path.find(".."), std::string::npos) << path;
    test::writeFile(dir / "scoped/package.json", R"({"bin":"cli.js"})");
    EXPECT_EQ(readPackageManifest(dir / "scoped", "@scope//tool/").commands, std::vector<std::string>{"tool"});
    for (const char* text : {R"({"bin":7,"version":1})", "[]", "{", R"({"name":"x"})"}) {
        test::writeFile(dir / "other/package.json", text);
        const PackageManifest other = readPackageManifest(dir / "other", "x");
        EXPECT_TRUE(other.commands.empty() && !other.version) << text;
    }
}

// A global is in use unless its commands say otherwise, where access times are recorded; a core
// package (built in, or so in the knowledge base of the same manager) is never offered for removal.
TEST(AdapterSupport, GlobalsAreJudgedByTheirCommandsAndCorePackagesKeepTheirPlace) {
    constexpr double day = 86400;
    const double now = 1000 * day;
    KnowledgeBase kb;
    kb.entries.push_back({"yarn", std::vector{ManagerKind::npm}, "Yarn", {}, true});
    kb.entries.push_back({"ts*", {}, "TypeScript tools", {}, false});
    kb.entries.push_back({"tsx", std::vector{ManagerKind::bun}, "bun only", {}, true});
    struct Case {
        std::string name;
        CommandUse use;
        bool recorded;
        Tier tier;
        std::vector<Evidence> evidence;
        bool command = true;
    };
    const std::vector<Case> cases{
        {"tool", {now - 91 * day, now - 400 * day}, true, Tier::orphanCandidate, {Evidence::lastUsed(now - 91 * day)}},
        {"tool", {now - 89 * day, now - 400 * day}, true, Tier::signalOnly, {Evidence::lastUsed(now - 89 * day)}},
        {"tool", {{}, now - 91 * day}, true, Tier::orphanCandidate, {Evidence::notUsedSinceInstall(now - 91 * day)}},
        {"tool", {{}, now - 89 * day}, true, Tier::signalOnly, {}},
        {"tool", {}, true, Tier::signalOnly, {}},
        {"tool", {now - 300 * day, now - 400 * day}, false, Tier::signalOnly, {Evidence::lastUsed(now - 300 * day)}},
        {"tool", {{}, now - 400 * day}, false, Tier::signalOnly, {}},
        {"corepack", {{}, now - 400 * day}, true, Tier::signalOnly, {}, false},
        {"npm", {}, true, Tier::signalOnly, {}, false},
        {"yarn", {}, true, Tier::signalOnly, {}, false},
        {"tsx", {}, true, Tier::signalOnly, {}, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name + " " + std::to_string(c.recorded) + " " + std::to_string(c.use.lastUse.value_or(-1)));
        const DependencyItem item = globalPackageItem(c.name, std::nullopt, "/m/" + c.name, 10, c.use,
            UseClock{now, c.recorded}, kb, ManagerKind::npm, "npm -g uninstall");
        EXPECT_EQ(item.tier, c.tier);
        EXPECT_EQ(item.evidence, c.evidence);
        EXPECT_EQ(item.reclaimCommand.has_value(), c.command);
    }
    const auto npmTsx =
        globalPackageItem("tsx", {}, "/m", 1, {}, {now, true}, kb, ManagerKind::npm, "npm -g uninstall");
    const auto bunTsx = globalPackageItem("tsx", {}, "/m", 1, {}, {now, true}, kb, ManagerKind::bun, "bun remove -g");
    EXPECT_EQ(npmTsx.identity.value_or("") + "|" + bunTsx.identity.value_or(""), "TypeScript tools|bun only");
    EXPECT_EQ(npmTsx.reclaimCommand, "npm -g uninstall tsx");
    EXPECT_FALSE(bunTsx.reclaimCommand);
}

} // namespace
} // namespace kelvo
