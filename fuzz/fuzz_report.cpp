// The whole terminal report over a scan result made of fuzzed texts: every field that comes from
// the disk or a tool (names, versions, paths, identities, commands, evidence versions) in every
// manager. Neither the text nor the JSON may carry a raw control or bidi character, and the JSON
// must parse.

#include "FuzzSupport.h"

#include "inventory/ReportJson.h"
#include "cli/ReportText.h"
#include "inventory/DisplayText.h"
#include "system/CommandRunner.h"

#include <nlohmann/json.hpp>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto lines = kelvo::fuzz::splitLines(kelvo::fuzz::asText(data, size));
    kelvo::ScanResult result;
    result.scannedAt = 1.7e9;
    std::size_t next = 0;
    const auto take = [&]() -> const std::string& { return lines[next++ % lines.size()]; };
    for (const auto kind : kelvo::allManagerKinds) {
        kelvo::ManagerReport report;
        report.kind = kind;
        report.detected = take().size() % 5 != 0;
        report.version = take();
        for (int i = 0; i < 3; ++i) {
            kelvo::DependencyItem item;
            item.name = kind == kelvo::ManagerKind::nvm ? "v" + take() : take();
            item.version = take();
            item.path = take();
            item.identity = take();
            item.reclaimCommand = take();
            item.bytes = static_cast<std::int64_t>(take().size()) * 1'000'003 - 5;
            item.tier = static_cast<kelvo::Tier>(i);
            item.evidence = {kelvo::Evidence::notDefaultVersion(take()), kelvo::Evidence::supersededPatch(take()),
                             kelvo::Evidence::lastUsed(static_cast<double>(take().size()) * 86400.0),
                             kelvo::Evidence::noDependents()};
            report.items.push_back(std::move(item));
        }
        result.managers.push_back(std::move(report));
    }

    for (const auto unit : {kelvo::SizeUnit::decimal, kelvo::SizeUnit::binary}) {
        for (const bool align : {false, true}) {
            const std::string text = kelvo::report::renderText(result, unit, {false, align});
            FUZZ_REQUIRE(kelvo::repairUtf8(text) == text);
            FUZZ_REQUIRE(!kelvo::fuzz::holdsHostile(text, true));
        }
    }
    const std::string json = kelvo::renderJson(result, kelvo::SizeUnit::decimal);
    FUZZ_REQUIRE(kelvo::repairUtf8(json) == json);
    FUZZ_REQUIRE(!kelvo::fuzz::holdsHostile(json, true));
    FUZZ_REQUIRE(!nlohmann::json::parse(json, nullptr, false).is_discarded());
    return 0;
}
