// Whole scans of a home built to hurt (hostile names, links out, special files, malformed manifests,
// hostile output, misbehaving tools) through the real runner, sizer, prober and coordinator; then
// directory answers that must not be joined to names. How reports print such names is tested there.

#include "adapters/BunAdapter.h"
#include "adapters/GoAdapter.h"
#include "adapters/HomebrewAdapter.h"
#include "adapters/NpmAdapter.h"
#include "adapters/NvmAdapter.h"
#include "adapters/PnpmAdapter.h"
#include "adapters/ProjectsAdapter.h"
#include "adapters/PythonAdapter.h"
#include "adapters/RustAdapter.h"
#include "adapters/Substitutes.h"
#include "adapters/YarnAdapter.h"
#include "knowledge/KnowledgeBase.h"
#include "model/Utf8.h"
#include "scan/MainQueue.h"
#include "system/CommandRunner.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <set>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace kelvo {
namespace {

using namespace std::chrono_literals;
using Kind = CommandError::Kind;
using Case = ReadOnlyCommand::Case;
using test::ok;
using Names = std::vector<std::string>;

const Names hostileNames{"with space", "it's", "dq\"uote", "semi;colon", "pipe|cat", "amp&bg", "$(touch PWNED)",
    "`touch PWNED`", "star*", "glob?[ab]", "-rf", "--help", "new\nline", "tab\tbed", "cr\rreturn", "\x1b[31mred\x1b[0m",
    "\x1b]0;title\x07", "rlo\xE2\x80\xAEgnp.exe", "isolate\xE2\x81\xA6x\xE2\x81\xA9", "invalid\xFF\xFEutf8",
    "overlong\xC0\xAF", "nel\xC2\x85line", "csi\xC2\2332J", "sep\xE2\x80\xA8line", "back\\slash", "~tilde",
    "dollar$HOME", "brace{a,b}", "del\x7f", "\xE2\x80\x8Fmark", "\xD8\234alm"};
const Names toolNames{"brew", "npm", "pnpm", "bun"};

// {"dependencies":{NAME:{"version":"1.0.0"},...}} as npm ls and bun's manifest write it.
std::string dependencyJson(const Names& names) {
    nlohmann::json dependencies = nlohmann::json::object();
    for (const auto& name : names) dependencies[name] = {{"version", "1.0.0"}};
    return nlohmann::json{{"dependencies", dependencies}}.dump(
        -1, ' ', false, nlohmann::json::error_handler_t::replace);
}

void specialFile(const std::string& path, mode_t type) {
    test::makeDirs(path.substr(0, path.rfind('/')));
    ASSERT_EQ(::mknod(path.c_str(), type | 0644, 0), 0) << path;
}

struct HostileHome {
    test::TempDir dir;

