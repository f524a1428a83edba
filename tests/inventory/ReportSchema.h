#pragma once
// The kelvo-report JSON document against docs/report-json.md (also run on the binary's own output).
#include "inventory/Inventory.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <limits>
#include <map>
#include <regex>
#include <utility>

namespace kelvo::test {

using Json = nlohmann::ordered_json;

// The keys in document order with their types as "key:t " (n null, o object, a array, s string,
// b boolean, i integer, f other number) match the pattern.
inline void expectKeys(const Json& object, const std::string& pattern) {
    std::string keys;
    for (const auto& [key, value] : object.items()) keys += key + ':' + "noasbiif"[int(value.type())] + ' ';
    EXPECT_TRUE(object.is_object() && std::regex_match(keys, std::regex(pattern))) << keys << "\nnot " << pattern;
}

// Every key with its type, managers in kind order, and every item named exactly once by the rows,
// largest first. (What the values are is for the tests that know the scan.)
inline void checkReportDocument(const Json& document) {
    static const std::map<std::string, std::string> evidenceExtra{{"lastUsed", "at:[if] "},
        {"notUsedSinceInstall", "installedAt:[if] "}, {"noDependents", ""}, {"notDefaultVersion", "defaultVersion:s "},
        {"supersededPatch", "newestInSeries:s "}, {"managerDefinesPrunable", ""},
        {"oldStoreVersion", "storeVersion:s "}, {"oldGlobalFolder", "globalFolder:s "},
        {"projectUntouched", "at:[if] "}, {"projectActive", "at:[if] "}, {"noLockfile", ""}, {"commandWithheld", ""},
        {"projectGone", "project:s "}, {"markedAsCache", ""}, {"notDefaultToolchain", "defaultToolchain:s "},
        {"notGlobalVersion", "globalVersions:s "}, {"usedByVirtualenv", "virtualenv:s "},
        {"pinnedByProject", "project:s "}};
    expectKeys(document, "scannedAt:[if] sizeUnit:s totalBytes:i reclaimableBytes:i inventoriedCount:i managers:a ");
    int previousKind = -1;
    for (const Json& manager : document.at("managers")) {
        expectKeys(manager, "kind:s displayName:s detected:b version:[sn] totalBytes:i reclaimableBytes:i "
                            "summary:s unreadableFolders:i quickWins:a items:a rows:a ");
        const auto kind = managerKindFromRaw(manager.value("kind", ""));
        ASSERT_TRUE(kind && std::exchange(previousKind, int(*kind)) < int(*kind)) << "order: " << manager.at("kind");
        for (const Json& win : manager.at("quickWins")) expectKeys(win, "id:s title:s command:s detail:s bytes:[in] ");
        std::map<std::string, std::int64_t> sizes; // item id -> bytes, -1 when unknown
        std::map<std::string, int> named, once;    // item id -> how often the rows name it; should
        for (const Json& item : manager.at("items")) {
            expectKeys(item,
                "id:s name:s version:[sn] path:[sn] bytes:[in] freedBytes:[in] size:s tier:s verdict:s "
                "verdictText:s evidence:a identity:[sn] reclaimCommand:[sn] unreadableFolders:i tool:[sn] " +
                    std::string(
                        *kind == ManagerKind::projects ? "managedBy:[sn] project:[sn] restoreCommand:[sn] " : ""));
            const std::string id = item.at("id");
            sizes[id] = item.at("bytes").is_null() ? -1 : item.at("bytes").get<int64_t>();
            once[id] = 1;
            for (const Json& evidence : item.at("evidence")) // an unknown kind throws
                expectKeys(evidence, "kind:s " + evidenceExtra.at(evidence.value("kind", "")) + "summary:s ");
        }
        std::int64_t previous = std::numeric_limits<std::int64_t>::max();
        for (const Json& row : manager.at("rows")) {
            if (row.value("type", "") == "item") {
                expectKeys(row, "id:s type:s item:s ");
                ++named[row.at("item")];
            } else {
                expectKeys(row, "id:s type:s title:s keep:s superseded:a totalBytes:i summary:s ");
                ++named[row.at("keep")];
                for (const Json& id : row.at("superseded")) ++named[id];
            }
            const auto bytes = row.contains("item") ? sizes.at(row.at("item")) : row.at("totalBytes").get<int64_t>();
            EXPECT_LE(bytes, previous) << "not largest first: " << row;
            previous = bytes;
        }
        EXPECT_EQ(named, once) << "the rows do not name every item exactly once";
    }
}

} // namespace kelvo::test
