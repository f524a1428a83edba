#include "ReportFixture.h"

#include "inventory/ReportJson.h"
#include "inventory/DisplayText.h"
#include "model/SizeFormat.h"

#include <gtest/gtest.h>

namespace kelvo {
namespace {

using nlohmann::json;

TEST(ReportJson, FollowsTheSchemaWithItsNumbersAgreeing) {
    const json document = json::parse(renderJson(test::fixtureResult(), SizeUnit::decimal));
    test::checkReportDocument(document);
    EXPECT_DOUBLE_EQ(document.at("scannedAt").get<double>(), 1733500000.25);
    EXPECT_EQ(document.at("inventoriedCount"), 12);
    const json& group = document.at("managers").at(3).at("rows").at(1); // after v20.11.0, the largest
    EXPECT_EQ(group.at("id"), "group-nvm-node-18");
    EXPECT_EQ(group.at("superseded").size(), 2u);
    EXPECT_EQ(group.at("totalBytes"), 210'000'000);
    const json& old = document.at("managers").at(3).at("items").at(2);
    EXPECT_EQ(old.at("verdict"), "LIKELY UNUSED");
    EXPECT_EQ(old.at("evidence"), json::parse(R"json([
        {"kind": "notDefaultVersion", "defaultVersion": "v20.11.0", "summary": "Not your default version (v20.11.0)"},
        {"kind": "supersededPatch", "newestInSeries": "v18.19.1", "summary": "Superseded by v18.19.1"}])json"));
    EXPECT_DOUBLE_EQ(document.at("managers").at(0).at("items").at(1).at("evidence").at(1).at("at").get<double>(),
                     1700000000.5);
    EXPECT_EQ(document.at("managers").at(0).at("items").at(0).at("verdict"), "DEPENDENCY");

    // Managers in kind order whatever the input order; absent values are null.
    ScanResult result;
    result.managers = {ManagerReport::notDetected(ManagerKind::bun), ManagerReport::notDetected(ManagerKind::homebrew)};
    const json reordered = json::parse(renderJson(result, SizeUnit::decimal));
    test::checkReportDocument(reordered);
    EXPECT_EQ(reordered.at("managers").at(0).at("kind"), "homebrew");
    EXPECT_EQ(reordered.at("managers").at(1).at("version"), nullptr);
}

TEST(ReportJson, HostileStringsAreRepairedAndEscapedNeverRaw) {
    const std::string text = renderJson(test::fixtureResult(), SizeUnit::binary);
    const json document = json::parse(text); // strict: throws on invalid UTF-8 or a second document
    EXPECT_EQ(document.at("sizeUnit"), "binary");
    for (const char* raw : {"\x1b", "\r", "\u202e", "\u2066", "\u2069", "\u0085"}) {
        EXPECT_EQ(text.find(raw), std::string::npos) << raw;
    }
    // Valid text round-trips exactly, escapes included; invalid bytes become U+FFFD.
    EXPECT_EQ(document.at("managers").at(0).at("items").at(2).at("name"), test::escName);
    EXPECT_EQ(document.at("managers").at(1).at("items").at(1).at("name"), test::bidiName);
    const json& bad = document.at("managers").at(4).at("items").at(0);
    EXPECT_EQ(bad.at("name"), "bad\ufffd\ufffdname\ufffd");
    EXPECT_EQ(bad.at("version"), "1.\ufffd");
    EXPECT_EQ(bad.at("size"), formatBytes(5'000, SizeUnit::binary));
    EXPECT_NE(bad.at("reclaimCommand").get<std::string>().find("bad\ufffd\ufffdname"), std::string::npos);
}

} // namespace
} // namespace kelvo