    HostileHome() {
        const std::string outside = dir / "outside", bun = dir / ".bun/install/global/node_modules/",
                          npm = dir / "npm/lib/node_modules/", yarn = dir / ".config/yarn/global/",
                          pnpm = dir / ".local/share/pnpm/global/5/",
                          package = R"({"version":"1","bin":{"t":"x","../x":"x"}})";
        test::writeFile(outside + "/blob", std::string(1 << 20, 'o'));
        // Every hostile name in each manager's folders and listings (pnpm's entries are links into its
        // .pnpm) and among the projects, and names that climb out of a folder when joined to it.
        Names listed = hostileNames;
        listed.insert(
            listed.end(), {"..", "../../../../usr", "a/../../..", "/etc", "@s/../../x", std::string("nul\0byte", 8)});
        Names npmGlobals = listed, bunGlobals = listed;
        npmGlobals.push_back("socket");
        bunGlobals.insert(
            bunGlobals.end(), {"@root/etc", "to-root", "fifo", "directory", "truncated", "binary", "deep", "shapes"});
        std::string formulae = "linked\nlinked/outside\n";
        for (const auto& name : listed) formulae += name.find_first_of("\n\r") == std::string::npos ? name + "\n" : "";
        test::makeDirs(pnpm + "node_modules/@scope");
        for (const auto& name : hostileNames) {
            test::writeFile(dir / (".nvm/versions/node/v" + name + "/bin/node"), "n");
            test::writeFile(dir / ("Cellar/" + name + "/1.0/f"), "f");
            test::writeFile(dir / ("go/bin/" + name), "p");
            test::writeFile(dir / (".rustup/toolchains/" + name + "/bin/rustc"), "r");
            test::writeFile(dir / (".cargo/bin/" + name), "c");
            test::writeFile(dir / (".pyenv/versions/" + name + "/bin/python"), "y");
            // A virtualenv whose project and interpreter are named through the hostile name.
            test::writeFile(dir / (".local/share/virtualenvs/" + name + "/.project"), dir / ("gone/" + name));
            test::writeFile(dir / (".local/share/virtualenvs/" + name + "/pyvenv.cfg"),
                "home = " + dir / (".pyenv/versions/" + name + "/../../../outside\n"));
            for (const auto& modules : {npm, bun, bun + "@scope/", yarn + "node_modules/"})
                test::writeFile(modules + name + "/package.json", package);
            bunGlobals.push_back("@scope/" + name);
            test::writeFile(pnpm + ".pnpm/" + name + "/node_modules/x/package.json", package);
            std::filesystem::create_symlink("../.pnpm/" + name + "/node_modules/x", pnpm + "node_modules/" + name);
            for (const char* file : {"/package-lock.json", "/node_modules/m/f", "/package.json"})
                test::writeFile(dir / ("projects/" + name + file), "{}");
        }
        // Items that are links out of their folder, to / or to the home: none may add to a size.
        for (const std::string& link : {dir / ".nvm/versions/node/v99.0.0", bun + "@root", bun + "to-root",
                 yarn + "node_modules/to-root", pnpm + "node_modules/to-root"})
            std::filesystem::create_symlink("/", link);
        std::filesystem::create_symlink(dir.path(), dir / "Cellar/linked");
        std::filesystem::create_symlink("../../../../../../outside", pnpm + "node_modules/fifo");
        // A FIFO blocks a plain open for reading; a socket cannot be opened at all.
        specialFile(dir / ".nvm/alias/default", S_IFIFO);
        specialFile(bun + "fifo/package.json", S_IFIFO);
        specialFile(npm + "socket/package.json", S_IFSOCK);
        test::makeDirs(bun + "directory/package.json");
        test::writeFile(bun + "truncated/package.json", R"({"version":"1.)");
        test::writeFile(bun + "binary/package.json", std::string("\0\xFF{\"version\0", 11));
        test::writeFile(bun + "deep/package.json", R"({"bin":)" + std::string(10'000, '[') + std::string(10'000, ']'));
        test::writeFile(bun + "shapes/package.json", R"({"version":["1"],"bin":{"a":{"b":1}},"name":null})");
        test::writeFile(bun + "dependency-only/package.json", package);
        for (const std::string& global : {dir / ".bun/install/global/", yarn, pnpm})
            test::writeFile(global + "package.json", dependencyJson(bunGlobals));
        // Caches where a folder is expected to be: a file, a FIFO, a link out; and real ones.
        for (const char* cache :
            {"npm-cache", ".bun/install/cache", ".local/share/pnpm/store", ".local/share/pnpm/store/v3", ".cache/yarn",
                ".nvm/.cache", ".cache/node-gyp", ".cache/Homebrew", ".cache/ms-playwright/chromium"})
            test::writeFile(dir / (std::string(cache) + "/f"), "f");
        test::writeFile(dir / ".cache/node/corepack", "not a folder");
        // Projects whose package.json is a FIFO (never opened), whose node_modules links out (never listed).
        specialFile(dir / "projects/fifo/package.json", S_IFIFO);
        test::writeFile(dir / "projects/fifo/node_modules/f", "f");
        test::writeFile(dir / "projects/linked/package.json", "{}");
        specialFile(dir / ".cache/pnpm", S_IFIFO);
        specialFile(dir / ".config/go/env", S_IFIFO);
        specialFile(dir / ".rustup/settings.toml", S_IFIFO);
        specialFile(dir / ".pyenv/version", S_IFIFO);
        std::filesystem::create_symlink(outside, dir / ".pyenv/versions/linked");
        nlohmann::json installs = nlohmann::json::object();
        for (const auto& name : listed) installs[name + " 1.0.0 (path+x)"] = {{"bins", {name, "../../outside/blob"}}};
        test::writeFile(dir / ".cargo/.crates2.json",
            nlohmann::json{{"installs", installs}}.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace));
        std::filesystem::create_symlink(outside, dir / ".rustup/toolchains/linked");
        test::writeFile(dir / "go/pkg/mod/cache/f", "f");
        test::makeDirs(dir / ".yarn/berry");
        for (const char* link :
            {"projects/linked/node_modules", ".cache/Cypress", ".yarn/berry/cache", ".cache/go-build"})
            std::filesystem::create_symlink(outside, dir / link);

        // Fake tools: each logs its argv, then prints the answer filed under its arguments.
        for (const auto& tool : toolNames)
            replaceTool(
                tool, "f='" + dir / ("answers/" + tool) + " '\"$*\"\n[ -f \"$f\" ] || exit 3\nexec cat \"$f\"\n");
        test::makeDirs(dir / "calls");
        for (const auto& [call, output] :
            std::vector<std::pair<std::string, std::string>>{{"brew --version", "Homebrew 4.2.1\x1b[2J\xE2\x80\xAE\n"},
                {"brew --cellar", dir / "Cellar\n"}, {"brew list --formula", formulae}, {"brew leaves", formulae},
                {"npm --version", "10.2.4\x1b]0;owned\x07\n"}, {"npm prefix -g", dir / "npm\n"},
                {"npm ls -g --depth=0 --json", dependencyJson(npmGlobals)},
                {"npm config get cache", dir / "npm-cache\n"}, {"pnpm --version", "8.15.0\r\x1b[1A\xC2\x9B\n"},
                {"bun --version", "1.0.25\xFF\xFE\xE2\x81\xA6\n"}})
            test::writeFile(dir / ("answers/" + call), output);
    }

