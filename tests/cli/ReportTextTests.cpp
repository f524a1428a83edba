#include "ReportFixture.h"

#include "cli/ReportOptions.h"
#include "cli/ReportText.h"
#include "cli/TextEscape.h"
#include "inventory/Inventory.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <sstream>

namespace kelvo {
namespace {

// Sizes go through the user's locale, read once: pin it before any test runs.
const bool pinnedLocale = ::setenv("LC_ALL", "C", 1) == 0;

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> out;
    std::istringstream stream(text);
    for (std::string line; std::getline(stream, line);) {
        out.push_back(line);
    }
    return out;
}

std::string withoutColour(const std::string& text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\x1b') {
            i = text.find('m', i);
            continue;
        }
        out.push_back(text[i]);
    }
    return out;
}

// No byte a terminal would act on: only line feeds and, when colour is on, SGR sequences.
void expectTerminalSafe(const std::string& text, bool colour) {
    EXPECT_EQ(report::repairUtf8(text), text) << "invalid UTF-8 printed raw";
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto byte = static_cast<unsigned char>(text[i]);
        if (byte == '\x1b' && colour) {
            const std::size_t end = text.find('m', i);
            ASSERT_NE(end, std::string::npos);
            EXPECT_EQ(text.substr(i + 1, end - i).find_first_not_of("[0123456789;m"), std::string::npos)
                << "not a colour sequence at " << i;
            i = end;
            continue;
        }
        EXPECT_TRUE(byte == '\n' || (byte >= 0x20 && byte != 0x7f)) << "raw control byte " << int(byte) << " at " << i;
    }
    for (const char* raw : {"\u202e", "\u2066", "\u2069", "\u0085"}) {
        EXPECT_EQ(text.find(raw), std::string::npos) << raw;
    }
}

TEST(ReportText, HostileTextIsEscapedInPlainAndStyledOutput) {
    ASSERT_TRUE(pinnedLocale);
    const ScanResult result = test::fixtureResult();
    for (const bool styled : {false, true}) {
        const std::string text = report::renderText(result, SizeUnit::decimal, {styled, styled});
        expectTerminalSafe(text, styled);
        const std::string plain = withoutColour(text);
        for (const char* escaped : {"evil\\x1b[31mred\\x1b]0;owned\\x07", "left\\npad", "\\u202egnp.exe",
                                    "bad\\xff\\xfename\\xc3", "1.0.0\\r", "\\u2066isolate\\u2069 and \\u0085",
                                    "a package\\x1b[2J", "1.\\xff"}) {
            EXPECT_NE(plain.find(escaped), std::string::npos) << escaped;
        }
        EXPECT_EQ(text.find('\x1b') != std::string::npos, styled);
    }
}

TEST(ReportText, SummaryRailAndSections) {
    const ScanResult result = test::fixtureResult();
    const std::string text = report::renderText(result, SizeUnit::decimal);
    const auto all = lines(text);
    ASSERT_GE(all.size(), 10u);
    EXPECT_EQ(all[0], "~" + formatBytes(reclaimableBytes(result), SizeUnit::decimal) + " reclaimable of " +
                          formatBytes(result.totalBytes(), SizeUnit::decimal) +
                          " total \u00b7 4 managers \u00b7 12 packages");
    // Managers by size: npm (900 MB), nvm (510 MB), Homebrew (51 MB), bun (5 KB).
    const auto npm = text.find("\n  npm  10.2.4  900 MB  3 globals  Prunable \u2014 npm decides\n");
    const auto nvm = text.find("\n  nvm  510 MB  5 Node versions  +210 MB reclaimable\n");
    const auto brew = text.find("\n  Homebrew  4.2.0  51 MB  3 formulae  +6 MB reclaimable\n");
    const auto bun = text.find("\n  bun  1.0.25  5 KB  1 global  +5 KB reclaimable\n");
    EXPECT_NE(npm, std::string::npos);
    EXPECT_LT(npm, nvm);
    EXPECT_LT(nvm, brew);
    EXPECT_LT(brew, bun);
    EXPECT_NE(bun, std::string::npos);
    EXPECT_NE(text.find("\nNot detected: pnpm\n4 of 5 managers detected \u00b7 12 packages inventoried\n"),
              std::string::npos);

    // Sections in the same order, each with quick wins and rows in row order.
    const auto npmSection = text.find("\nnpm 10.2.4 \u00b7 900 MB \u00b7 3 globals\n");
    const auto nvmSection = text.find("\nnvm \u00b7 510 MB \u00b7 5 Node versions\n");
    EXPECT_LT(bun, npmSection);
    EXPECT_LT(npmSection, nvmSection);
    EXPECT_NE(text.find("  1 safe quick win\n    Clean the npm cache\n      $ npm cache clean --force\n"
                        "      npm re-downloads what it needs.\n"),
              std::string::npos);
    EXPECT_NE(text.find("    SAFE  npm cache  900 MB\n"
                        "        Evidence: Manager guarantees this is safe to prune\n"
                        "        Verdict: Prunable via `npm cache clean --force` \u2014 npm removes only what nothing "
                        "references. Kelvo never counts this as guaranteed savings.\n"
                        "        Reclaim: $ npm cache clean --force\n"
                        "        Path: /home/u/.npm/_cacache\n"),
              std::string::npos);
    EXPECT_NE(text.find("    DEPENDENCY  openssl@3  3.2.1  45 MB  Cryptography library\n"), std::string::npos);
    // A version equal to the name is not repeated.
    EXPECT_NE(text.find("    LIKELY UNUSED  evil\\x1b[31mred\\x1b]0;owned\\x07  2 MB\n"), std::string::npos);
    EXPECT_NE(text.find("    IN USE  v20.11.0  300 MB\n"
                        "        Verdict: Currently in use \u2014 nothing to do.\n"
                        "    LIKELY UNUSED  Node 18  3 versions  210 MB  3 patch releases \u00b7 keep only the "
                        "newest\n"
                        "        KEEP  v18.19.1  110 MB  newest Node 18 \u2014 nothing to do\n"
                        "        SUPERSEDED  v18.18.2  \u2014\n"
                        "        SUPERSEDED  v18.17.0  100 MB\n"
                        "    IN USE  system  \u2014\n"),
              std::string::npos)
        << text;
}

