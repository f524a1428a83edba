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
using Keys = std::set<std::string>;

Keys keysOf(const json& object) {
    Keys keys;
    for (const auto& [key, value] : object.items()) keys.insert(key);
    return keys;
}

// Checks one manager against the schema; adds its item sizes to the running totals.
void checkManager(const json& manager, std::int64_t& total, std::int64_t& reclaimable) {
    static const std::regex uuid("[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12}");
    static const std::map<std::string, std::string> evidencePayload{{"lastUsed", "at"},
        {"notDefaultVersion", "defaultVersion"}, {"supersededPatch", "newestInSeries"}, {"noDependents", ""},
        {"managerDefinesPrunable", ""}};
    EXPECT_EQ(keysOf(manager), (Keys{"kind", "displayName", "detected", "version", "totalBytes", "reclaimableBytes",
                                     "summary", "quickWins", "items", "rows"}));
    const auto kind = managerKindFromRaw(manager.at("kind").get<std::string>());
    ASSERT_TRUE(kind);
    EXPECT_EQ(manager.at("displayName"), std::string(displayName(*kind)));
    for (const auto& win : manager.at("quickWins")) EXPECT_EQ(keysOf(win), (Keys{"id", "title", "command", "detail"}));

    std::map<std::string, std::int64_t> sortBytes; // item id -> bytes, or -1
    std::map<std::string, int> namedByRows;
    std::int64_t itemTotal = 0;
    std::int64_t itemReclaimable = 0;
    for (const auto& item : manager.at("items")) {
        EXPECT_EQ(keysOf(item), (Keys{"id", "name", "version", "path", "bytes", "size", "tier", "verdict",
                                      "verdictText", "evidence", "identity", "reclaimCommand"}));
        const std::string id = item.at("id");
        EXPECT_TRUE(std::regex_match(id, uuid)) << id;
        for (const char* key : {"version", "path", "identity", "reclaimCommand"}) {
            EXPECT_TRUE(item.at(key).is_string() || item.at(key).is_null()) << key;
        }
        const json& bytes = item.at("bytes");
        ASSERT_TRUE(bytes.is_number_integer() || bytes.is_null());
        EXPECT_EQ(item.at("size") == "\u2014", bytes.is_null());
        EXPECT_TRUE((Keys{"safeByDesign", "orphanCandidate", "signalOnly"}.contains(item.at("tier"))));
        EXPECT_TRUE((Keys{"SAFE", "LIKELY UNUSED", "IN USE", "DEPENDENCY"}.contains(item.at("verdict"))));
        for (const auto& evidence : item.at("evidence")) {
            const auto payload = evidencePayload.find(evidence.at("kind"));
            ASSERT_NE(payload, evidencePayload.end()) << evidence;
            Keys expected{"kind", "summary"};
            if (!payload->second.empty()) expected.insert(payload->second);
            EXPECT_EQ(keysOf(evidence), expected);
        }
        sortBytes[id] = bytes.is_null() ? -1 : bytes.get<std::int64_t>();
        namedByRows[id] = 0;
        itemTotal += std::max<std::int64_t>(sortBytes[id], 0);
        if (item.at("tier") == "orphanCandidate") itemReclaimable += std::max<std::int64_t>(sortBytes[id], 0);
    }
    EXPECT_EQ(manager.at("totalBytes").get<std::int64_t>(), itemTotal);
    EXPECT_EQ(manager.at("reclaimableBytes").get<std::int64_t>(), itemReclaimable);
    total += itemTotal;
    reclaimable += itemReclaimable;

    // Rows name every item exactly once, largest first.
    std::int64_t previous = std::numeric_limits<std::int64_t>::max();
    for (const auto& row : manager.at("rows")) {
        std::int64_t rowBytes = 0;
        if (row.at("type") == "item") {
            EXPECT_EQ(keysOf(row), (Keys{"id", "type", "item"}));
            EXPECT_EQ(row.at("id"), "item-" + row.at("item").get<std::string>());
            ++namedByRows.at(row.at("item"));
            rowBytes = sortBytes.at(row.at("item"));
        } else {
            EXPECT_EQ(keysOf(row), (Keys{"id", "type", "title", "keep", "superseded", "totalBytes", "summary"}));
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
    EXPECT_EQ(keysOf(document),
              (Keys{"scannedAt", "sizeUnit", "totalBytes", "reclaimableBytes", "inventoriedCount", "managers"}));
    EXPECT_TRUE(document.at("scannedAt").is_number());
    EXPECT_TRUE(document.at("sizeUnit") == "decimal" || document.at("sizeUnit") == "binary");
    std::int64_t total = 0;
    std::int64_t reclaimable = 0;
    std::int64_t inventoried = 0;
    int previousKind = -1;
    for (const auto& manager : document.at("managers")) {
        checkManager(manager, total, reclaimable);
        const auto kind = managerKindFromRaw(manager.at("kind").get<std::string>());
        EXPECT_LT(previousKind, kind ? static_cast<int>(*kind) : 99) << "managers out of kind order";
        previousKind = kind ? static_cast<int>(*kind) : 99;
        if (manager.at("detected").get<bool>()) inventoried += static_cast<std::int64_t>(manager.at("items").size());
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
