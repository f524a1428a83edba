// Kelvo against homes made with the real package managers (tests/real/make-home, from the tools
// scripts/real-tools installs once per build directory), the tools themselves being the oracle:
// their own listings for the items, du for every size and total, the file tree for "nothing
// written" and strace for "no network". Without the npm registry the tests skip and say why.

#include "inventory/ReportJson.h"
#include "support/TestSupport.h"
#include "system/Platform.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <map>
#include <set>
#include <sstream>

#include <sys/stat.h>

namespace kelvo {
namespace {

using Names = std::vector<std::string>;

std::string sh(const std::string& line, int* status = nullptr) {
    return test::runCapture({"/bin/sh", "-c", line}, status);
}

std::string q(const std::string& word) { return "'" + word + "'"; }

// Every entry of a tree with everything a write would change (not access times).
std::string snapshot(const std::string& home) {
    return sh("cd " + q(home) + " && find . -printf '%p|%y|%s|%T@|%m|%l\\n' | sort");
}

struct Home {
    std::string path;
    ScanResult result;
    std::string before, after; // snapshots around the scan
    std::string trace;         // strace of the scan, when strace works here

    const ManagerReport& report(ManagerKind kind) const {
        for (const auto& report : result.managers)
            if (report.kind == kind)
                return report;
        throw std::runtime_error("no report");
    }
    const DependencyItem& item(ManagerKind kind, const std::string& name) const {
        for (const auto& item : report(kind).items)
            if (item.name == name)
                return item;
        throw std::runtime_error("no item " + name);
    }
    // A tool of this home, run as a user would (only this HOME, its own folder first on PATH),
    // but writing no npm log, which would change the npm cache's size under the next test.
    std::string tool(const std::string& executable, const std::string& arguments) const {
        const std::string folder = executable.substr(0, executable.rfind('/'));
        return sh("env -i HOME=" + q(path) + " PATH=" + q(folder) + ":/usr/bin:/bin npm_config_update_notifier=false " +
                  "npm_config_logs_dir=/dev/null npm_config_logs_max=0 " +
                  q(executable) + " " + arguments + " 2>/dev/null");
    }
};

bool traced = false; // strace works here

class RealHomes : public ::testing::Test {
protected:
    static inline std::string skipReason, setupError, cache;
    static inline Home full, nvmOnly;

    static void SetUpTestSuite() {
        cache = std::string(KELVO_BINARY_DIR) + "/real-tools";
        int status = 0;
        const std::string log = sh("/bin/bash " + q(std::string(KELVO_SOURCE_DIR) + "/scripts/real-tools") + " " +
                                       q(cache) + " 2>&1; tail -n 8 " + q(cache + "/install.log"),
                                   &status);
        if (status != 0 || !pathExists(cache + "/ready")) {
            skipReason = "real pnpm, bun and Node builds could not be installed from the npm registry: " + log;
            return;
        }
        traced = sh("strace -f -o /dev/null true >/dev/null 2>&1 && echo yes") == "yes\n";
        try {
            build(full, "full", std::string(KELVO_BINARY_DIR) + "/bin/kelvo-report --json");
            build(nvmOnly, "nvm-only", std::string(KELVO_BINARY_DIR) + "/bin/kelvo-real-scan --npm-from-nvm-only");
        } catch (const std::exception& error) {
            setupError = error.what();
        }
    }

    static void TearDownTestSuite() {
        for (const Home* home : {&full, &nvmOnly})
            if (!home->path.empty() && std::getenv("KELVO_KEEP_REAL_HOME") == nullptr)
                test::removeTree(home->path);
    }

    void SetUp() override {
        if (!skipReason.empty())
            GTEST_SKIP() << skipReason;
        ASSERT_TRUE(setupError.empty()) << setupError;
    }

