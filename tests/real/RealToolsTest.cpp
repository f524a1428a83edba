// Kelvo against homes made with the real package managers (tests/real/make-home, from the tools
// scripts/real-tools installs once per build directory), the tools themselves being the oracle:
// their own listings for the items, du for every size and total and for what a removal frees, the
// file tree for "nothing written" and strace for "no network". Without the npm registry the tests
// skip and say why. Each home is made on first use, once for all the tests.

#include "inventory/ReportJson.h"
#include "real/RealShell.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <cstdio>
#include <map>
#include <memory>
#include <set>

#include <sys/stat.h>
#include <unistd.h>

namespace kelvo {
namespace {

using Names = std::vector<std::string>;

using test::lines;
using test::q;
using test::sh;
// Tools run in a network namespace of their own where one can be made: offline for certain.
const std::string offline = sh("unshare -n true 2>/dev/null && echo yes") == "yes\n" ? "unshare -n " : "";

struct Home {
    std::string path;
    ScanResult result;
    std::string before, after, trace; // the file tree around the scan; the scan's strace
    std::string failure;              // why the home could not be made or scanned

    const ManagerReport& report(ManagerKind kind) const {
        return *std::find_if(
            result.managers.begin(), result.managers.end(), [&](const auto& r) { return r.kind == kind; });
    }
    const DependencyItem& item(ManagerKind kind, const std::string& name) const {
        const auto& items = report(kind).items;
        const auto found = std::find_if(items.begin(), items.end(), [&](const auto& i) { return i.name == name; });
        if (found == items.end()) throw std::runtime_error("no item " + name + " in " + std::string(rawValue(kind)));
        return *found;
    }
    // A tool of this home, run as a user would (only this HOME, its own folder first on PATH), but
    // writing no npm log, which would change the npm cache's size under the next test. As root
    // Yarn 1 would look in /usr/local; FAKEROOTKEY has it look in the home.
    std::string tool(const std::string& executable, const std::string& arguments) const {
        return sh(offline + "env -i HOME=" + q(path) + " PATH=" + q(executable.substr(0, executable.rfind('/'))) +
                  ":/usr/bin:/bin FAKEROOTKEY=1 npm_config_update_notifier=false npm_config_logs_dir=/dev/null "
                  "npm_config_logs_max=0 " +
                  q(executable) + " " + arguments + " 2>/dev/null");
    }
};

// The file tree below a folder, one entry a line; without the times of folders, which change when
// an entry goes.
std::string tree(const std::string& folder, bool folderTimes = true) {
    return sh("cd " + q(folder) + " && find . " + (folderTimes ? "" : "-type d -printf '%p|d|%m\\n' -o ") +
              "-printf '%p|%y|%s|%T@|%m|%l\\n' | sort");
}

bool traced = false; // strace works here

class RealHomes : public ::testing::Test {
protected:
    static inline std::string skipReason, cache;
    static inline std::map<std::string, Home> homes;

    static void SetUpTestSuite() {
        cache = std::string(KELVO_BINARY_DIR) + "/real-tools";
        int status = 0;
        const std::string log = sh("/bin/bash " + q(std::string(KELVO_SOURCE_DIR) + "/scripts/real-tools") + " " +
                                       q(cache) + " 2>&1; tail -n 8 " + q(cache + "/install.log"),
            &status);
        if (status != 0 || ::access((cache + "/ready").c_str(), F_OK) != 0)
            skipReason = "real pnpm, bun, Yarn and Node builds could not be installed from the npm registry: " + log;
        traced = sh("strace -f -o /dev/null true >/dev/null 2>&1 && echo yes") == "yes\n";
    }
    static void TearDownTestSuite() {
        for (const auto& [flavour, home] : homes)
            if (!home.path.empty() && std::getenv("KELVO_KEEP_REAL_HOME") == nullptr)
                test::removeTree(home.path.substr(0, home.path.rfind('/')));
    }
    void SetUp() override {
        if (!skipReason.empty()) GTEST_SKIP() << skipReason;
    }

    // The home of a flavour of make-home, made and scanned on first use.
    static const Home& made(const std::string& flavour) {
        Home& home = homes[flavour];
        try {
            if (home.path.empty())
                build(home, flavour,
                    flavour == "nvm-only" ? "/bin/kelvo-real-scan --npm-from-nvm-only" : "/bin/kelvo-report --json");
        } catch (const std::exception& error) {
            home.failure = error.what();
        }
        if (!home.failure.empty()) throw std::runtime_error(home.failure);
        return home;
    }