TEST(ReportText, StyledColumnsAlignByCodePoints) {
    ScanResult result;
    ManagerReport npm{ManagerKind::npm, true, std::nullopt, {}, {}};
    const auto add = [&](std::string name, std::optional<std::string> version, std::int64_t bytes) {
        DependencyItem item;
        item.id = Uuid::random();
        item.name = std::move(name);
        item.version = std::move(version);
        item.bytes = bytes;
        item.tier = Tier::orphanCandidate;
        npm.items.push_back(item);
    };
    add("caf\u00e9-\u00fcber-na\u00efve", "1.0.0", 12'300'000); // 2-byte characters: bytes != columns
    add("a", std::nullopt, 1'000);
    add("tab\tname", "\u00e9", 999'000'000'000);
    result.managers = {npm};
    const std::string text = withoutColour(report::renderText(result, SizeUnit::decimal, {true, true}));
    std::vector<std::size_t> sizeEnds;
    for (const auto& line : lines(text)) {
        if (line.starts_with("    LIKELY UNUSED")) {
            sizeEnds.push_back(report::displayWidth(line));
        }
    }
    ASSERT_EQ(sizeEnds.size(), 3u) << text;
    EXPECT_EQ(sizeEnds[0], sizeEnds[1]) << text;
    EXPECT_EQ(sizeEnds[1], sizeEnds[2]) << text;
}

TEST(ReportText, NothingDetected) {
    ScanResult result;
    for (ManagerKind kind : allManagerKinds) {
        result.managers.push_back(ManagerReport::notDetected(kind));
    }
    EXPECT_EQ(report::renderText(result, SizeUnit::decimal),
              "Nothing reclaimable \u00b7 Zero KB total \u00b7 0 managers \u00b7 0 packages\n"
              "\n"
              "Not detected: Homebrew \u00b7 npm \u00b7 pnpm \u00b7 nvm \u00b7 bun\n"
              "0 of 5 managers detected \u00b7 0 packages inventoried\n");
}

TEST(ReportText, ProgressLineNamesTheFinishedManagers) {
    EXPECT_EQ(report::progressLine({}, 5), "Scanning\u2026 0 of 5 done");
    EXPECT_EQ(report::progressLine({ManagerKind::nvm, ManagerKind::homebrew}, 5),
              "Scanning\u2026 2 of 5 done: Homebrew \u00b7 nvm");
}

TEST(ReportOptions, ParsesFlagsAndRejectsUnknownOnes) {
    using report::ReportOptions;
    auto options = report::parseOptions({});
    EXPECT_EQ(options.action, ReportOptions::Action::report);
    EXPECT_FALSE(options.json);
    EXPECT_EQ(options.unit, SizeUnit::decimal);
    options = report::parseOptions({"--binary", "--json"});
    EXPECT_EQ(options.action, ReportOptions::Action::report);
    EXPECT_TRUE(options.json);
    EXPECT_EQ(options.unit, SizeUnit::binary);
    EXPECT_EQ(report::parseOptions({"--json", "--version"}).action, ReportOptions::Action::version);
    EXPECT_EQ(report::parseOptions({"--version", "-h"}).action, ReportOptions::Action::help);

    for (const std::vector<std::string>& arguments :
         std::vector<std::vector<std::string>>{{"--jsn"}, {"--help", "-x"}, {"report"}, {"--json", ""}}) {
        std::string out;
        std::string err;
        EXPECT_EQ(report::handleWithoutScan(report::parseOptions(arguments), out, err), 2) << arguments.back();
        EXPECT_TRUE(out.empty());
        EXPECT_NE(err.find("Usage: kelvo-report"), std::string::npos);
    }
    std::string out;
    std::string err;
    EXPECT_EQ(report::handleWithoutScan(report::parseOptions({"--\x1b[2J"}), out, err), 2);
    EXPECT_EQ(err.find('\x1b'), std::string::npos);
    EXPECT_NE(err.find("unknown option '--\\x1b[2J'"), std::string::npos);
    EXPECT_FALSE(report::handleWithoutScan(report::parseOptions({"--json"}), out, err));
}

TEST(ReportOptions, BinaryExitCodesAndStreams) {
    const std::string binary = std::string(KELVO_BINARY_DIR) + "/bin/kelvo-report";
    test::TempDir dir;
    int status = -1;
    const std::string out = test::runCapture(
        {"/bin/sh", "-c", "exec \"$0\" --no-such-option 2>\"$1\"", binary, dir / "stderr"}, &status);
    EXPECT_EQ(status, 2);
    EXPECT_TRUE(out.empty());
    EXPECT_NE(test::runCapture({"/bin/cat", dir / "stderr"}).find("unknown option '--no-such-option'"),
              std::string::npos);
    EXPECT_EQ(test::runCapture({binary, "--version"}, &status), "kelvo-report 1.0.0\n");
    EXPECT_EQ(status, 0);
    EXPECT_TRUE(test::runCapture({binary, "--help"}, &status).starts_with("Usage: kelvo-report"));
    EXPECT_EQ(status, 0);
}

} // namespace
} // namespace kelvo
