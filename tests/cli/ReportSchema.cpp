#include "ReportSchema.h"

#include "inventory/Inventory.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <limits>
#include <map>
#include <regex>
#include <set>

namespace kelvo::test {

namespace {

using nlohmann::json;

const std::regex uuidPattern("[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12}");

std::set<std::string> keysOf(const json& object) {
    std::set<std::string> keys;
    for (const auto& [key, value] : object.items()) {
        keys.insert(key);
    }
    return keys;
}

void expectStringOrNull(const json& value, const std::string& what) {
    EXPECT_TRUE(value.is_string() || value.is_null()) << what;
}

void expectUuid(const json& value) {
    ASSERT_TRUE(value.is_string());
    EXPECT_TRUE(std::regex_match(value.get<std::string>(), uuidPattern)) << value;
}

// Checks one manager against the schema; adds its item sizes to the running totals.
void checkManager(const json& manager, std::int64_t& total, std::int64_t& reclaimable) {
    EXPECT_EQ(keysOf(manager), (std::set<std::string>{"kind", "displayName", "detected", "version", "totalBytes",
                                                      "reclaimableBytes", "summary", "quickWins", "items", "rows"}));
    const auto kind = managerKindFromRaw(manager.at("kind").get<std::string>());
    ASSERT_TRUE(kind);
    EXPECT_EQ(manager.at("displayName"), std::string(displayName(*kind)));
    EXPECT_TRUE(manager.at("detected").is_boolean());
    expectStringOrNull(manager.at("version"), "version");
    EXPECT_TRUE(manager.at("summary").is_string());
    for (const auto& win : manager.at("quickWins")) {
        EXPECT_EQ(keysOf(win), (std::set<std::string>{"id", "title", "command", "detail"}));
        expectUuid(win.at("id"));
    }

    std::int64_t itemTotal = 0;
    std::int64_t itemReclaimable = 0;
    std::map<std::string, int> seenInRows;
    for (const auto& item : manager.at("items")) {
        EXPECT_EQ(keysOf(item), (std::set<std::string>{"id", "name", "version", "path", "bytes", "size", "tier",
                                                       "verdict", "verdictText", "evidence", "identity",
                                                       "reclaimCommand"}));
        expectUuid(item.at("id"));
        seenInRows[item.at("id").get<std::string>()] = 0;
        EXPECT_TRUE(item.at("name").is_string());
        for (const char* key : {"version", "path", "identity", "reclaimCommand"}) {
            expectStringOrNull(item.at(key), key);
        }
        const json& bytes = item.at("bytes");
        ASSERT_TRUE(bytes.is_number_integer() || bytes.is_null());
        EXPECT_EQ(item.at("size") == "\u2014", bytes.is_null());
        const std::string tier = item.at("tier");
        EXPECT_TRUE(tier == "safeByDesign" || tier == "orphanCandidate" || tier == "signalOnly") << tier;
        const std::set<std::string> verdicts{"SAFE", "LIKELY UNUSED", "IN USE", "DEPENDENCY"};
        EXPECT_TRUE(verdicts.contains(item.at("verdict").get<std::string>()));
        EXPECT_TRUE(item.at("verdictText").is_string());
        for (const auto& evidence : item.at("evidence")) {
            const std::string evidenceKind = evidence.at("kind");
            std::set<std::string> expected{"kind", "summary"};
            if (evidenceKind == "lastUsed") {
                expected.insert("at");
                EXPECT_TRUE(evidence.at("at").is_number());
            } else if (evidenceKind == "notDefaultVersion") {
                expected.insert("defaultVersion");
            } else if (evidenceKind == "supersededPatch") {
                expected.insert("newestInSeries");
            } else {
                EXPECT_TRUE(evidenceKind == "noDependents" || evidenceKind == "managerDefinesPrunable") << evidenceKind;
            }
            EXPECT_EQ(keysOf(evidence), expected);
        }
        if (bytes.is_number_integer()) {
            itemTotal += bytes.get<std::int64_t>();
            if (tier == "orphanCandidate") {
                itemReclaimable += bytes.get<std::int64_t>();
            }
        }
    }
    EXPECT_EQ(manager.at("totalBytes").get<std::int64_t>(), itemTotal);
    EXPECT_EQ(manager.at("reclaimableBytes").get<std::int64_t>(), itemReclaimable);
    total += itemTotal;
    reclaimable += itemReclaimable;

    // Rows name every item exactly once, largest first.
    std::int64_t previous = std::numeric_limits<std::int64_t>::max();
    for (const auto& row : manager.at("rows")) {
        const std::string type = row.at("type");
        std::int64_t sortBytes = -1;
        if (type == "item") {
            EXPECT_EQ(keysOf(row), (std::set<std::string>{"id", "type", "item"}));
            EXPECT_EQ(row.at("id"), "item-" + row.at("item").get<std::string>());
            ++seenInRows.at(row.at("item"));
            for (const auto& item : manager.at("items")) {
                if (item.at("id") == row.at("item") && item.at("bytes").is_number()) {
                    sortBytes = item.at("bytes");
                }
            }
        } else {
            ASSERT_EQ(type, "group");
            EXPECT_EQ(keysOf(row),
                      (std::set<std::string>{"id", "type", "title", "keep", "superseded", "totalBytes", "summary"}));
            ++seenInRows.at(row.at("keep"));
            EXPECT_FALSE(row.at("superseded").empty());
            for (const auto& id : row.at("superseded")) {
                ++seenInRows.at(id);
            }
            sortBytes = row.at("totalBytes");
        }
        EXPECT_LE(sortBytes, previous);
        previous = sortBytes;
    }
    for (const auto& [id, count] : seenInRows) {
        EXPECT_EQ(count, 1) << id;
    }
}

} // namespace

void checkReportDocument(const json& document) {
    EXPECT_EQ(keysOf(document), (std::set<std::string>{"scannedAt", "sizeUnit", "totalBytes", "reclaimableBytes",
                                                       "inventoriedCount", "managers"}));
    EXPECT_TRUE(document.at("scannedAt").is_number());
    EXPECT_TRUE(document.at("sizeUnit") == "decimal" || document.at("sizeUnit") == "binary");
    std::int64_t total = 0;
    std::int64_t reclaimable = 0;
    std::int64_t inventoried = 0;
    std::vector<std::string> kinds;
    for (const auto& manager : document.at("managers")) {
        checkManager(manager, total, reclaimable);
        kinds.push_back(manager.at("kind"));
        if (manager.at("detected").get<bool>()) {
            inventoried += static_cast<std::int64_t>(manager.at("items").size());
        }
    }
    std::vector<std::string> ordered = kinds;
    std::stable_sort(ordered.begin(), ordered.end(), [](const std::string& a, const std::string& b) {
        return *managerKindFromRaw(a) < *managerKindFromRaw(b);
    });
    EXPECT_EQ(kinds, ordered);
    EXPECT_EQ(document.at("totalBytes").get<std::int64_t>(), total);
    EXPECT_EQ(document.at("reclaimableBytes").get<std::int64_t>(), reclaimable);
    EXPECT_EQ(document.at("inventoriedCount").get<std::int64_t>(), inventoried);
}

} // namespace kelvo::test
