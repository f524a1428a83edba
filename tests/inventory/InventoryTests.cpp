#include "ReportSchema.h"

#include "adapters/Substitutes.h"
#include "inventory/Inventory.h"
#include "inventory/ReportJson.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <sstream>
#include <tuple>

namespace kelvo {
namespace {

// Size texts go through the user's locale, read once: pin it before any test runs.
const bool pinnedLocale = ::setenv("LC_ALL", "C", 1) == 0;
const std::optional<std::int64_t> unknown;

// `other` stands for the version, the path and the identity alike.
DependencyItem item(std::string name, std::optional<std::int64_t> bytes, Tier tier = Tier::orphanCandidate,
    std::vector<Evidence> evidence = {}, std::optional<std::string> command = {},
    std::optional<std::string> other = {}) {
    return DependencyItem{
        Uuid::random(), std::move(name), other, other, bytes, tier, std::move(evidence), other, std::move(command)};
}

// Orphan candidates from "name:bytes ..." ("?": size unknown).
std::vector<DependencyItem> items(const std::string& listing) {
    std::vector<DependencyItem> out;
    std::istringstream words(listing);
    for (std::string word; words >> word;)
        out.push_back(item(word.substr(0, word.rfind(':')),
            word.ends_with(":?") ? unknown : std::stoll(word.substr(word.rfind(':') + 1))));
    return out;
}

// The rows as one text: item names, groups as "Node N[keep>superseded>...]=total".
std::string describe(const std::vector<InventoryRow>& rows, ManagerKind kind) {
    std::string out;
    for (const auto& row : rows) {
        EXPECT_EQ(row.isGroup() ? row.asGroup().manager : row.asItem().manager, kind);
        if (row.isGroup()) {
            out += row.asGroup().title + "[" + row.asGroup().keep.name;
            for (const auto& old : row.asGroup().superseded) out += ">" + old.name;
            out += "]=" + std::to_string(row.asGroup().totalBytes());
        }
        out += (row.isGroup() ? "" : row.asItem().item.name) + " ";
    }
    return out;
}

TEST(BuildRows, GroupsNewestFirstAndOrdersBySizeStably) {
    std::string many, inOrder; // stable also where a sort would switch from insertion sort to partitioning
    for (int i = 0; i < 40; ++i) many += std::to_string(i) + ":1 ", inOrder += std::to_string(i) + " ";
    const std::tuple<ManagerKind, std::string, std::string> cases[] = {
        // The newest of Node 18 stands in the middle; 9 < 10 numerically, not as text.
        {ManagerKind::nvm, "v18.17.0:300 v18.19.1:200 v18.9.0:100 v20.11.0:500 v16.10.0:10 v16.9.9:10",
            "Node 18[v18.19.1>v18.17.0>v18.9.0]=600 v20.11.0 Node 16[v16.10.0>v16.9.9]=20 "},
        // Equal sizes: buckets in order of first appearance, then unparsable names, all stable.
        {ManagerKind::nvm, "system:7 v20.1.0:7 v18.17:7 v20.2.0:7 v18.17.0-rc1:7 v16.0.0:7",
            "Node 20[v20.2.0>v20.1.0]=14 v16.0.0 system v18.17 v18.17.0-rc1 "},
        // A group of unknown sizes totals 0 and stands above an unknown item.
        {ManagerKind::nvm, "system:? v18.1.0:? v18.2.0:?", "Node 18[v18.2.0>v18.1.0]=0 system "},
        // Python's line is its minor one: 3.1 is not 3.11, and 3.11.10 is the newest of it.
        {ManagerKind::python, "3.11.7:20 3.12.1:30 3.11.10:10 3.1.2:1", "Python 3.11[3.11.10>3.11.7]=30 3.12.1 3.1.2 "},
        // Unknown sizes after 0-byte ones; versions are grouped only where a source says so.
        {ManagerKind::npm, "unknown-a:? zero:0 five-a:5 ten:10 five-b:5 unknown-b:?",
            "ten five-a five-b zero unknown-a unknown-b "},
        {ManagerKind::homebrew, "v18.17.0:1 v18.19.1:2", "v18.19.1 v18.17.0 "},
        {ManagerKind::pnpm, many, inOrder},
        {ManagerKind::nvm, "", ""},
    };
    for (const auto& [kind, listing, rows] : cases) EXPECT_EQ(describe(buildRows(kind, items(listing)), kind), rows);
}

TEST(BuildRows, ASeriesHoldingTheDefaultKeepsItAndIsFiledUnderWhatMayGo) {
    // As the nvm scan leaves them: every version but the default names it.
    auto nvm = items("v20.18.0:40 v20.11.1:30 v20.5.0:20 v18.19.1:10 v18.17.0:5");
    for (auto& version : nvm) version.evidence = {Evidence::notDefaultVersion("v20.11.1")};
    nvm[1].tier = Tier::signalOnly;
    nvm[1].evidence.clear();
    const auto rows = buildRows(ManagerKind::nvm, nvm);
    EXPECT_EQ(describe(rows, ManagerKind::nvm), "Node 20[v20.11.1>v20.18.0>v20.5.0]=90 Node 18[v18.19.1>v18.17.0]=15 ");
    std::string texts;
    for (const auto& row : rows) texts += row.asGroup().summary() + ", " + row.asGroup().keepLine() + "; ";
    EXPECT_EQ(texts, "3 patch releases \u00b7 keep your default, your default Node 20 \u2014 nothing to do; "
                     "2 patch releases \u00b7 keep only the newest, newest Node 18 \u2014 nothing to do; ");
    // Filed and tagged by what may go, whatever it keeps; what may go is exactly the rest.
    EXPECT_EQ(rows[0].tier(), Tier::orphanCandidate);
    EXPECT_EQ(reclaimableBytes(nvm), 40 + 20 + 10 + 5);
    // Any of pyenv's globals is kept as nvm's default is.
    auto python = items("3.11.7:2 3.11.4:1 3.12.1:1");
    for (auto& version : python) version.evidence = {Evidence::notGlobalVersion("3.12.1, 3.11.4")};
    EXPECT_EQ(
        describe(buildRows(ManagerKind::python, python), ManagerKind::python), "Python 3.11[3.11.4>3.11.7]=3 3.12.1 ");
    // Else the newest one a virtualenv runs: what the group offers is exactly what may go.
    python = items("3.11.9:1 3.11.7:2 3.11.4:1");
    python[1].tier = Tier::signalOnly;
    python[1].evidence = {Evidence::usedByVirtualenv("~/v")};
    const auto inUse = buildRows(ManagerKind::python, python).at(0).asGroup();
    EXPECT_EQ(inUse.keep.name + " " + inUse.summary() + ", " + inUse.keepLine(),
        "3.11.7 3 patch releases \u00b7 keep the one in use, Python 3.11 in use \u2014 nothing to do");
    // A version a project pins stays in its group, kept, and says why.
    nvm[4].tier = Tier::signalOnly;
    nvm[4].evidence.insert(nvm[4].evidence.begin(), Evidence::pinnedByProject("~/work/api"));
    EXPECT_EQ(buildRows(ManagerKind::nvm, nvm).at(1).asGroup().summary(),
        "2 patch releases \u00b7 keep the newest and 1 pinned");
    EXPECT_EQ(verdictText(nvm[4], ManagerKind::nvm, SizeUnit::decimal),
        "Pinned by ~/work/api \u2014 a project asks for this version: keep it while the project needs it.");
    // Nothing in it may go: the keep item's tier.
    const auto kept =
        buildRows(ManagerKind::nvm, {item("v18.1.0", 1, Tier::signalOnly), item("v18.2.0", 1, Tier::safeByDesign)});
    EXPECT_EQ(kept.at(0).tier(), Tier::safeByDesign);
}

// What removing an item frees decides what is reclaimable and shows where it differs from the size.
TEST(Inventory, FreedBytesReclaimAndShowAndProjectsSayHowTheyComeBack) {
    auto pnpmProject = item("app", 400'000'000, Tier::orphanCandidate, {}, "rm -rf -- /p/app/node_modules");
    pnpmProject.freedBytes = 2'100'000;
    pnpmProject.managedBy = "pnpm";
    pnpmProject.restoreCommand = "pnpm install --frozen-lockfile";
    pnpmProject.restoresExactly = true;
    auto whole = item("tool", 5'000'000);
    whole.freedBytes = 5'000'000;
    EXPECT_EQ(reclaimableBytes({pnpmProject, whole, item("unmeasured", 7)}), 2'100'000 + 5'000'000 + 7);
    EXPECT_EQ(sizeAndFreedText(pnpmProject, SizeUnit::decimal), "400 MB \u00b7 frees 2.1 MB");
    EXPECT_EQ(sizeAndFreedText(whole, SizeUnit::decimal), "5 MB");
    EXPECT_TRUE(verdictText(pnpmProject, ManagerKind::projects, SizeUnit::decimal)
                    .ends_with(" `pnpm install --frozen-lockfile` puts it back as it was."));
    auto unlocked = item("x", 1, Tier::signalOnly, {Evidence::noLockfile()});
    EXPECT_TRUE(verdictText(unlocked, ManagerKind::projects, SizeUnit::decimal).starts_with("Without a lockfile"));
    // A build folder its build makes again, and one its tool marks as a cache, whatever its age.
    auto target = item("api · target", 1, Tier::signalOnly, {Evidence::markedAsCache()});
    target.restoreCommand = "cargo build";
    EXPECT_EQ(verdictText(target, ManagerKind::projects, SizeUnit::decimal),
        "Currently in use \u2014 nothing to do. If removed, `cargo build` makes it again. Its build tool marks it as a "
        "cache: safe to remove whatever its age.");
    // A cache cleaned by another tool, by hand, or emptied whole by its own (Go) is not said to be pruned; npm's is.
    for (const auto& [command, manager, safe] : {std::tuple{"rm -rf -- /h/.cache/node-gyp", ManagerKind::npm, true},
             {"corepack cache clean", ManagerKind::npm, true}, {"npm cache clean --force", ManagerKind::npm, false},
             {"brew cleanup", ManagerKind::homebrew, false}, {"go clean -modcache", ManagerKind::go, true}}) {
        const auto text = verdictText(item("c", 1, Tier::safeByDesign, {}, command), manager, SizeUnit::decimal);
        EXPECT_EQ(text.starts_with("Safe to remove with `" + std::string(command) + "`"), safe) << text;
    }
}

TEST(Inventory, SummariesCountInTheirManagersWords) {
    std::string summaries;
    auto withCaches = items("v1:1 v2:1 ca:1 ch:1");
    for (auto* cache : {&withCaches[2], &withCaches[3]}) cache->tier = Tier::safeByDesign;
    for (ManagerKind kind : {ManagerKind::homebrew, ManagerKind::npm, ManagerKind::pnpm, ManagerKind::nvm,
             ManagerKind::bun, ManagerKind::yarn, ManagerKind::projects})
        for (const auto& listing : {items("v1:1"), items("v1:1 nvm-cache:? v3:0"), withCaches})
            summaries += inventorySummary(kind, listing) + "|";
    // nvm's download cache is listed among its versions but is not one; Yarn names its caches.
    EXPECT_EQ(summaries, "1 formula|3 formulae|4 formulae|1 global|3 globals|4 globals|Content-addressable store|"
                         "Content-addressable store|Content-addressable store|1 Node version|2 Node versions|2 Node "
                         "versions|1 global|3 globals|4 globals|1 global|3 globals|2 globals · 2 caches|1 project|3 "
                         "projects|4 projects|");
    ManagerReport unread{ManagerKind::projects, true, std::nullopt, items("a:1 b:1"), {}};
    unread.unreadableFolders = 1'200;
    EXPECT_EQ(inventorySummary(unread), "2 projects · 1,200 folders unreadable");
}

// Managers out of kind order, every tier and evidence kind, totals that count shared files once,
// and texts holding what a terminal would act on.
ScanResult everyField() {
    ManagerReport brew{ManagerKind::homebrew, true, "4.2.0", {}, {}, 40'000'000};
    brew.items = {item("openssl@3", 45'000'000, Tier::signalOnly, {}, {}, "/opt/homebrew/Cellar/openssl@3"),
        item("wget\u202e\u2028", 4'000'000, Tier::orphanCandidate,
            {Evidence::noDependents(), Evidence::lastUsed(1700000000.5)}, "brew uninstall wget")};
    brew.quickWins = {QuickWin{Uuid::random(), "Remove unused dependencies", "brew autoremove", "only \x1b[2J\x7f"}};
    ManagerReport npm{ManagerKind::npm, true, std::nullopt, {}, {}};
    npm.items = {item("npm cache", 900'000'000, Tier::safeByDesign, {Evidence::managerDefinesPrunable()}, "npm cache"),
        item("left\npad\u2066\u0085", unknown, Tier::orphanCandidate, {Evidence::notUsedSinceInstall(1690000000.25)},
            "npm -g uninstall 'left\npad'", "\u061c\u200e")};
    ManagerReport nvm{ManagerKind::nvm, true, {}, items("v20.11.0:30000000 v18.19.1:11000000 v18.17.0:10000000"), {}};
    nvm.items[0].tier = Tier::signalOnly;
    nvm.items[2].evidence = {Evidence::notDefaultVersion("v20.11.0"), Evidence::supersededPatch("v18.19.1")};
    nvm.items[1].evidence = {Evidence::notDefaultToolchain("stable-x86_64-unknown-linux-gnu"),
        Evidence::notGlobalVersion("3.12.1, system"), Evidence::usedByVirtualenv("~/.venvs/a\"b")};
    nvm.items[1].tool = "rustup";
    // Not detected, yet holding an item: reclaimable, but not inventoried.
    const ManagerReport bun{ManagerKind::bun, false, std::nullopt, items("cowsay:5000"), {}};
    return ScanResult{
        1733500000.25, {nvm, bun, npm, brew, ManagerReport::notDetected(ManagerKind::pnpm)}, 1'200'000'000};
}

// What the document carries of an item or a quick win: everything but the random id.
using test::fields;
auto fields(const QuickWin& w) { return std::tie(w.title, w.command, w.detail); }

TEST(ReportJson, FollowsTheSchemaEscapesHostileTextAndReadsBackTheSameModel) {
    const ScanResult result = everyField();
    const std::string text = renderJson(result, SizeUnit::binary);
    for (const char* raw : {"\x1b", "\x7f", "\u0085", "\u061c", "\u200e", "\u2028", "\u202e", "\u2066"})
        EXPECT_EQ(text.find(raw), std::string::npos) << "raw in the document: " << raw;
    const auto document = test::Json::parse(text); // strict: one document of valid UTF-8
    test::checkReportDocument(document);
    EXPECT_EQ(document.at("sizeUnit"), "binary");
    EXPECT_EQ(document.at("managers").at(3).at("items").at(2).at("size"), "9.5 MB");
    const auto& toolchain = document.at("managers").at(3).at("items").at(1);
    EXPECT_TRUE(
        toolchain.at("tool") == "rustup" && document.at("managers").at(0).at("items").at(0).at("tool").is_null());
    EXPECT_EQ(toolchain.at("evidence").at(0).at("defaultToolchain"), "stable-x86_64-unknown-linux-gnu");
    // Reclaimable: the orphans of known size, also of a manager not detected; inventoried: detected ones' items.
    EXPECT_EQ(document.at("reclaimableBytes"), 4'000'000 + 21'000'000 + 5'000);
    EXPECT_EQ(document.at("managers").at(0).at("reclaimableBytes"), 4'000'000) << "Homebrew's orphan, not its total";
    EXPECT_EQ(document.at("inventoriedCount"), 7);
    std::string verdicts;
    for (const auto& manager : document.at("managers"))
        for (const auto& item : manager.at("items")) verdicts += item.at("verdict").get<std::string>() + ",";
    EXPECT_EQ(
        verdicts, "DEPENDENCY,LIKELY UNUSED,SAFE,LIKELY UNUSED,IN USE,LIKELY UNUSED,LIKELY UNUSED,LIKELY UNUSED,");
    EXPECT_EQ(document.at("managers").at(1).at("items").at(1).at("size"), "\u2014") << "unknown size";

    const auto back = decodeReport(nlohmann::json::parse(text));
    ASSERT_TRUE(back && back->managers.size() == result.managers.size());
    EXPECT_TRUE(back->scannedAt == result.scannedAt && back->totalBytes() == result.totalBytes());
    const auto same = [](const auto& a, const auto& b) { return fields(a) == fields(b); };
    const auto sameTool = [](const DependencyItem& a, const DependencyItem& b) { return a.tool == b.tool; };
    for (const ManagerReport& read : back->managers) {
        SCOPED_TRACE(rawValue(read.kind));
        const ManagerReport& original = *std::find_if(result.managers.begin(), result.managers.end(),
            [&](const ManagerReport& r) { return r.kind == read.kind; });
        EXPECT_TRUE(read.detected == original.detected && read.version == original.version &&
                    read.totalBytes() == original.totalBytes());
        EXPECT_TRUE(std::ranges::equal(read.items, original.items, same));
        EXPECT_TRUE(std::ranges::equal(read.items, original.items, sameTool));
        EXPECT_TRUE(std::ranges::equal(read.quickWins, original.quickWins, same));
    }
}

} // namespace
} // namespace kelvo
