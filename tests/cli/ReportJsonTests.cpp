#include "ReportFixture.h"
#include "ReportSchema.h"

#include "cli/ReportJson.h"
#include "cli/TextEscape.h"
#include "inventory/Inventory.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <set>

namespace kelvo {
namespace {

using nlohmann::json;

TEST(ReportJson, FollowsTheSchemaAndItsNumbersAgree) {
    const ScanResult result = test::fixtureResult();
    const std::string text = report::renderJson(result, SizeUnit::decimal);
    const json document = json::parse(text); // strict: throws on invalid UTF-8 or a second document
    test::checkReportDocument(document);
    EXPECT_DOUBLE_EQ(document.at("scannedAt").get<double>(), 1733500000.25);
    EXPECT_EQ(document.at("sizeUnit"), "decimal");
    EXPECT_EQ(document.at("inventoriedCount"), 12);
    EXPECT_EQ(document.at("managers").size(), 5u);

    const json& nvm = document.at("managers").at(3);
    const json& group = nvm.at("rows").at(1); // after v20.11.0, the largest
    EXPECT_EQ(group.at("id"), "group-nvm-node-18");
    EXPECT_EQ(group.at("title"), "Node 18");
    EXPECT_EQ(group.at("superseded").size(), 2u);
    EXPECT_EQ(group.at("totalBytes"), 210'000'000);
    EXPECT_EQ(group.at("summary"), "3 patch releases \u00b7 keep only the newest");
    EXPECT_EQ(document.at("managers").at(2).at("summary"), "Content-addressable store");
}

TEST(ReportJson, HostileStringsAreRepairedAndNeverRaw) {
    const ScanResult result = test::fixtureResult();
    const std::string text = report::renderJson(result, SizeUnit::binary);
    EXPECT_EQ(report::repairUtf8(text), text) << "the dump is valid UTF-8";
    EXPECT_EQ(text.find('\x1b'), std::string::npos);
    EXPECT_EQ(text.find('\r'), std::string::npos);
    for (const char* raw : {"\u202e", "\u2066", "\u2069", "\u0085"}) {
        EXPECT_EQ(text.find(raw), std::string::npos) << raw;
    }
    EXPECT_NE(text.find("\\u202e"), std::string::npos);

    const json document = json::parse(text);
    EXPECT_EQ(document.at("sizeUnit"), "binary");
    const json& brew = document.at("managers").at(0);
    const json& npm = document.at("managers").at(1);
    const json& bun = document.at("managers").at(4);
    // Valid text round-trips exactly, escapes included; invalid bytes become U+FFFD.
    std::set<std::string> names;
    for (const auto& manager : {brew, npm}) {
        for (const auto& item : manager.at("items")) {
            names.insert(item.at("name"));
        }
    }
    EXPECT_TRUE(names.contains(test::escName));
    EXPECT_TRUE(names.contains(test::newlineName));
    EXPECT_TRUE(names.contains(test::bidiName));
    const json& bad = bun.at("items").at(0);
    EXPECT_EQ(bad.at("name"), "bad\ufffd\ufffdname\ufffd");
    EXPECT_EQ(bad.at("version"), "1.\ufffd");
    EXPECT_EQ(bad.at("size"), formatBytes(5'000, SizeUnit::binary));
    EXPECT_NE(bad.at("reclaimCommand").get<std::string>().find("bad\ufffd\ufffdname"), std::string::npos);
}

TEST(ReportJson, ManagersInKindOrderWhateverTheInput) {
    ScanResult result;
    result.managers = {ManagerReport::notDetected(ManagerKind::bun), ManagerReport::notDetected(ManagerKind::homebrew)};
    const json document = json::parse(report::renderJson(result, SizeUnit::decimal));
    test::checkReportDocument(document);
    EXPECT_EQ(document.at("managers").at(0).at("kind"), "homebrew");
    EXPECT_EQ(document.at("managers").at(1).at("kind"), "bun");
    EXPECT_EQ(document.at("managers").at(1).at("version"), nullptr);
    EXPECT_EQ(document.at("totalBytes"), 0);
    EXPECT_TRUE(document.at("managers").at(0).at("rows").empty());
}

} // namespace
} // namespace kelvo
