// Text from the disk and the tools on its way out: escaped alone, and in both reports over a scan
// result whose every such field is one of the input's lines. Clean text stays as it is; nothing
// printed holds a raw control or bidi character or invalid UTF-8; the JSON reads back repaired.

#include "cli/ReportText.h"
#include "inventory/DisplayText.h"
#include "inventory/ReportJson.h"
#include "model/Utf8.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

using namespace kelvo;

// A failed property aborts like a crash, so libFuzzer keeps the input.
#define FUZZ_REQUIRE(condition)                                                                                        \
    ((condition)                                                                                                       \
            ? void()                                                                                                   \
            : (std::fprintf(stderr, "property failed: %s (%s:%d)\n", #condition, __FILE__, __LINE__), std::abort()))

namespace {

// Whether valid UTF-8 text holds a raw hostile code point (a line feed passes when allowed, since
// it separates the lines of a report).
bool holdsHostile(std::string_view text, bool lineFeedAllowed = false) {
    for (std::size_t at = 0; at < text.size(); at += decodeUtf8(text, at).length) {
        const char32_t point = decodeUtf8(text, at).codePoint;
        if (isHostileCodePoint(point) && !(lineFeedAllowed && point == U'\n')) return true;
    }
    return false;
}

std::string_view asText(const std::uint8_t* d, std::size_t n) { return {reinterpret_cast<const char*>(d), n}; }

// The pieces between line feeds, empty ones kept.
std::vector<std::string> splitLines(std::string_view text) {
    std::vector<std::string> lines(1);
    for (const char c : text) c == '\n' ? void(lines.emplace_back()) : lines.back().push_back(c);
    return lines;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto input = asText(data, size);
    const std::string escaped = escapeForTerminal(input);
    FUZZ_REQUIRE(isValidUtf8(escaped) && !holdsHostile(escaped));
    FUZZ_REQUIRE(escaped == input || !isValidUtf8(input) || holdsHostile(input));

    const auto lines = splitLines(input);
    // Short fields: escaping needs no more, and a run stays fast.
    auto take = [&lines, next = std::size_t{0}]() mutable { return lines[next++ % lines.size()].substr(0, 40); };
    ScanResult result{1.7e9, {}};
    for (const auto kind : allManagerKinds) {
        // Braced lists run in order: each take() is the next line.
        ManagerReport report{kind, take().size() % 5 != 0, take(), {}, {{Uuid::random(), take(), take(), take()}}};
        for (const Tier tier : {Tier::safeByDesign, Tier::orphanCandidate, Tier::signalOnly}) {
            report.items.push_back({Uuid::random(), (kind == ManagerKind::nvm ? "v" : "") + take(), take(), take(),
                std::int64_t(take().size()) * 1'000'003 - 5, tier,
                {Evidence::notDefaultVersion(take()), Evidence::lastUsed(take().size() * 9e5)}, take(), take()});
        }
        result.managers.push_back(report);
    }
    const std::string text = report::renderText(result, SizeUnit::decimal, {false, true});
    FUZZ_REQUIRE(isValidUtf8(text) && !holdsHostile(text, true));
    const std::string json = renderJson(result, SizeUnit::binary);
    FUZZ_REQUIRE(isValidUtf8(json) && !holdsHostile(json, true));
    const auto back = decodeReport(nlohmann::json::parse(json)); // a parse error aborts the run
    for (std::size_t i = 0; i < 15; ++i) {
        const DependencyItem& sent = result.managers[i / 3].items[i % 3];
        const DependencyItem& read = back.value().managers.at(i / 3).items.at(i % 3);
        FUZZ_REQUIRE(read.name == repairUtf8(sent.name) && read.reclaimCommand == repairUtf8(*sent.reclaimCommand) &&
                     read.evidence.at(0).version == repairUtf8(sent.evidence[0].version));
    }
    return 0;
}