    static void build(Home& home, const std::string& flavour, const std::string& scan) {
        std::string pattern = cache + "/home-XXXXXX";
        if (::mkdtemp(pattern.data()) == nullptr)
            throw std::runtime_error("cannot make a home");
        home.path = pattern + "/" + flavour;
        int status = 0;
        sh("/bin/bash " + q(std::string(KELVO_SOURCE_DIR) + "/tests/real/make-home") + " " + q(cache) + " " +
               q(home.path) + " " + flavour,
           &status);
        if (status != 0)
            throw std::runtime_error("make-home " + flavour + " failed: " + sh("tail -n 20 " + q(home.path + ".log")));
        home.before = snapshot(home.path);
        const std::string trace = pattern + "/trace";
        const std::string json = sh("env HOME=" + q(home.path) + " " +
                                    (traced ? "strace -f -e trace=connect,execve -o " + q(trace) + " " : std::string()) + scan);
        home.after = snapshot(home.path);
        if (traced)
            home.trace = sh("cat " + q(trace));
        const auto decoded = decodeReport(nlohmann::json::parse(json, nullptr, false));
        if (!decoded)
            throw std::runtime_error("no report from " + scan + ": " + json.substr(0, 300));
        home.result = *decoded;
    }
};

// The globals bun itself lists.
Names bunGlobals(const Home& home) {
    Names names;
    std::istringstream lines(home.tool(home.path + "/.bun/bin/bun", "pm ls -g"));
    for (std::string line; std::getline(lines, line);)
        if (line.rfind("\u251c\u2500\u2500 ", 0) == 0 || line.rfind("\u2514\u2500\u2500 ", 0) == 0) {
            const std::string entry = line.substr(line.find(' ') + 1);
            names.push_back(entry.substr(0, entry.rfind('@')));
        }
    std::sort(names.begin(), names.end());
    return names;
}

// The globals npm itself lists, with the npm the home uses.
Names npmGlobals(const Home& home, const std::string& npm) {
    Names names;
    const auto json = nlohmann::json::parse(home.tool(npm, "ls -g --depth=0 --json"), nullptr, false);
    if (json.is_object() && json.contains("dependencies")) {
        for (const auto& [name, value] : json["dependencies"].items())
            names.push_back(name);
    }
    return names;
}

// Package item names of a report (without its cache and other summary items), in name order.
Names packageNames(const ManagerReport& report, std::set<std::string> others) {
    Names names;
    for (const auto& item : report.items)
        if (!others.contains(item.name))
            names.push_back(item.name);
    std::sort(names.begin(), names.end());
    return names;
}

// The folders of bun's global node_modules that are no global: what the dependencies item holds.
Names bunDependencyFolders(const Home& home) {
    const std::string modules = home.path + "/.bun/install/global/node_modules";
    const Names globals = bunGlobals(home);
    Names folders;
    std::istringstream entries(sh("ls -A " + q(modules)));
    for (std::string entry; std::getline(entries, entry);) {
        const bool scopeOfAGlobal =
            std::any_of(globals.begin(), globals.end(), [&](const auto& g) { return g.rfind(entry + "/", 0) == 0; });
        if (!scopeOfAGlobal && std::find(globals.begin(), globals.end(), entry) == globals.end())
            folders.push_back(modules + "/" + entry);
        if (scopeOfAGlobal) {
            std::istringstream members(sh("ls -A " + q(modules + "/" + entry)));
            for (std::string member; std::getline(members, member);)
                if (std::find(globals.begin(), globals.end(), entry + "/" + member) == globals.end())
                    folders.push_back(modules + "/" + entry + "/" + member);
        }
    }
    return folders;
}

// What du counts for an item, and every path an item stands for.
Names pathsOf(const Home& home, const DependencyItem& item) {
    if (item.path)
        return {*item.path};
    return item.name == "Dependencies of bun globals" ? bunDependencyFolders(home) : Names{};
}

void expectSizesAndTotalsAsDuCounts(const Home& home) {
    Names everything;
    for (const auto& report : home.result.managers) {
        Names paths;
        for (const auto& item : report.items) {
            const Names own = pathsOf(home, item);
            ASSERT_FALSE(own.empty()) << item.name;
            EXPECT_EQ(item.bytes, own.size() == 1 ? test::duBytes(own[0]) : test::duTotal(own)) << item.name;
            paths.insert(paths.end(), own.begin(), own.end());
        }
        if (!paths.empty()) {
            EXPECT_EQ(report.totalBytes(), test::duTotal(paths)) << rawValue(report.kind);
        }
        everything.insert(everything.end(), paths.begin(), paths.end());
    }
    EXPECT_EQ(home.result.totalBytes(), test::duTotal(everything));
}

void expectNothingWrittenAndNoNetwork(const Home& home) {
    EXPECT_EQ(home.before, home.after) << "the scan changed the home";
    if (!traced)
        GTEST_SKIP() << "strace cannot trace here: network use not checked";
    std::istringstream lines(home.trace);
    for (std::string line; std::getline(lines, line);) {
        EXPECT_TRUE(line.find("AF_INET") == std::string::npos) << line;
    }
    EXPECT_NE(home.trace.find("execve"), std::string::npos) << "the trace saw no command run";
}

TEST_F(RealHomes, ItemsAreWhatTheToolsThemselvesList) {
    EXPECT_EQ(packageNames(full.report(ManagerKind::npm), {"npm cache"}),
              npmGlobals(full, "/usr/bin/npm"));
    EXPECT_EQ(packageNames(full.report(ManagerKind::bun), {"bun cache", "Dependencies of bun globals"}),
              bunGlobals(full));
    const std::string store = full.tool(full.path + "/.local/share/pnpm/pnpm", "store path");
    ASSERT_EQ(full.report(ManagerKind::pnpm).items.size(), 1u);
    EXPECT_EQ(store.rfind(*full.report(ManagerKind::pnpm).items[0].path + "/", 0), 0u) << store;
    EXPECT_EQ(packageNames(full.report(ManagerKind::nvm), {}), (Names{"v18.17.0", "v18.19.1", "v20.11.1", "v20.18.1"}));
}

TEST_F(RealHomes, NvmDefaultFollowsTheAliasesNvmWrote) {
    const DependencyItem& current = full.item(ManagerKind::nvm, "v20.18.1"); // "20"
    EXPECT_EQ(current.tier, Tier::signalOnly);
    EXPECT_TRUE(current.evidence.empty() && !current.reclaimCommand);
    EXPECT_EQ(full.item(ManagerKind::nvm, "v20.11.1").evidence,
              (std::vector<Evidence>{Evidence::notDefaultVersion("v20.18.1"), Evidence::supersededPatch("v20.18.1")}));
    EXPECT_EQ(full.item(ManagerKind::nvm, "v18.17.0").reclaimCommand, "nvm uninstall v18.17.0");
}

TEST_F(RealHomes, GlobalsAreJudgedByTheirCommandsUse) {
    struct stat link {};
    ASSERT_EQ(::lstat((full.path + "/.npm-global/bin/he").c_str(), &link), 0);
    const DependencyItem& he = full.item(ManagerKind::npm, "he");
    EXPECT_EQ(he.tier, Tier::orphanCandidate);
    ASSERT_EQ(he.evidence.size(), 1u);
    EXPECT_EQ(he.evidence[0].kind, Evidence::Kind::notUsedSinceInstall);
    EXPECT_NEAR(he.evidence[0].at, static_cast<double>(link.st_mtime), 1.0);
    const DependencyItem& semver = full.item(ManagerKind::npm, "semver");
    EXPECT_EQ(semver.tier, Tier::orphanCandidate);
    ASSERT_EQ(semver.evidence.size(), 1u);
    EXPECT_EQ(semver.evidence[0].kind, Evidence::Kind::lastUsed);
    // Just run, and a package without commands: in use, as far as anyone can tell.
    EXPECT_EQ(full.item(ManagerKind::npm, "cowsay").tier, Tier::signalOnly);
    EXPECT_EQ(full.item(ManagerKind::npm, "is-number").tier, Tier::signalOnly);
    for (const auto& item : full.report(ManagerKind::bun).items) {
        EXPECT_NE(item.tier, Tier::orphanCandidate) << item.name << " was installed just now";
    }
}

TEST_F(RealHomes, NpmOfTheDefaultNodeWhenNodeComesOnlyFromNvm) {
    const std::string npm = nvmOnly.path + "/.nvm/versions/node/v20.18.1/bin/npm";
    const ManagerReport& report = nvmOnly.report(ManagerKind::npm);
    ASSERT_TRUE(report.detected);
    EXPECT_EQ(report.version, "10.9.2");
    EXPECT_EQ(packageNames(report, {"npm cache"}), npmGlobals(nvmOnly, npm));
    EXPECT_EQ(nvmOnly.item(ManagerKind::npm, "npm").reclaimCommand, std::nullopt);
    // The globals lie inside the default Node's folder: the whole total counts them once.
    EXPECT_LT(nvmOnly.result.totalBytes(),
              nvmOnly.report(ManagerKind::npm).totalBytes() + nvmOnly.report(ManagerKind::nvm).totalBytes());
}

TEST_F(RealHomes, SizesAndTotalsAreWhatDuCounts) {
    expectSizesAndTotalsAsDuCounts(full);
    expectSizesAndTotalsAsDuCounts(nvmOnly);
}

TEST_F(RealHomes, AScanWritesNothingAndOpensNoNetworkConnection) {
    expectNothingWrittenAndNoNetwork(full);
    expectNothingWrittenAndNoNetwork(nvmOnly);
}

} // namespace
} // namespace kelvo