    std::string toolPath(const std::string& tool) const { return dir / ("bin/" + tool); }
    void replaceTool(const std::string& tool, const std::string& body) const {
        test::writeScript(toolPath(tool), "printf '%s\\0' " + tool + " \"$@\" > '" + dir / "calls/'$$\n" + body);
    }
    // Every call so far: the tool's name, then its arguments.
    std::vector<Names> calls() const {
        std::vector<Names> calls;
        for (const auto& entry : std::filesystem::directory_iterator(dir / "calls")) {
            std::ifstream in(entry.path(), std::ios::binary);
            calls.emplace_back();
            for (std::string word; std::getline(in, word, '\0');) calls.back().push_back(word);
        }
        return calls;
    }
    CandidateTable candidates() const {
        return {{{{false, toolPath("brew")}}, {{false, toolPath("pnpm")}}, {{false, toolPath("npm")}},
            {{false, toolPath("bun")}}}};
    }
    // The adapters as the product wires them, over the real runner with this limit.
    AdapterList adapters(std::chrono::milliseconds limit) const {
        const auto runner = std::make_shared<CommandRunner>(candidates(), limit);
        const auto sizer = std::make_shared<FileManagerDirectorySizer>();
        const auto prober = std::make_shared<FileManagerFileAccessProber>();
        const KnowledgeBase kb = KnowledgeBase::loadShipped();
        return {std::make_shared<HomebrewAdapter>(runner, sizer, kb, dir.path()),
            std::make_shared<NvmAdapter>(sizer, dir.path()),
            std::make_shared<PnpmAdapter>(runner, sizer, prober, kb, dir.path()),
            std::make_shared<NpmAdapter>(runner, sizer, prober, kb, dir.path()),
            std::make_shared<BunAdapter>(runner, sizer, prober, kb, dir.path()),
            std::make_shared<YarnAdapter>(sizer, prober, kb, dir.path()),
            std::make_shared<RustAdapter>(sizer, prober, kb, dir.path()),
            std::make_shared<GoAdapter>(sizer, prober, kb, dir.path()),
            std::make_shared<PythonAdapter>(sizer, prober, kb, dir.path()),
            std::make_shared<ProjectsAdapter>(sizer, dir.path(), [this] { return Names{dir / "projects"}; })};
    }
};

// One scan through the coordinator, as the terminal report runs it; no reports if it never ends.
ScanResult scanAll(const AdapterList& adapters) {
    MainQueue queue;
    ScanCoordinator coordinator(adapters, queue.executor());
    coordinator.scan();
    const auto done = [&] { return !coordinator.isScanning() && coordinator.result().has_value(); };
    return queue.runUntil(done, 2min) ? *coordinator.result() : ScanResult{};
}

long openDescriptors() { return std::distance(std::filesystem::directory_iterator("/proc/self/fd"), {}); }

// Whether a child of ours has exited unreaped (it is left so).
bool hasZombieChild() {
    siginfo_t info{};
    return ::waitid(P_ALL, 0, &info, WEXITED | WNOHANG | WNOWAIT) == 0 && info.si_pid != 0;
}

// A field of /proc/self/status such as "VmRSS:", in KiB.
long statusKiB(const std::string& field) {
    std::ifstream in("/proc/self/status");
    const std::string status(std::istreambuf_iterator<char>(in), {});
    return std::stol(status.substr(status.find(field) + field.size()));
}

// Written out rather than taken from the product, so that a changed argument shows.
bool isAllowlistedCall(const Names& call) {
    static const std::set<Names> fixed{{"brew", "--version"}, {"brew", "--cellar"}, {"brew", "list", "--formula"},
        {"brew", "leaves"}, {"pnpm", "--version"}, {"npm", "--version"}, {"npm", "prefix", "-g"},
        {"npm", "ls", "-g", "--depth=0", "--json"}, {"npm", "config", "get", "cache"}, {"bun", "--version"}};
    return fixed.contains(call) ||
           (call.size() == 4 && call[0] == "brew" && call[1] == "uses" && call[2] == "--installed");
}

bool isInside(const std::string& path, const std::string& tree) {
    const auto relative = std::filesystem::path(path).lexically_normal().lexically_relative(tree);
    return !relative.empty() && *relative.begin() != "..";
}

TEST(HostileScan, FinishesAllowlistedAndMeasuresLikeDuInsideTheTrees) {
    const HostileHome home;
    const ScanResult result = scanAll(home.adapters(10s));
    ASSERT_EQ(result.managers.size(), 10u);
    EXPECT_EQ(result.managers[9].items.size(), hostileNames.size() + 1) << "every project but the linked one";
    for (const auto& report : result.managers) EXPECT_TRUE(report.detected) << rawValue(report.kind);
    const auto calls = home.calls();
    EXPECT_GE(calls.size(), 10u);
    for (const auto& call : calls) EXPECT_TRUE(isAllowlistedCall(call)) << ::testing::PrintToString(call);

    const std::map<ManagerKind, Names> trees{{ManagerKind::homebrew, {"Cellar", ".cache/Homebrew"}},
        {ManagerKind::npm, {"npm/lib/node_modules", "npm-cache", ".cache/node-gyp", ".cache/ms-playwright"}},
        {ManagerKind::pnpm, {".local/share/pnpm/store", ".local/share/pnpm/global/5"}},
        {ManagerKind::nvm, {".nvm/versions/node", ".nvm/.cache"}},
        {ManagerKind::bun, {".bun/install/global/node_modules", ".bun/install/cache"}},
        {ManagerKind::yarn, {".config/yarn/global/node_modules", ".cache/yarn"}},
        {ManagerKind::rust, {".rustup/toolchains", ".cargo/bin"}}, {ManagerKind::go, {"go/bin", "go/pkg/mod"}},
        {ManagerKind::python, {".pyenv/versions", ".local/share/virtualenvs"}}, {ManagerKind::projects, {"projects"}}};
    const std::map<ManagerKind, Names> fixedWords{{ManagerKind::homebrew, {"brew", "uninstall"}},
        {ManagerKind::npm, {"npm", "-g", "uninstall"}}, {ManagerKind::nvm, {"nvm", "uninstall"}},
        {ManagerKind::bun, {"bun", "remove", "-g"}}, {ManagerKind::yarn, {"yarn", "global", "remove"}},
        {ManagerKind::pnpm, {"pnpm", "remove", "-g"}}, {ManagerKind::python, {"pyenv", "uninstall", "-f"}}};
    int measured = 0, commands = 0;
    std::set<std::string> caches; // what is not a folder of its own is none: a file, a FIFO, a link out
    for (const auto& report : result.managers) {
        for (const auto& item : report.items) {
            SCOPED_TRACE(::testing::PrintToString(item.name));
            if (item.tier == Tier::safeByDesign) caches.insert(item.name);
            // A followed link would add at least the 1 MiB outside every tree.
            EXPECT_LT(item.bytes.value_or(0), 1 << 20);
            // Every path shown, revealed or measured lies inside its manager's folder.
            EXPECT_TRUE(!item.path || std::ranges::any_of(trees.at(report.kind), [&](const auto& tree) {
                return isInside(*item.path, home.dir / tree);
            })) << ::testing::PrintToString(item.path);
            if (item.bytes && item.path) {
                EXPECT_EQ(item.bytes, test::duBytes(*item.path));
                ++measured;
            }
            if (item.reclaimCommand && item.reclaimCommand->starts_with("rm ")) { // a folder or file no tool removes
                const Names words = test::shellWords(*item.reclaimCommand);
                const std::string path = item.path.value_or("");
                EXPECT_TRUE(words == (Names{"rm", "-rf", "--", path}) ||
                            (words == Names{"rm", "--", path} && ::access(path.c_str(), F_OK) == 0))
                    << *item.reclaimCommand;
            } else if (item.reclaimCommand && item.tier == Tier::safeByDesign) { // a cache's own tool's
                EXPECT_TRUE(std::ranges::any_of(report.quickWins, [&](const auto& w) {
                    return w.command == *item.reclaimCommand;
                })) << *item.reclaimCommand;
            } else if (item.reclaimCommand) {
                const Names fixed = item.tool == "cargo"    ? Names{"cargo", "uninstall"}
                                    : item.tool == "rustup" ? Names{"rustup", "toolchain", "uninstall"}
                                                            : fixedWords.at(report.kind);
                EXPECT_EQ(test::shellWords(*item.reclaimCommand), test::removalWords(fixed, item.name));
                ++commands;
            }
        }
    }
    // Most hostile names are measured by seven managers (bun twice) and removable through each.
    EXPECT_GT(measured, 7 * static_cast<int>(hostileNames.size()));
    EXPECT_GT(commands, 7 * static_cast<int>(hostileNames.size()));
    EXPECT_EQ(caches,
        (std::set<std::string>{"Content-addressable store", "Homebrew download cache", "Yarn cache", "bun cache",
            "node-gyp headers", "npm cache", "nvm download cache", "Playwright browsers", "Go module cache"}));
}

struct BrokenTool {
    std::string name;
    std::string body;             // after the call log
    std::optional<Kind> expected; // none: success
    int status = 0;               // of a failure
    std::chrono::milliseconds limit = 300ms;
};

const std::string flood = "yes 0123456789abcdef0123456789abcde | head -c 209715200";
const std::vector<BrokenTool> brokenTools{
    {"hangs", "exec sleep 1000\n", Kind::timedOut},
    {"prints 200 MiB", flood + "\n", std::nullopt, 0, 60s},
    {"prints forever", "exec yes\n", Kind::timedOut},
    {"closes its output and keeps running", "exec >&- 2>&-\nexec sleep 1000\n", Kind::timedOut},
    {"leaves a child holding the pipes", "sleep 1000 &\necho 1.2.3\n", std::nullopt},
    {"dies by a signal", "kill -SEGV $$\n", Kind::failed, 128 + SIGSEGV},
    {"stops itself", "kill -STOP $$\necho never\n", Kind::timedOut},
    {"reads standard input", "cat\necho 1.0.0\n", std::nullopt},
    {"prints 200 MiB of errors and fails", flood + " >&2\nexit 1\n", Kind::failed, 1, 60s},
    {"prints garbage, invalid UTF-8 and NULs", "printf '\\377\\376 1.\\000\\0002\\033[2J\\342\\200\\256\\n'\n", {}},
};

TEST(BrokenTools, TheRunnerAndTheScanComeBackInTimeWithBoundedResultsAndNothingLeftBehind) {
    constexpr std::size_t outputLimit = 64 * 1024;
    const HostileHome home;
    const AdapterList adapters = home.adapters(300ms);
    // Our standard input stays open and silent: a tool given it would wait on it forever.
    int silent[2];
    ASSERT_EQ(::pipe(silent), 0);
    ::dup2(silent[0], STDIN_FILENO);
    const long descriptors = openDescriptors();
    const auto bunStarts = [&] {
        return std::ranges::count_if(home.calls(), [](const auto& call) { return call[0] == "bun"; });
    };
    for (const auto& broken : brokenTools) {
        SCOPED_TRACE(broken.name);
        for (const auto& tool : toolNames) home.replaceTool(tool, broken.body);
        std::ofstream("/proc/self/clear_refs") << "5"; // the peak resident size starts again from here
        const long peakBefore = statusKiB("VmHWM:");
        auto start = std::chrono::steady_clock::now();
        const auto result =
            CommandRunner(home.candidates(), broken.limit, outputLimit).run(ReadOnlyCommand::npmVersion());
        // The limit, the grace for descendants holding the pipes, and slack for a loaded machine.
        EXPECT_LT(std::chrono::steady_clock::now() - start, broken.limit + 2s);
        // The buffer (which may double while growing), its repaired and its trimmed copy at most.
        EXPECT_LT(statusKiB("VmHWM:") - peakBefore, static_cast<long>(4 * outputLimit / 1024) + 8 * 1024);
        EXPECT_EQ(result.ok ? std::nullopt : std::optional(result.error.kind), broken.expected);
        EXPECT_EQ(result.error.status, broken.status);
        EXPECT_LE(std::max(result.output.size(), result.error.stderrText.size()), outputLimit);
        EXPECT_TRUE(isValidUtf8(result.output));

        const auto bunBefore = bunStarts();
        start = std::chrono::steady_clock::now();
        const ScanResult scan = scanAll(adapters);
        // Adapters run side by side, none more than four commands in a row.
        EXPECT_LT(std::chrono::steady_clock::now() - start, 4 * (300ms + 300ms) + 3s);
        ASSERT_EQ(scan.managers.size(), 10u);
        // nvm runs no tool; pnpm and bun are found from their folders whatever their tool does.
        EXPECT_TRUE(scan.managers[2].detected && scan.managers[3].detected && scan.managers[4].detected);
        // A hung bun is waited for once; on a loaded machine its shell may die before it logs.
        EXPECT_TRUE(broken.expected != Kind::timedOut || bunStarts() - bunBefore <= 1)
            << "bun was started again after timing out";
        EXPECT_FALSE(hasZombieChild());
    }
    EXPECT_EQ(openDescriptors(), descriptors);
}

// Directories the tools print are joined to names: an empty or relative answer must not turn "usr"
// into "/usr" or a path below ours, a flooded one (lines, a NUL, 4096 bytes) is in no item's path.
TEST(ToolPaths, OnlyAnAbsoluteDirectoryIsMeasuredOrProbedAndAFloodedAnswerFailsTheCommand) {
    const std::vector<std::pair<std::string, bool>> spoilt{{"", false}, {"relative/dir", false}, {".", false},
        {"~/dir", false}, {"/a\n/b", true}, {std::string("/a\0b", 4), true}, {"/" + std::string(5000, 'a'), true}};
    const std::set<std::string> good{"/c/usr", "/c/wget", "/p/lib/node_modules/usr", "/p/lib/node_modules/tsc", "/n"};
    // Which answer is spoilt: the Cellar, the npm prefix, the npm cache, or none.
    for (std::size_t which = 0; which < 4; ++which) {
        for (const auto& [answer, flooded] : which < 3 ? spoilt : decltype(spoilt){{"", false}}) {
            SCOPED_TRACE(::testing::PrintToString(answer) + " as answer " + std::to_string(which));
            std::vector<std::string> directories{"/c", "/p", "/n", ""};
            directories[which] = answer;
            auto runner = std::make_shared<test::FakeRunner>();
            runner->on(Case::brewVersion, ok("Homebrew 4.2.1")).on(Case::brewCellarPath, ok(directories[0]));
            runner->on(Case::brewListFormula, ok("usr\nwget")).on(Case::brewLeaves, ok("usr"));
            runner->on(Case::npmVersion, ok("10.2.4")).on(Case::npmPrefixGlobal, ok(directories[1]));
            runner->on(Case::npmListGlobalJSON, ok(R"({"dependencies":{"usr":{},"tsc":{}}})"));
            runner->on(Case::npmCacheDir, ok(directories[2]));
            auto sizer = std::make_shared<test::FakeSizer>();
            for (const auto& path : good) sizer->set(path, 4096);
            const ManagerReport brew = HomebrewAdapter(runner, sizer, {}).scan();
            const ManagerReport npm = NpmAdapter(runner, sizer, std::make_shared<test::FakeProber>(), {}).scan();
            for (const auto& path : sizer->calls())
                EXPECT_TRUE(path.starts_with("/c/") || path.starts_with("/p/") || path == "/n") << path;
            // A flooded answer fails its command: what is built on it is not listed; an empty cache is none.
            EXPECT_EQ(brew.items.size(), which == 0 && flooded ? 0u : 2u);
            EXPECT_EQ(npm.items.size(), which == 1 && flooded                       ? 1u
                                        : which == 2 && (flooded || answer.empty()) ? 2u
                                                                                    : 3u);
            // What is not joined to the spoilt answer is still measured.
            for (const auto* report : {&brew, &npm})
                for (const auto& item : report->items)
                    EXPECT_EQ(item.bytes.has_value(), good.contains(item.path.value_or(""))) << item.name;
        }
    }
}

} // namespace
} // namespace kelvo
