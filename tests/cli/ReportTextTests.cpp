#include "ReportFixture.h"

#include "cli/ReportOptions.h"
#include "cli/ReportText.h"
#include "inventory/DisplayText.h"
#include "inventory/Inventory.h"
#include "model/Utf8.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <regex>
#include <sstream>

namespace kelvo {
namespace {

// Sizes go through the user's locale, read once: pin it before any test runs.
const bool pinnedLocale = ::setenv("LC_ALL", "C", 1) == 0;

// The text with its SGR colour sequences removed; any other escape byte is left in.
std::string withoutColour(const std::string& text) {
    static const std::regex sgr("\x1b\\[[0-9;]*m");
    return std::regex_replace(text, sgr, "");
}

TEST(ReportText, HostileTextIsEscapedInPlainAndStyledOutput) {
    ASSERT_TRUE(pinnedLocale);
    const ScanResult result = test::fixtureResult();
    for (const bool styled : {false, true}) {
        const std::string text = report::renderText(result, SizeUnit::decimal, {styled, styled});
        EXPECT_EQ(text.find('\x1b') != std::string::npos, styled);
        // Only line feeds and colour sequences: no byte a terminal would act on, no bidi control.
        const std::string plain = withoutColour(text);
        const auto raw = [](unsigned char c) { return c < 0x20 ? c != '\n' : c == 0x7f; };
        EXPECT_EQ(std::count_if(plain.begin(), plain.end(), raw), 0);
        EXPECT_EQ(repairUtf8(plain), plain) << "invalid UTF-8 printed raw";
        for (const char* bidi : {"\u202e", "\u2066", "\u2069", "\u0085"}) {
            EXPECT_EQ(plain.find(bidi), std::string::npos) << bidi;
        }
        for (const char* escaped : {"evil\\x1b[31mred\\x1b]0;owned\\x07", "left\\npad", "\\u202egnp.exe",
                                    "bad\\xff\\xfename\\xc3", "1.0.0\\r", "\\u2066isolate\\u2069 and \\u0085",
                                    "a package\\x1b[2J", "1.\\xff"}) {
            EXPECT_NE(plain.find(escaped), std::string::npos) << escaped;
        }
    }
}

TEST(ReportText, SummaryRailAndSectionsInOrder) {
    const std::string text = report::renderText(test::fixtureResult(), SizeUnit::decimal);
    // Managers by size (npm 900 MB, nvm 510 MB, Homebrew 51 MB, bun 5 KB), then their sections in the
    // same order, each with quick wins and rows in row order.
    const std::vector<std::string> inOrder{
        "~216 MB reclaimable of 1.46 GB total \u00b7 4 managers \u00b7 12 packages\n",
        "\n  npm  10.2.4  900 MB  3 globals  Prunable \u2014 npm decides\n",
        "\n  nvm  510 MB  5 Node versions  +210 MB reclaimable\n",
        "\n  Homebrew  4.2.0  51 MB  3 formulae  +6 MB reclaimable\n",
        "\n  bun  1.0.25  5 KB  1 global  +5 KB reclaimable\n",
        "\nNot detected: pnpm\n4 of 5 managers detected \u00b7 12 packages inventoried\n",
        "\nnpm 10.2.4 \u00b7 900 MB \u00b7 3 globals\n",
        "  1 safe quick win\n    Clean the npm cache\n      $ npm cache clean --force\n"
        "      npm re-downloads what it needs.\n",
        "    SAFE  npm cache  900 MB\n"
        "        Evidence: Manager guarantees this is safe to prune\n"
        "        Verdict: Prunable via `npm cache clean --force` \u2014 npm removes only what nothing "
        "references. Kelvo never counts this as guaranteed savings.\n"
        "        Reclaim: $ npm cache clean --force\n"
        "        Path: /home/u/.npm/_cacache\n",
        "\nnvm \u00b7 510 MB \u00b7 5 Node versions\n",
        "    IN USE  v20.11.0  300 MB\n"
        "        Verdict: Currently in use \u2014 nothing to do.\n"
        "    LIKELY UNUSED  Node 18  3 versions  210 MB  3 patch releases \u00b7 keep only the newest\n"
        "        KEEP  v18.19.1  110 MB  newest Node 18 \u2014 nothing to do\n"
        "        SUPERSEDED  v18.18.2  \u2014\n"
        "        SUPERSEDED  v18.17.0  100 MB\n"
        "    IN USE  system  \u2014\n",
        "    DEPENDENCY  openssl@3  3.2.1  45 MB  Cryptography library\n",
        // A version equal to the name is not repeated.
        "    LIKELY UNUSED  evil\\x1b[31mred\\x1b]0;owned\\x07  2 MB\n"};
    EXPECT_TRUE(text.starts_with(inOrder.front())) << text;
    std::size_t at = 0;
    for (const std::string& part : inOrder) {
        const std::size_t found = text.find(part, at);
        ASSERT_NE(found, std::string::npos) << "missing or out of order:\n" << part << "\nin:\n" << text;
        at = found + 1;
    }
}

TEST(ReportText, StyledColumnsAlignByCodePoints) {
    ManagerReport npm{ManagerKind::npm, true, std::nullopt, {}, {}};
    // 2-byte characters (bytes != columns), no version, a tab escaped into two columns.
    using Row = std::tuple<std::string, std::optional<std::string>, std::int64_t>;
    for (const auto& [name, version, bytes] : std::vector<Row>{
             {"caf\u00e9-\u00fcber-na\u00efve", "1.0.0", 12'300'000}, {"a", std::nullopt, 1'000},
             {"tab\tname", "\u00e9", 999'000'000'000}}) {
        npm.items.push_back(
            DependencyItem{Uuid::random(), name, version, {}, bytes, Tier::orphanCandidate, {}, {}, {}});
    }
    const std::string text = withoutColour(report::renderText(ScanResult{0, {npm}}, SizeUnit::decimal, {true, true}));
    std::vector<std::size_t> sizeEnds;
    std::istringstream stream(text);
    for (std::string line; std::getline(stream, line);) {
        // Code points counted here, independently of the report's own width function.
        const auto codePoints = std::count_if(line.begin(), line.end(), [](char c) { return (c & 0xC0) != 0x80; });
        if (line.starts_with("    LIKELY UNUSED")) sizeEnds.push_back(static_cast<std::size_t>(codePoints));
    }
    ASSERT_EQ(sizeEnds.size(), 3u) << text;
    EXPECT_TRUE(sizeEnds[0] == sizeEnds[1] && sizeEnds[1] == sizeEnds[2]) << text;
}

TEST(ReportText, NothingDetectedAndProgress) {
    ScanResult result;
    for (ManagerKind kind : allManagerKinds) result.managers.push_back(ManagerReport::notDetected(kind));
    EXPECT_EQ(report::renderText(result, SizeUnit::decimal),
              "Nothing reclaimable \u00b7 Zero KB total \u00b7 0 managers \u00b7 0 packages\n"
              "\n"
              "Not detected: Homebrew \u00b7 npm \u00b7 pnpm \u00b7 nvm \u00b7 bun\n"
              "0 of 5 managers detected \u00b7 0 packages inventoried\n");
    EXPECT_EQ(report::progressLine({}, 5), "Scanning\u2026 0 of 5 done");
    EXPECT_EQ(report::progressLine({ManagerKind::nvm, ManagerKind::homebrew}, 5),
              "Scanning\u2026 2 of 5 done: Homebrew \u00b7 nvm");
}

TEST(ReportOptions, ParsesFlagsAndRejectsUnknownOnes) {
    using Action = report::ReportOptions::Action;
    const auto options = report::parseOptions({"--binary", "--json"});
    EXPECT_TRUE(options.action == Action::report && options.json && options.unit == SizeUnit::binary);
    EXPECT_TRUE(!report::parseOptions({}).json && report::parseOptions({}).unit == SizeUnit::decimal);
    // --help wins over --version, which wins over a report; any unknown argument is a usage error.
    const std::vector<std::pair<std::vector<std::string>, Action>> cases{
        {{"--json", "--version"}, Action::version}, {{"--version", "-h"}, Action::help},
        {{"--jsn"}, Action::usageError},          {{"--help", "-x"}, Action::usageError},
        {{"report"}, Action::usageError},          {{"--json", ""}, Action::usageError}};
    for (const auto& [arguments, action] : cases) EXPECT_EQ(report::parseOptions(arguments).action, action);

    std::string out;
    std::string err;
    EXPECT_EQ(report::handleWithoutScan(report::parseOptions({"--\x1b[2J"}), out, err), 2);
    EXPECT_EQ(out, "");
    EXPECT_NE(err.find("Usage: kelvo-report"), std::string::npos);
    EXPECT_NE(err.find("unknown option '--\\x1b[2J'"), std::string::npos); // escaped, never raw
    EXPECT_FALSE(report::handleWithoutScan(report::parseOptions({"--json"}), out, err));
}

} // namespace
} // namespace kelvo