    static void build(Home& home, const std::string& flavour, const std::string& scan) {
        std::string dir = cache + "/home-XXXXXX";
        if (::mkdtemp(dir.data()) == nullptr) throw std::runtime_error("cannot make a home");
        home.path = dir + "/" + flavour;
        int status = 0;
        sh("/bin/bash " + q(std::string(KELVO_SOURCE_DIR) + "/tests/real/make-home") + " " + q(cache) + " " +
                q(home.path) + " " + flavour,
            &status);
        if (status != 0)
            throw std::runtime_error("make-home " + flavour + " failed: " + sh("tail -n 20 " + q(home.path + ".log")));
        home.before = tree(home.path);
        const std::string json = sh("env HOME=" + q(home.path) + " " +
                                    (traced ? "strace -f -e trace=connect,execve -o " + q(dir + "/trace") + " " : "") +
                                    std::string(KELVO_BINARY_DIR) + scan);
        home.after = tree(home.path);
        home.trace = traced ? sh("cat " + q(dir + "/trace")) : "";
        const auto decoded = decodeReport(nlohmann::json::parse(json, nullptr, false));
        if (!decoded) throw std::runtime_error("no report from " + scan + ": " + json.substr(0, 300));
        home.result = *decoded;
    }
};

// Item names of a report but the ones given, in name order.
Names namesOf(const ManagerReport& report, const std::set<std::string>& others = {}) {
    Names names;
    for (const auto& item : report.items)
        if (!others.contains(item.name)) names.push_back(item.name);
    std::sort(names.begin(), names.end());
    return names;
}

// The names under "dependencies" in a JSON text (of the first entry of an array): what a global
// folder's package.json names and what npm and pnpm list.
Names dependencyNames(const std::string& text) {
    auto json = nlohmann::json::parse(text, nullptr, false);
    if (json.is_array() && !json.empty()) json = json[0];
    Names names;
    if (json.is_object() && json.contains("dependencies"))
        for (const auto& [name, value] : json["dependencies"].items()) names.push_back(name);
    return names;
}
Names npmGlobals(const Home& home, const std::string& npm) {
    return dependencyNames(home.tool(npm, "ls -g --depth=0 --json"));
}
Names manifestNames(const std::string& file) { return dependencyNames(sh("cat " + q(file))); }
// The names a tool's own listing prints, one a line after one of `marks` and before "@version".
Names listed(const std::string& text, const Names& marks) {
    Names names;
    for (const auto& line : lines(text))
        for (const auto& mark : marks)
            if (line.starts_with(mark)) names.push_back(line.substr(mark.size(), line.rfind('@') - mark.size()));
    std::sort(names.begin(), names.end());
    return names;
}
Names bunGlobals(const Home& home) {
    return listed(home.tool(home.path + "/.bun/bin/bun", "pm ls -g"), {"\u251c\u2500\u2500 ", "\u2514\u2500\u2500 "});
}

// The folders of a global node_modules that hold no global (a scope holding one, member by member):
// what a dependencies item is.
Names dependencyFolders(const std::string& modules, const Names& globals) {
    Names folders;
    for (const auto& entry : lines(sh("ls -A " + q(modules)))) {
        const bool scope =
            std::any_of(globals.begin(), globals.end(), [&](const auto& g) { return g.starts_with(entry + "/"); });
        for (const auto& member : scope ? lines(sh("ls -A " + q(modules + "/" + entry))) : Names{""})
            if (const std::string name = scope ? entry + "/" + member : entry;
                std::find(globals.begin(), globals.end(), name) == globals.end())
                folders.push_back(modules + "/" + name);
    }
    return folders;
}
// The paths an item stands for: its own, or the folders of the dependencies of bun's or Yarn's globals.
Names pathsOf(const Home& home, ManagerKind kind, const DependencyItem& item) {
    if (item.path) return {*item.path};
    if (kind == ManagerKind::bun)
        return dependencyFolders(home.path + "/.bun/install/global/node_modules", bunGlobals(home));
    const std::string global = home.path + "/.config/yarn/global";
    return dependencyFolders(global + "/node_modules", manifestNames(global + "/package.json"));
}

TEST_F(RealHomes, ItemsAreWhatTheToolsThemselvesList) {
    using K = ManagerKind;
    const Home& full = made("full");
    EXPECT_EQ(namesOf(full.report(K::npm), {"npm cache", "corepack cache", "node-gyp headers"}),
        npmGlobals(full, "/usr/bin/npm"));
    EXPECT_EQ(
        namesOf(full.report(K::bun), {"bun cache", "Dependencies of bun globals", "bun itself"}), bunGlobals(full));
    EXPECT_EQ(
        namesOf(full.report(K::nvm), {"nvm download cache"}), lines(sh("ls " + q(full.path + "/.nvm/versions/node"))));
    // Yarn's globals are what its package.json names; its own list leaves out those without commands.
    const Names yarn = manifestNames(full.path + "/.config/yarn/global/package.json");
    const std::string yarnList = q(cache + "/yarn1/bin/yarn.js") + " global list --offline";
    const Names yarnListed = listed(full.tool("/usr/bin/node", yarnList), {"info \""});
    EXPECT_EQ(namesOf(full.report(K::yarn), {"Yarn cache", "Dependencies of Yarn globals"}), yarn);
    EXPECT_TRUE(!yarnListed.empty() && yarnListed.size() < yarn.size() &&
                std::includes(yarn.begin(), yarn.end(), yarnListed.begin(), yarnListed.end()));
    // pnpm's: what the current pnpm lists, its store where it says; what pnpm 9 left is removed by hand.
    const std::string pnpm = full.path + "/.local/share/pnpm/pnpm";
    const Names pnpmListed = dependencyNames(full.tool(pnpm, "ls -g --json"));
    EXPECT_FALSE(pnpmListed.empty());
    EXPECT_EQ(namesOf(full.report(K::pnpm), {"Content-addressable store", "pnpm store v3", "pnpm metadata cache",
                                                "pnpm globals in global/5", "pnpm itself"}),
        pnpmListed);
    EXPECT_EQ(full.item(K::pnpm, "Content-addressable store").path.value_or("") + "\n", full.tool(pnpm, "store path"));
    // What the tools leave beside what they list, where they leave it.
    for (const auto& [kind, name, path] : {std::tuple{K::npm, "corepack cache", "/.cache/node/corepack"},
             {K::npm, "node-gyp headers", "/.cache/node-gyp"}, {K::nvm, "nvm download cache", "/.nvm/.cache"},
             {K::pnpm, "pnpm store v3", "/.local/share/pnpm/store/v3"},
             {K::pnpm, "pnpm globals in global/5", "/.local/share/pnpm/global/5"}})
        EXPECT_EQ(full.item(kind, name).path, full.path + path) << name;
    // Node comes only from nvm: the npm of its default version, and its globals inside that version.
    const Home& nvmOnly = made("nvm-only");
    const ManagerReport& npm = nvmOnly.report(K::npm);
    EXPECT_TRUE(npm.detected && npm.version == "10.9.2");
    EXPECT_EQ(namesOf(npm, {"npm cache"}), npmGlobals(nvmOnly, nvmOnly.path + "/.nvm/versions/node/v20.18.1/bin/npm"));
}

// Access times as months of use leave them on what npm and bun really installed.
TEST_F(RealHomes, StaleGlobalsAreTheOnesWhoseCommandsWentUnused) {
    const Home& full = made("full");
    struct stat link {};
    ASSERT_EQ(::lstat((full.path + "/.npm-global/bin/he").c_str(), &link), 0);
    const DependencyItem& he = full.item(ManagerKind::npm, "he"); // installed 120 days ago, never run
    EXPECT_EQ(he.tier, Tier::orphanCandidate);
    EXPECT_EQ(he.evidence, std::vector<Evidence>{Evidence::notUsedSinceInstall(static_cast<double>(link.st_mtime))});
    const DependencyItem& semver = full.item(ManagerKind::npm, "semver"); // last run two years ago
    EXPECT_TRUE(semver.tier == Tier::orphanCandidate && semver.evidence.at(0).kind == Evidence::Kind::lastUsed);
    for (const char* inUse : {"cowsay", "is-number"}) // just run; no commands
        EXPECT_EQ(full.item(ManagerKind::npm, inUse).tier, Tier::signalOnly) << inUse;
    for (const auto& item : full.report(ManagerKind::bun).items)
        EXPECT_NE(item.tier, Tier::orphanCandidate) << item.name << " was installed just now";
}

TEST_F(RealHomes, SizesAndTotalsAreWhatDuCounts) {
    for (const Home* home : {&made("full"), &made("nvm-only"), &made("projects")}) {
        Names everything;
        for (const auto& report : home->result.managers) {
            Names paths;
            for (const auto& item : report.items) {
                const Names own = pathsOf(*home, report.kind, item);
                EXPECT_EQ(item.bytes, test::duTotal(own)) << item.name;
                paths.insert(paths.end(), own.begin(), own.end());
            }
            EXPECT_EQ(report.totalBytes(), paths.empty() ? 0 : test::duTotal(paths)) << rawValue(report.kind);
            everything.insert(everything.end(), paths.begin(), paths.end());
        }
        EXPECT_EQ(home->result.totalBytes(), test::duTotal(everything));
    }
    // npm's globals lie inside nvm's default Node there: the whole total counts them once.
    const Home& nvmOnly = made("nvm-only");
    EXPECT_LT(nvmOnly.result.totalBytes(),
        nvmOnly.report(ManagerKind::npm).totalBytes() + nvmOnly.report(ManagerKind::nvm).totalBytes());
    // A quick win is as large as what it cleans; there is none other.
    const std::map<std::string, Names> cleans{{"npm cache clean --force", {"npm cache"}},
        {"corepack cache clean", {"corepack cache"}}, {"nvm cache clear", {"nvm download cache"}},
        {"pnpm store prune", {"Content-addressable store", "pnpm metadata cache"}}, {"bun pm cache rm", {"bun cache"}},
        {"yarn cache clean", {"Yarn cache"}}};
    std::size_t wins = 0;
    for (const auto& report : made("full").result.managers)
        for (const auto& win : report.quickWins) {
            Names paths;
            for (const auto& name : cleans.at(win.command)) paths.push_back(*made("full").item(report.kind, name).path);
            EXPECT_EQ(win.bytes, test::duTotal(paths)) << win.command;
            ++wins;
        }
    EXPECT_EQ(wins, cleans.size());
}

TEST_F(RealHomes, TheTotalIsNearlyAllThatTheManagersLeftInTheHome) {
    const Home& full = made("full");
    // Every folder the managers left, by manager, their own programs included.
    const std::vector<std::pair<ManagerKind, Names>> left{
        {ManagerKind::npm, {".npm", ".npm-global", ".cache/node", ".cache/node-gyp"}},
        {ManagerKind::pnpm, {".local/share/pnpm", ".cache/pnpm"}}, {ManagerKind::nvm, {".nvm"}},
        {ManagerKind::bun, {".bun"}}, {ManagerKind::yarn, {".cache/yarn", ".config/yarn", ".yarn"}},
        {ManagerKind::projects, {"project/node_modules"}}};
    // Kelvo's total over du's of the folders, printed.
    const auto share = [&](std::int64_t kelvo, const Names& folders, const std::string& what) {
        Names paths;
        for (const auto& folder : folders) paths.push_back(full.path + "/" + folder);
        const double du = static_cast<double>(test::duTotal(paths).value_or(0)), part = static_cast<double>(kelvo) / du;
        std::printf(
            "Kelvo %11lld  du %11.0f  %5.1f %%  %s\n", static_cast<long long>(kelvo), du, 100 * part, what.c_str());
        return part;
    };
    Names all;
    for (const auto& [kind, folders] : left) {
        share(full.report(kind).totalBytes(), folders, std::string(rawValue(kind)));
        all.insert(all.end(), folders.begin(), folders.end());
    }
    EXPECT_GE(share(full.result.totalBytes(), all, "all"), 0.95);
}

// Every build folder once, by what manages it, judged by its project's activity; Cargo's where the
// machine has cargo to build it.
TEST_F(RealHomes, ProjectsAreEachBuildFolderOnceJudgedByTheirActivity) {
    const Home& home = made("projects");
    using E = Evidence::Kind;
    struct Expected {
        std::string folder, manager;
        std::vector<E> evidence;
    };
    std::map<std::string, Expected> expected{{"bun-app", {"node_modules", "bun", {E::projectActive}}},
        {"npm-app", {"node_modules", "npm", {E::projectActive}}},
        {"pnpm-app", {"node_modules", "pnpm", {E::projectActive}}},
        {"yarn-app", {"node_modules", "yarn", {E::projectUntouched}}},
        {"py-app", {".venv", "python", {E::noLockfile, E::projectUntouched}}},
        {"mvn-app", {"target", "maven", {E::projectActive}}}};
    if (::access((home.path + "/code/rust-app/target").c_str(), F_OK) == 0)
        expected["rust-app"] = {"target", "cargo", {E::projectActive, E::markedAsCache}};
    else
        std::printf("cargo is not on this machine: no Cargo project was built\n");
    Names found, wanted;
    for (const auto& item : home.report(ManagerKind::projects).items) found.push_back(item.path.value_or(""));
    for (const auto& [name, want] : expected) wanted.push_back(home.path + "/code/" + name + "/" + want.folder);
    std::sort(found.begin(), found.end());
    std::sort(wanted.begin(), wanted.end());
    EXPECT_EQ(found, wanted); // no decoy: hidden, without a marker, linked, or inside a build folder
    struct stat untouched {};
    ASSERT_EQ(::lstat((home.path + "/code/yarn-app/yarn.lock").c_str(), &untouched), 0);
    for (const auto& item : home.report(ManagerKind::projects).items) {
        const Expected& want = expected.at(item.name.substr(0, item.name.find(" \u00b7 ")));
        EXPECT_EQ(item.managedBy, want.manager) << item.name;
        std::vector<E> kinds;
        for (const auto& evidence : item.evidence) kinds.push_back(evidence.kind);
        EXPECT_EQ(kinds, want.evidence) << item.name;
        const bool stale = want.evidence.back() == E::projectUntouched;
        EXPECT_EQ(item.tier, stale ? Tier::orphanCandidate : Tier::signalOnly) << item.name;
        EXPECT_TRUE(want.manager != "yarn" || item.evidence.back().at == static_cast<double>(untouched.st_mtime));
    }
}

TEST_F(RealHomes, AProjectsCommandRemovesItsBuildFolderAndFreesWhatItSays) {
    const Home& home = made("projects");
    // A copy takes the home's place, so that each command runs as shown; the home comes back after.
    const std::string scanned = home.path + ".scanned";
    ASSERT_EQ(std::rename(home.path.c_str(), scanned.c_str()), 0);
    const std::shared_ptr<void> putBack(nullptr, [&](void*) {
        test::removeTree(home.path);
        std::rename(scanned.c_str(), home.path.c_str());
    });
    ASSERT_EQ(sh("cp -a " + q(scanned) + " " + q(home.path) + " && echo copied"), "copied\n");
    for (const auto& item : home.report(ManagerKind::projects).items) {
        const std::string before = tree(home.path, false);
        const auto duBefore = test::duBytes(home.path);
        test::runCapture({"/bin/sh", "-c", item.reclaimCommand.value_or("false")});
        const auto duAfter = test::duBytes(home.path);
        // Gone is exactly the item's folder with what is in it.
        const std::string gone = "." + item.path->substr(home.path.size());
        std::string kept;
        for (const auto& line : lines(before))
            if (!line.starts_with(gone + "|") && !line.starts_with(gone + "/")) kept += line + "\n";
        EXPECT_EQ(tree(home.path, false), kept) << item.name;
        EXPECT_EQ(*duBefore - *duAfter, item.freedBytes) << item.name;
        // pnpm's and bun's node_modules are hard links into their store and cache.
        const bool linked = item.managedBy == "pnpm" || item.managedBy == "bun";
        EXPECT_EQ(item.freedBytes.value_or(0) * 2 < item.bytes.value_or(0), linked) << item.name;
    }
}

TEST_F(RealHomes, AScanWritesNothingAndOpensNoNetworkConnection) {
    for (const Home* home : {&made("full"), &made("nvm-only"), &made("projects"), &made("npm-unused")}) {
        EXPECT_EQ(home->before, home->after) << "the scan changed " << home->path;
        for (const auto& line : lines(home->trace)) EXPECT_EQ(line.find("AF_INET"), std::string::npos) << line;
        EXPECT_TRUE(!traced || home->trace.find("execve") != std::string::npos) << "the trace saw no command run";
    }
    if (!traced) GTEST_SKIP() << "strace cannot trace here: network use not checked";
}

// npm is installed but never ran in this home: every question is still asked, the cache is where
// npm would make it, and nothing is made, ~/.npm least of all.
TEST_F(RealHomes, AHomeWhereNpmNeverRanStaysAsItWas) {
    const Home& home = made("npm-unused");
    EXPECT_EQ(home.before, home.after);
    const ManagerReport& npm = home.report(ManagerKind::npm);
    EXPECT_EQ(npm.version.value_or("") + "\n", sh("/usr/bin/npm --version"));
    EXPECT_EQ(home.item(ManagerKind::npm, "npm cache").path, home.path + "/.npm");
    for (const char* question : {"\"prefix\", \"-g\"", "\"ls\", \"-g\"", "\"config\", \"get\", \"cache\""})
        EXPECT_TRUE(!traced || home.trace.find(question) != std::string::npos) << question << " was not asked";
}

} // namespace
} // namespace kelvo
