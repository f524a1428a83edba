// Kelvo against homes made with the real package managers (tests/real/make-home, from the tools
// scripts/real-tools installs once per build directory), the tools themselves being the oracle:
// their own listings for the items, du for every size and total, the file tree for "nothing
// written" and strace for "no network". Without the npm registry the tests skip and say why.

#include "inventory/ReportJson.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <set>
#include <sstream>

#include <sys/stat.h>
#include <unistd.h>

namespace kelvo {
namespace {

using Names = std::vector<std::string>;

std::string sh(const std::string& line, int* status = nullptr) {
    return test::runCapture({"/bin/sh", "-c", line}, status);
}
std::string q(const std::string& word) { return "'" + word + "'"; }

Names lines(const std::string& text) {
    Names out;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) out.push_back(line);
    return out;
}

struct Home {
    std::string path;
    ScanResult result;
    std::string before, after, trace; // the file tree around the scan; the scan's strace

    const ManagerReport& report(ManagerKind kind) const {
        return *std::find_if(
            result.managers.begin(), result.managers.end(), [&](const auto& r) { return r.kind == kind; });
    }
    const DependencyItem& item(ManagerKind kind, const std::string& name) const {
        const auto& items = report(kind).items;
        return *std::find_if(items.begin(), items.end(), [&](const auto& i) { return i.name == name; });
    }
    // A tool of this home, run as a user would (only this HOME, its own folder first on PATH), but
    // writing no npm log, which would change the npm cache's size under the next test.
    std::string tool(const std::string& executable, const std::string& arguments) const {
        return sh(
            "env -i HOME=" + q(path) + " PATH=" + q(executable.substr(0, executable.rfind('/'))) +
            ":/usr/bin:/bin npm_config_update_notifier=false npm_config_logs_dir=/dev/null npm_config_logs_max=0 " +
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
        if (status != 0 || ::access((cache + "/ready").c_str(), F_OK) != 0) {
            skipReason = "real pnpm, bun and Node builds could not be installed from the npm registry: " + log;
            return;
        }
        traced = sh("strace -f -o /dev/null true >/dev/null 2>&1 && echo yes") == "yes\n";
        try {
            build(full, "full", "/bin/kelvo-report --json");
            build(nvmOnly, "nvm-only", "/bin/kelvo-real-scan --npm-from-nvm-only");
        } catch (const std::exception& error) {
            setupError = error.what();
        }
    }
    static void TearDownTestSuite() {
        for (const Home* home : {&full, &nvmOnly})
            if (!home->path.empty() && std::getenv("KELVO_KEEP_REAL_HOME") == nullptr)
                test::removeTree(home->path.substr(0, home->path.rfind('/')));
    }
    void SetUp() override {
        if (!skipReason.empty()) GTEST_SKIP() << skipReason;
        ASSERT_TRUE(setupError.empty()) << setupError;
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
        const std::string snapshot = "cd " + q(home.path) + " && find . -printf '%p|%y|%s|%T@|%m|%l\\n' | sort";
        home.before = sh(snapshot);
        const std::string json = sh("env HOME=" + q(home.path) + " " +
                                    (traced ? "strace -f -e trace=connect,execve -o " + q(dir + "/trace") + " " : "") +
                                    std::string(KELVO_BINARY_DIR) + scan);
        home.after = sh(snapshot);
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

// The globals npm and bun themselves list.
Names npmGlobals(const Home& home, const std::string& npm) {
    Names names;
    const auto json = nlohmann::json::parse(home.tool(npm, "ls -g --depth=0 --json"), nullptr, false);
    if (json.is_object() && json.contains("dependencies"))
        for (const auto& [name, value] : json["dependencies"].items()) names.push_back(name);
    return names;
}
Names bunGlobals(const Home& home) {
    Names names;
    for (const auto& line : lines(home.tool(home.path + "/.bun/bin/bun", "pm ls -g")))
        if (line.starts_with("\u251c\u2500\u2500 ") || line.starts_with("\u2514\u2500\u2500 ")) {
            const std::string entry = line.substr(line.find(' ') + 1);
            names.push_back(entry.substr(0, entry.rfind('@')));
        }
    std::sort(names.begin(), names.end());
    return names;
}

// The folders of bun's global node_modules that hold no global: what the dependencies item is.
Names bunDependencyFolders(const Home& home) {
    const std::string modules = home.path + "/.bun/install/global/node_modules";
    const Names globals = bunGlobals(home);
    const auto global = [&](const std::string& name) {
        return std::find(globals.begin(), globals.end(), name) != globals.end();
    };
    Names folders;
    for (const auto& entry : lines(sh("ls -A " + q(modules)))) {
        const bool scopeOfAGlobal =
            std::any_of(globals.begin(), globals.end(), [&](const auto& g) { return g.starts_with(entry + "/"); });
        if (!scopeOfAGlobal && !global(entry)) folders.push_back(modules + "/" + entry);
        for (const auto& member : scopeOfAGlobal ? lines(sh("ls -A " + q(modules + "/" + entry))) : Names{})
            if (!global(entry + "/" + member)) folders.push_back(modules + "/" + entry + "/" + member);
    }
    return folders;
}

TEST_F(RealHomes, ItemsAreWhatTheToolsThemselvesList) {
    EXPECT_EQ(namesOf(full.report(ManagerKind::npm), {"npm cache"}), npmGlobals(full, "/usr/bin/npm"));
    EXPECT_EQ(namesOf(full.report(ManagerKind::bun), {"bun cache", "Dependencies of bun globals"}), bunGlobals(full));
    const std::string store = full.tool(full.path + "/.local/share/pnpm/pnpm", "store path");
    ASSERT_EQ(full.report(ManagerKind::pnpm).items.size(), 1u);
    EXPECT_TRUE(store.starts_with(*full.report(ManagerKind::pnpm).items[0].path + "/")) << store;
    EXPECT_EQ(namesOf(full.report(ManagerKind::nvm)), lines(sh("ls " + q(full.path + "/.nvm/versions/node"))));
    // Node comes only from nvm: the npm of its default version, and its globals inside that version.
    const ManagerReport& npm = nvmOnly.report(ManagerKind::npm);
    EXPECT_TRUE(npm.detected && npm.version == "10.9.2");
    EXPECT_EQ(namesOf(npm, {"npm cache"}), npmGlobals(nvmOnly, nvmOnly.path + "/.nvm/versions/node/v20.18.1/bin/npm"));
    EXPECT_FALSE(nvmOnly.item(ManagerKind::npm, "npm").reclaimCommand);
}

TEST_F(RealHomes, TheDefaultAndStaleGlobalsAreReadAsNvmAndUseLeftThem) {
    const DependencyItem& current = full.item(ManagerKind::nvm, "v20.18.1"); // "20"
    EXPECT_TRUE(current.tier == Tier::signalOnly && current.evidence.empty() && !current.reclaimCommand);
    EXPECT_EQ(full.item(ManagerKind::nvm, "v20.11.1").evidence,
        (std::vector<Evidence>{Evidence::notDefaultVersion("v20.18.1"), Evidence::supersededPatch("v20.18.1")}));
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
    for (const Home* home : {&full, &nvmOnly}) {
        Names everything;
        for (const auto& report : home->result.managers) {
            Names paths;
            for (const auto& item : report.items) {
                const Names own = item.path ? Names{*item.path} : bunDependencyFolders(*home);
                EXPECT_EQ(item.bytes, test::duTotal(own)) << item.name;
                paths.insert(paths.end(), own.begin(), own.end());
            }
            EXPECT_EQ(report.totalBytes(), paths.empty() ? 0 : test::duTotal(paths)) << rawValue(report.kind);
            everything.insert(everything.end(), paths.begin(), paths.end());
        }
        EXPECT_EQ(home->result.totalBytes(), test::duTotal(everything));
    }
    // npm's globals lie inside nvm's default Node there: the whole total counts them once.
    EXPECT_LT(nvmOnly.result.totalBytes(),
        nvmOnly.report(ManagerKind::npm).totalBytes() + nvmOnly.report(ManagerKind::nvm).totalBytes());
}

TEST_F(RealHomes, AScanWritesNothingAndOpensNoNetworkConnection) {
    for (const Home* home : {&full, &nvmOnly}) {
        EXPECT_EQ(home->before, home->after) << "the scan changed " << home->path;
        for (const auto& line : lines(home->trace)) EXPECT_EQ(line.find("AF_INET"), std::string::npos) << line;
        EXPECT_TRUE(!traced || home->trace.find("execve") != std::string::npos) << "the trace saw no command run";
    }
    if (!traced) GTEST_SKIP() << "strace cannot trace here: network use not checked";
}

} // namespace
} // namespace kelvo
