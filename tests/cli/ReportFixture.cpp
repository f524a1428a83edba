#include "ReportFixture.h"

#include "inventory/Inventory.h"

#include <gtest/gtest.h>

#include <limits>
#include <map>
#include <regex>
#include <set>

namespace kelvo::test {

namespace {

using Text = std::optional<std::string>;

DependencyItem item(std::string name, std::optional<std::int64_t> bytes, Tier tier, Text version = {},
                    Text command = {}, std::vector<Evidence> evidence = {}, Text identity = {}, Text path = {}) {
    return DependencyItem{Uuid::random(), std::move(name), std::move(version), std::move(path), bytes, tier,
                          std::move(evidence), std::move(identity), std::move(command)};
}

using nlohmann::json;
using Shape = std::map<std::string, std::string>;

// The object has exactly these keys, each of one of the given JSON types
// (s string, i integer, f other number, b boolean, a array, n null).
void expectShape(const json& object, const Shape& shape) {
    ASSERT_TRUE(object.is_object());
    EXPECT_EQ(object.size(), shape.size()) << object.dump().substr(0, 300);
    for (const auto& [key, types] : shape) {
        const auto it = object.find(key);
        ASSERT_NE(it, object.end()) << "missing " << key;
        const char type = "noasbiif"[std::min<std::size_t>(static_cast<std::size_t>(it->type()), 7)]; // by value_t
        EXPECT_NE(types.find(type), std::string::npos) << key << " is " << it->type_name();
    }
}

// Checks one manager against the schema; adds its item sizes to the running totals.
void checkManager(const json& manager, std::int64_t& total, std::int64_t& reclaimable) {
    static const std::regex uuid("[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12}");
    static const Shape payload{{"lastUsed", "at"}, {"notDefaultVersion", "defaultVersion"},
                               {"supersededPatch", "newestInSeries"}, {"noDependents", ""},
                               {"managerDefinesPrunable", ""}, {"notUsedSinceInstall", "installedAt"}};
    expectShape(manager, {{"kind", "s"}, {"displayName", "s"}, {"detected", "b"}, {"version", "sn"},
                          {"totalBytes", "i"}, {"reclaimableBytes", "i"}, {"summary", "s"}, {"quickWins", "a"},
                          {"items", "a"}, {"rows", "a"}});
    const auto kind = managerKindFromRaw(manager.at("kind").get<std::string>());
    ASSERT_TRUE(kind);
    EXPECT_EQ(manager.at("displayName"), std::string(displayName(*kind)));
    for (const auto& win : manager.at("quickWins")) {
        expectShape(win, {{"id", "s"}, {"title", "s"}, {"command", "s"}, {"detail", "s"}});
    }
    std::map<std::string, std::int64_t> sortBytes; // item id -> bytes, or -1
    std::map<std::string, int> namedByRows;
    std::int64_t itemTotal = 0;
    std::int64_t itemReclaimable = 0;
    for (const auto& item : manager.at("items")) {
        expectShape(item, {{"id", "s"}, {"name", "s"}, {"version", "sn"}, {"path", "sn"}, {"bytes", "in"},
                           {"size", "s"}, {"tier", "s"}, {"verdict", "s"}, {"verdictText", "s"}, {"evidence", "a"},
                           {"identity", "sn"}, {"reclaimCommand", "sn"}});
        const std::string id = item.at("id");
        EXPECT_TRUE(std::regex_match(id, uuid)) << id;
        EXPECT_EQ(item.at("size") == "\u2014", item.at("bytes").is_null());
        EXPECT_TRUE((std::set<std::string>{"safeByDesign", "orphanCandidate", "signalOnly"}.contains(item.at("tier"))));
        EXPECT_TRUE(
            (std::set<std::string>{"SAFE", "LIKELY UNUSED", "IN USE", "DEPENDENCY"}.contains(item.at("verdict"))));
        for (const auto& evidence : item.at("evidence")) {
            const auto extra = payload.find(evidence.value("kind", ""));
            ASSERT_NE(extra, payload.end()) << evidence;
            Shape shape{{"kind", "s"}, {"summary", "s"}};
            if (!extra->second.empty()) shape[extra->second] = extra->first == "lastUsed" ? "if" : "s";
            expectShape(evidence, shape);
        }
        const std::int64_t bytes = item.at("bytes").is_null() ? -1 : item.at("bytes").get<std::int64_t>();
        sortBytes[id] = bytes;
        namedByRows[id] = 0;
        itemTotal += std::max<std::int64_t>(bytes, 0);
        if (item.at("tier") == "orphanCandidate") itemReclaimable += std::max<std::int64_t>(bytes, 0);
    }
    EXPECT_EQ(manager.at("totalBytes").get<std::int64_t>(), itemTotal);
    EXPECT_EQ(manager.at("reclaimableBytes").get<std::int64_t>(), itemReclaimable);
    total += itemTotal;
    reclaimable += itemReclaimable;

    // Rows name every item exactly once, largest first.
    std::int64_t previous = std::numeric_limits<std::int64_t>::max();
    for (const auto& row : manager.at("rows")) {
        std::int64_t rowBytes = 0;
        if (row.value("type", "") == "item") {
            expectShape(row, {{"id", "s"}, {"type", "s"}, {"item", "s"}});
            EXPECT_EQ(row.at("id"), "item-" + row.at("item").get<std::string>());
            ++namedByRows.at(row.at("item"));
            rowBytes = sortBytes.at(row.at("item"));
        } else {
            expectShape(row, {{"id", "s"}, {"type", "s"}, {"title", "s"}, {"keep", "s"}, {"superseded", "a"},
                              {"totalBytes", "i"}, {"summary", "s"}});
            EXPECT_EQ(row.at("type"), "group");
            ++namedByRows.at(row.at("keep"));
            EXPECT_FALSE(row.at("superseded").empty());
            for (const auto& id : row.at("superseded")) ++namedByRows.at(id);
            rowBytes = row.at("totalBytes");
        }
        EXPECT_LE(rowBytes, previous);
        previous = rowBytes;
    }
    for (const auto& [id, count] : namedByRows) EXPECT_EQ(count, 1) << id;
}

} // namespace

void checkReportDocument(const json& document) {
    expectShape(document, {{"scannedAt", "if"}, {"sizeUnit", "s"}, {"totalBytes", "i"}, {"reclaimableBytes", "i"},
                           {"inventoriedCount", "i"}, {"managers", "a"}});
    EXPECT_TRUE(document.at("sizeUnit") == "decimal" || document.at("sizeUnit") == "binary");
    std::int64_t total = 0;
    std::int64_t reclaimable = 0;
    std::int64_t inventoried = 0;
    int previousKind = -1;
    for (const auto& manager : document.at("managers")) {
        checkManager(manager, total, reclaimable);
        const auto kind = managerKindFromRaw(manager.value("kind", ""));
        EXPECT_LT(previousKind, kind ? static_cast<int>(*kind) : 99) << "managers out of kind order";
        previousKind = kind ? static_cast<int>(*kind) : 99;
        if (manager.value("detected", false)) inventoried += static_cast<std::int64_t>(manager.at("items").size());
    }
    EXPECT_EQ(document.at("totalBytes").get<std::int64_t>(), total);
    EXPECT_EQ(document.at("reclaimableBytes").get<std::int64_t>(), reclaimable);
    EXPECT_EQ(document.at("inventoriedCount").get<std::int64_t>(), inventoried);
}

ScanResult fixtureResult() {
    ManagerReport brew{ManagerKind::homebrew, true, "4.2.0", {}, {}};
    brew.items = {
        item("openssl@3", 45'000'000, Tier::signalOnly, "3.2.1", {}, {}, "Cryptography library",
             "/opt/homebrew/Cellar/openssl@3"),
        item("wget", 4'000'000, Tier::orphanCandidate, "1.21.4", "brew uninstall wget",
             {Evidence::noDependents(), Evidence::lastUsed(1700000000.5)}),
        // A version equal to the name is not shown twice.
        item(escName, 2'000'000, Tier::orphanCandidate, escName, "brew uninstall '" + escName + "'")};
    brew.quickWins = {QuickWin{Uuid::random(), "Remove unused dependencies", "brew autoremove",
                               "Removes formulae that were only installed as dependencies."}};

    ManagerReport npm{ManagerKind::npm, true, "10.2.4", {}, {}};
    npm.items = {item("npm cache", 900'000'000, Tier::safeByDesign, {}, "npm cache clean --force",
                      {Evidence::managerDefinesPrunable()}, {}, "/home/u/.npm/_cacache"),
                 item(bidiName, 0, Tier::signalOnly, "1.0.0\r"),
                 item(newlineName, std::nullopt, Tier::orphanCandidate, {}, {}, {},
                      "identity with \u2066isolate\u2069 and \u0085")};
    npm.quickWins = {QuickWin{Uuid::random(), "Clean the npm cache", "npm cache clean --force",
                              "npm re-downloads what it needs."}};

    ManagerReport nvm{ManagerKind::nvm, true, std::nullopt, {}, {}};
    nvm.items = {item("v20.11.0", 300'000'000, Tier::signalOnly), item("v18.19.1", 110'000'000, Tier::orphanCandidate),
                 item("v18.17.0", 100'000'000, Tier::orphanCandidate, {}, "nvm uninstall v18.17.0",
                      {Evidence::notDefaultVersion("v20.11.0"), Evidence::supersededPatch("v18.19.1")}),
                 item("v18.18.2", std::nullopt, Tier::orphanCandidate), item("system", std::nullopt, Tier::signalOnly)};

    ManagerReport bun{ManagerKind::bun, true, "1.0.25", {}, {}};
    bun.items = {item(invalidName, 5'000, Tier::orphanCandidate, std::string("1.\xff"),
                      "bun remove -g '" + invalidName + "'", {}, "a package\x1b[2J",
                      "/home/u/.bun/install/global/node_modules/" + invalidName)};

    return ScanResult{1733500000.25, {brew, npm, ManagerReport::notDetected(ManagerKind::pnpm), nvm, bun}};
}

} // namespace kelvo::test
