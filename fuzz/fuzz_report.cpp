// The whole terminal report over a scan result made of fuzzed texts: every field that comes from
// the disk or a tool (names, versions, paths, identities, commands, evidence versions) in every
// manager. Neither the text nor the JSON may carry a raw control or bidi character, and the JSON
// must parse.

#include "FuzzSupport.h"

#include "cli/ReportJson.h"
#include "cli/ReportText.h"
#include "inventory/DisplayText.h"
#include "system/CommandRunner.h"

#include <nlohmann/json.hpp>

namespace {

// Raw hostile code points in valid UTF-8 text, the line feed allowed (it separates lines).
bool holdsHostile(std::string_view text) {
    for (std::size_t i = 0; i < text.size();) {
        const auto lead = static_cast<unsigned char>(text[i]);
        char32_t point = lead;
        std::size_t length = 1;
        if (lead >= 0xF0) {
            length = 4;
            point = lead & 0x07;
        } else if (lead >= 0xE0) {
            length = 3;
            point = lead & 0x0F;
        } else if (lead >= 0xC0) {
            length = 2;
            point = lead & 0x1F;
        }
        for (std::size_t k = 1; k < length && i + k < text.size(); ++k) {
            point = (point << 6) | (static_cast<unsigned char>(text[i + k]) & 0x3F);
        }
        if (point != U'\n' && kelvo::isHostileCodePoint(point)) {
            return true;
        }
        i += length;
    }
    return false;
}

} // namespace

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
            FUZZ_REQUIRE(!holdsHostile(text));
        }
    }
    const std::string json = kelvo::report::renderJson(result, kelvo::SizeUnit::decimal);
    FUZZ_REQUIRE(kelvo::repairUtf8(json) == json);
    FUZZ_REQUIRE(!holdsHostile(json));
    FUZZ_REQUIRE(!nlohmann::json::parse(json, nullptr, false).is_discarded());
    return 0;
}
