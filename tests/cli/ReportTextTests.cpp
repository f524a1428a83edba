#include "cli/ReportOptions.h"
#include "cli/ReportText.h"

#include "adapters/Sources.h"
#include "inventory/DisplayText.h"
#include "inventory/ReportJson.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <cstdio>
#include <cstdlib>
#include <regex>
#include <tuple>

#include <fcntl.h>
#include <unistd.h>

namespace kelvo {
namespace {

// Sizes go through the user's locale, read once: pin it before any test runs.
const bool pinnedLocale = ::setenv("LC_ALL", "C", 1) == 0;

// A name as a hostile listing could hand it over: terminal controls and bytes that are not UTF-8.
const std::string evil = "evil\x1b[31mred\x1b]0;owned\x07\xff";

// Items as {id, name, version, path, bytes, tier, evidence, identity, command}.
ScanResult fixture() {
    using Item = DependencyItem;
    constexpr Tier orphan = Tier::orphanCandidate;
    ManagerReport brew{ManagerKind::homebrew, true, "4.2.0", {}, {}};
    brew.items = {Item{{}, "openssl@3", "3.2.1", {}, 45'000'000, Tier::signalOnly, {}, "Cryptography library", {}},
        Item{{}, "caf\u00e9-\u00fcber", "1.0\r", {}, 12'300'000, orphan, {}, {}, "brew uninstall caf\u00e9-\u00fcber"},
        // A version equal to the name is not repeated; a command that had to be escaped is commented out.
        Item{{}, evil, evil, {}, 2'000'000, orphan, {Evidence::noDependents()}, {}, "brew uninstall '" + evil + "'"}};
    brew.quickWins = {
        QuickWin{Uuid::random(), "Remove unused dependencies", "brew autoremove", "Only dependencies.", 1'200'000}};
    ManagerReport npm{ManagerKind::npm, true, "10.2.4", {}, {}};
    npm.items = {Item{{}, "npm cache", {}, "/home/u/.npm/_cacache", 900'000'000, Tier::safeByDesign,
                     {Evidence::managerDefinesPrunable()}, {}, {}},
        Item{{}, "left\npad\u202e", {}, {}, {}, orphan, {}, "\u2066x\u2069 \u0085", {}}};
    ManagerReport nvm{ManagerKind::nvm, true, std::nullopt, {}, {}};
    nvm.items = {Item{{}, "v20.11.0", {}, {}, 300'000'000, Tier::signalOnly, {}, {}, {}},
        Item{{}, "v18.19.1", {}, {}, 110'000'000, orphan, {}, {}, {}},
        Item{{}, "v18.17.0", {}, {}, 100'000'000, orphan, {}, {}, "nvm uninstall v18.17.0"}};
    return ScanResult{0,
        {brew, npm, ManagerReport::notDetected(ManagerKind::pnpm), nvm, ManagerReport::notDetected(ManagerKind::bun)}};
}

std::string withoutColour(const std::string& s) { return std::regex_replace(s, std::regex("\x1b\\[[0-9;]*m"), ""); }

TEST(ReportText, AlignedByCodePointsEscapedAndColouredOnlyWhenStyled) {
    ASSERT_TRUE(pinnedLocale);
    const std::string styled = report::renderText(fixture(), SizeUnit::decimal, {true, true});
    EXPECT_EQ(withoutColour(styled),
        "~224.3 MB reclaimable of 1.47 GB total \u00b7 3 managers \u00b7 8 packages\n"
        "\n"
        "Managers \u2014 by size\n"
        "  npm       10.2.4   900 MB  2 globals        Prunable \u2014 npm decides\n"
        "  nvm                510 MB  3 Node versions  +210 MB reclaimable\n"
        "  Homebrew  4.2.0   59.3 MB  3 formulae       +14.3 MB reclaimable\n"
        "Not detected: pnpm \u00b7 bun\n"
        "3 of " +
            std::to_string(packageManagerCount()) +
            " managers detected \u00b7 8 packages inventoried\n"
            "\n"
            "npm 10.2.4 \u00b7 900 MB \u00b7 2 globals\n"
            "  2 rows \u00b7 largest first\n"
            "    SAFE           npm cache          900 MB\n"
            "        Evidence: Manager guarantees this is safe to prune\n"
            "        Verdict: Prunable by npm \u2014 npm removes only what nothing references. Kelvo "
            "never counts this as guaranteed savings.\n"
            "        Path: /home/u/.npm/_cacache\n"
            "    LIKELY UNUSED  left\\npad\\u202e         \u2014  \\u2066x\\u2069 \\u0085\n"
            "        Verdict: Nothing depends on this \u00b7 \u2014. If you don't use it directly, it's safe to "
            "reclaim.\n"
            "\n"
            "nvm \u00b7 510 MB \u00b7 3 Node versions\n"
            "  2 rows \u00b7 largest first\n"
            "    IN USE         v20.11.0              300 MB\n"
            "        Verdict: Currently in use \u2014 nothing to do.\n"
            "    LIKELY UNUSED  Node 18   2 versions  210 MB  2 patch releases \u00b7 keep only the newest\n"
            "        KEEP        v18.19.1  110 MB  newest Node 18 \u2014 nothing to do\n"
            "        SUPERSEDED  v18.17.0  100 MB\n"
            "          Reclaim: $ nvm uninstall v18.17.0\n"
            "\n"
            "Homebrew 4.2.0 \u00b7 59.3 MB \u00b7 3 formulae\n"
            "  1 safe quick win\n"
            "    Remove unused dependencies \u00b7 1.2 MB\n"
            "      $ brew autoremove\n"
            "      Only dependencies.\n"
            "  3 rows \u00b7 largest first\n"
            "    DEPENDENCY     openssl@3                            3.2.1    45 MB  Cryptography library\n"
            "        Verdict: Something installed depends on this \u2014 keep it unless you remove what needs it.\n"
            "    LIKELY UNUSED  caf\u00e9-\u00fcber                            1.0\\r  12.3 MB\n"
            "        Verdict: Nothing depends on this \u00b7 12.3 MB. If you don't use it directly, it's safe to "
            "reclaim.\n"
            "        Reclaim: $ brew uninstall caf\u00e9-\u00fcber\n"
            "    LIKELY UNUSED  evil\\x1b[31mred\\x1b]0;owned\\x07\\xff            2 MB\n"
            "        Evidence: No installed formula depends on this\n"
            "        Verdict: Nothing depends on this \u00b7 2 MB. If you don't use it directly, it's safe to "
            "reclaim.\n"
            "        Reclaim: # brew uninstall 'evil\\x1b[31mred\\x1b]0;owned\\x07\\xff'  (escaped; the exact "
            "command is in --json)\n");
    // Plain text is the same report without the padding, and without a single escape byte.
    const std::string plain = report::renderText(fixture(), SizeUnit::decimal, {false, false});
    const std::regex padding("(\\S) {2,}");
    EXPECT_EQ(std::regex_replace(plain, padding, "$1  "), std::regex_replace(withoutColour(styled), padding, "$1  "));
    EXPECT_EQ(plain.find('\x1b'), std::string::npos);
    for (const char* tag : {"\x1b[32mSAFE\x1b[0m", "\x1b[33mLIKELY UNUSED\x1b[0m", "\x1b[34mDEPENDENCY\x1b[0m"})
        EXPECT_NE(styled.find(tag), std::string::npos) << tag;
}

// Every size a report writes follows the unit; every bidirectional control and a tool's version are
// escaped wherever they are printed; a manager found holding nothing says so.
TEST(ReportText, BinarySizesEscapedControlsAndAManagerHoldingNothing) {
    ScanResult result = fixture();
    result.managers[0].version = "4.2\u202e";
    result.managers[2] = ManagerReport{ManagerKind::pnpm, true, std::nullopt, {}, {}};
    const std::string text = report::renderText(result, SizeUnit::binary);
    for (const std::string& wanted : std::vector<std::string>{"Homebrew  4.2\\u202e", "Homebrew 4.2\\u202e \u00b7 ",
             "  +" + formatBytes(210'000'000, SizeUnit::binary) + " reclaimable",
             "Nothing depends on this \u00b7 " + formatBytes(12'300'000, SizeUnit::binary) + ".",
             "\npnpm \u00b7 Zero KB \u00b7 Content-addressable store\n  Nothing inventoried.\n"})
        EXPECT_NE(text.find(wanted), std::string::npos) << wanted;
    const auto json = nlohmann::json::parse(renderJson(result, SizeUnit::binary));
    EXPECT_NE(json["managers"][0]["items"][1]["verdictText"].get<std::string>().find(
                  formatBytes(12'300'000, SizeUnit::binary)),
        std::string::npos);
    for (const std::string escaped : {"\\u061c", "\\u200e", "\\u200f", "\\u202a", "\\u202b", "\\u202c", "\\u202d",
             "\\u202e", "\\u2066", "\\u2067", "\\u2068", "\\u2069"}) {
        const std::string control = nlohmann::json::parse("\"" + escaped + "\""); // the character itself
        EXPECT_EQ(escapeForTerminal("a" + control + "b"), "a" + escaped + "b");
        EXPECT_EQ(escapeHostileInJson("\"" + control + "\""), "\"" + escaped + "\"");
    }
}

TEST(ReportText, NothingReclaimableHeadlineAndProgress) {
    EXPECT_TRUE(report::renderText(ScanResult{0, {fixture().managers[1]}}, SizeUnit::decimal)
                    .starts_with("Nothing reclaimable \u00b7 900 MB total \u00b7 1 manager \u00b7 2 packages\n"));
    // A version a project pins is kept in its group, and says by whom.
    ManagerReport nvm = fixture().managers[3];
    nvm.items[2] = {{}, "v18.17.0", {}, {}, 100'000'000, Tier::signalOnly, {Evidence::pinnedByProject("~/w")}, {}, {}};
    const std::string pinned = report::renderText(ScanResult{0, {nvm}}, SizeUnit::decimal, {false, false});
    EXPECT_NE(pinned.find("2 patch releases \u00b7 keep the newest and 1 pinned\n"
                          "        KEEP  v18.19.1  110 MB  newest Node 18 \u2014 nothing to do\n"
                          "        KEEP  v18.17.0  100 MB  Pinned by ~/w\n"),
        std::string::npos)
        << pinned;
    EXPECT_EQ(report::progressLine({}, 5), "Scanning\u2026 0 of 5 done");
    EXPECT_EQ(report::progressLine({ManagerKind::nvm, ManagerKind::homebrew}, 5),
        "Scanning\u2026 2 of 5 done: Homebrew \u00b7 nvm");
    // Counts of the managers still scanning that have measured something; cut to the terminal.
    const std::map<ManagerKind, ScanCoordinator::LiveCount> counts{{ManagerKind::homebrew, {9, 9000}},
        {ManagerKind::pnpm, {412'000, 1'900'000'000}}, {ManagerKind::bun, {1, 4096}}, {ManagerKind::npm, {}},
        {ManagerKind::projects, {0, 0, "searching ~/src \u00b7 12 folders"}}};
    const std::string line = report::progressLine({ManagerKind::homebrew}, 5, counts, SizeUnit::decimal);
    EXPECT_EQ(line,
        "Scanning\u2026 1 of 5 done: Homebrew \u2014 pnpm \u00b7 412,000 files \u00b7 1.9 GB \u2014 bun \u00b7 "
        "1 file \u00b7 4 KB \u2014 Projects \u00b7 searching ~/src \u00b7 12 folders");
    EXPECT_EQ(report::progressLine({ManagerKind::homebrew}, 5, counts, SizeUnit::decimal, 40),
        "Scanning\u2026 1 of 5 done: Homebrew \u2014 pnpm\u2026");
    EXPECT_EQ(report::progressLine({ManagerKind::homebrew}, 5, counts, SizeUnit::decimal, 500), line);
}

// textStyleForStandardOutput() with standard output on a new pseudo-terminal, or on /dev/null.
report::TextStyle styleWritingTo(bool terminal) {
    const int master = terminal ? ::posix_openpt(O_RDWR | O_NOCTTY) : -1;
    EXPECT_TRUE(!terminal || (master >= 0 && ::grantpt(master) == 0 && ::unlockpt(master) == 0)) << "no terminal";
    const int target = ::open(terminal ? ::ptsname(master) : "/dev/null", O_RDWR | O_NOCTTY);
    std::fflush(stdout);
    const int saved = ::dup(STDOUT_FILENO);
    ::dup2(target, STDOUT_FILENO);
    const report::TextStyle style = report::textStyleForStandardOutput();
    ::dup2(saved, STDOUT_FILENO);
    for (int fd : {saved, target, master}) ::close(fd);
    return style;
}

TEST(ReportText, StyledOnlyOnATerminalWithoutNoColor) {
    const std::tuple<bool, const char*, bool> cases[] = {
        {true, nullptr, true}, {true, "", true}, {true, "1", false}, {false, nullptr, false}};
    for (const auto& [terminal, noColor, styled] : cases) {
        noColor ? ::setenv("NO_COLOR", noColor, 1) : ::unsetenv("NO_COLOR");
        const report::TextStyle style = styleWritingTo(terminal);
        EXPECT_TRUE(style.color == styled && style.align == styled) << terminal << " " << (noColor ? noColor : "unset");
    }
    ::unsetenv("NO_COLOR");
}

TEST(ReportOptions, FlagsPrecedenceAndUsageErrors) {
    using Action = report::ReportOptions::Action;
    const auto both = report::parseOptions({"--binary", "--json"}), none = report::parseOptions({});
    EXPECT_TRUE(both.action == Action::report && both.json && both.unit == SizeUnit::binary && !none.json &&
                none.unit == SizeUnit::decimal);
    // --help wins over --version, which wins over a report; any unknown argument is a usage error.
    const std::pair<std::vector<std::string>, Action> cases[] = {{{"--json", "--version"}, Action::version},
        {{"--version", "-h"}, Action::help}, {{"--help", "--jsn"}, Action::usageError},
        {{"report"}, Action::usageError}, {{""}, Action::usageError}, {{"--projects"}, Action::usageError},
        {{"--projects="}, Action::usageError}}; // --projects needs a folder
    for (const auto& [arguments, action] : cases) EXPECT_EQ(report::parseOptions(arguments).action, action);

    // What goes to standard output and standard error, after the exit status.
    const auto handled = [](std::vector<std::string> arguments) {
        std::string out, err;
        const auto status = report::handleWithoutScan(report::parseOptions(arguments), out, err);
        return std::to_string(status.value_or(-1)) + "|" + out + "|" + err;
    };
    EXPECT_TRUE(std::regex_match(handled({"--version"}), std::regex("0\\|kelvo-report \\d+\\.\\d+\\.\\d+\n\\|")));
    EXPECT_TRUE(handled({"-h"}).starts_with("0|" + report::usageLine() + "\n") && handled({"-h"}).ends_with("\n|"));
    EXPECT_EQ(handled({"--\x1b[2J"}), "2||kelvo-report: unknown option '--\\x1b[2J'\n" + report::usageLine() +
                                          "\nTry 'kelvo-report --help' for more information.\n"); // escaped, never raw
    EXPECT_EQ(handled({"--json"}), "-1||") << "a report needs a scan";
    EXPECT_EQ(report::parseOptions({"--projects", "a b", "--projects=/c"}).projectFolders,
        (std::vector<std::string>{"a b", "/c"}));
}

} // namespace
} // namespace kelvo
