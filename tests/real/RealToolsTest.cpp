// Kelvo against the real package managers: real npm, pnpm, bun and Node builds installed into a
// throw-away home directory, scanned through the production adapter list, and every size
// cross-checked with du. The tools come from the npm registry once per build directory
// (scripts/real-tools); without the registry the tests skip and say why.

#include "adapters/AdapterSupport.h"
#include "scan/MainQueue.h"
#include "scan/StandardAdapters.h"
#include "support/TestSupport.h"
#include "model/Utf8.h"
#include "system/CommandRunner.h"
#include "system/Platform.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <fcntl.h>
#include <iostream>
#include <sys/stat.h>
#include <unistd.h>

namespace kelvo {
namespace {

using namespace std::chrono_literals;

constexpr double day = 86400.0;

// Runs a shell line, standard error folded into the output.
std::string sh(const std::string& line, int* status) {
    return test::runCapture({"/bin/sh", "-c", line + " 2>&1"}, status);
}

std::string q(const std::string& word) { return shellQuoted(word); }

std::optional<struct stat> statOf(const std::string& path) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0)
        return std::nullopt;
    return info;
}

double seconds(const timespec& time) { return static_cast<double>(time.tv_sec) + time.tv_nsec / 1e9; }

bool setTimes(const std::string& path, std::optional<double> accessed, double modified) {
    timespec times[2]{};
    times[0] = accessed ? timespec{static_cast<time_t>(*accessed), 0} : timespec{0, UTIME_OMIT};
    times[1] = timespec{static_cast<time_t>(modified), 0};
    return ::utimensat(AT_FDCWD, path.c_str(), times, 0) == 0;
}

const DependencyItem* itemNamed(const ManagerReport& report, const std::string& name) {
    for (const auto& item : report.items)
        if (item.name == name)
            return &item;
    return nullptr;
}

class RealTools : public ::testing::Test {
protected:
    static inline std::string skipReason;
    static inline std::string setupError;
    static inline std::string cache;
    static inline std::string home;
    static inline std::optional<ScanResult> result;
    static inline std::string npmVersion, pnpmVersion, bunVersion;
    static inline bool brewPresent = false;
    static inline double npmSemverUse = 0; // set by hand
    static inline std::optional<double> npmHeUse; // set by running the command
    static inline double bunHeUse = 0;
    static inline double scanSeconds = 0;

    static void SetUpTestSuite() {
        cache = std::string(KELVO_BINARY_DIR) + "/real-tools";
        int status = 0;
        const std::string log = sh("/bin/bash " + q(std::string(KELVO_SOURCE_DIR) + "/scripts/real-tools") + " " + q(cache), &status);
        if (status != 0) {
            int ignored = 0;
            skipReason = "real pnpm, bun and Node builds could not be installed from the npm registry: " + log +
                         sh("tail -n 8 " + q(cache + "/install.log"), &ignored);
            return;
        }
        if (!pathExists("/usr/bin/npm") || !pathExists("/usr/bin/node")) {
            skipReason = "npm and node are not installed under /usr/bin";
            return;
        }
        try {
            build();
        } catch (const std::exception& error) {
            setupError = error.what();
        }
    }

    static void TearDownTestSuite() {
        if (!home.empty() && std::getenv("KELVO_KEEP_REAL_HOME") == nullptr)
            test::removeTree(home);
    }

    void SetUp() override {
        if (!skipReason.empty())
            GTEST_SKIP() << skipReason;
        ASSERT_TRUE(setupError.empty()) << setupError;
        ASSERT_TRUE(result.has_value());
    }

    static void require(bool condition, const std::string& what) {
        if (!condition)
            throw std::runtime_error(what);
    }

    // Runs a setup step in the test home; a failure here is a failure, not a skip: nothing
    // below needs the network.
    static std::string step(const std::string& line) {
        int status = 0;
        const auto started = std::chrono::steady_clock::now();
        // Nothing from the caller's environment may move a tool's directories out of the home.
        static const std::string clean =
            "env -u XDG_DATA_HOME -u XDG_CACHE_HOME -u XDG_CONFIG_HOME -u PNPM_HOME -u BUN_INSTALL "
            "-u BUN_INSTALL_CACHE_DIR -u BUN_INSTALL_GLOBAL_DIR -u BUN_INSTALL_BIN -u NPM_CONFIG_PREFIX "
            "-u npm_config_prefix -u npm_config_cache -u npm_config_userconfig -u npm_config_store_dir ";
        const std::string out = sh("cd " + q(home) + " && " + clean + "HOME=" + q(home) + " " + line, &status);
        require(status == 0, "`" + line + "` failed: " + out);
        const double took = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
        if (took > 2.0)
            std::cout << "[real tools] slow step (" << took << " s): " << line << "\n";
        return out;
    }

    static void build() {
        std::string pattern = cache + "/home-XXXXXX";
        require(::mkdtemp(pattern.data()) != nullptr, "cannot make a home directory");
        home = pattern;
        const std::string packages = cache + "/packages/";

        // npm: globals under a prefix that the home's own .npmrc names.
        test::writeFile(home + "/.npmrc", "prefix=" + home + "/.npm-global\nupdate-notifier=false\nfund=false\naudit=false\n");
        step("/usr/bin/npm install -g --offline " + q(packages + "semver-7.6.3.tgz") + " " + q(packages + "he-1.2.0.tgz"));

        // bun: the executable where its installer puts it; globals and cache by bun itself.
        test::makeDirs(home + "/.bun/bin");
        if (::link((cache + "/bun").c_str(), (home + "/.bun/bin/bun").c_str()) != 0)
            step("cp " + q(cache + "/bun") + " " + q(home + "/.bun/bin/bun"));
        step(q(home + "/.bun/bin/bun") + " add -g " + q(packages + "he-1.2.0.tgz") + " " + q(packages + "is-number-7.0.0.tgz"));

        // pnpm: a standalone install and one project, so the store under ~/.local/share is pnpm's own.
        test::makeDirs(home + "/.local/share/pnpm");
        if (::link((cache + "/pnpm").c_str(), (home + "/.local/share/pnpm/pnpm").c_str()) != 0)
            step("cp " + q(cache + "/pnpm") + " " + q(home + "/.local/share/pnpm/pnpm"));
        test::writeFile(home + "/project/package.json",
                        R"({"name":"project","version":"1.0.0","private":true,"dependencies":{"ms":"file:)" + packages +
                            R"(ms-2.1.3.tgz","is-number":"file:)" + packages + R"(is-number-7.0.0.tgz"}})");
        step(q(home + "/.local/share/pnpm/pnpm") + " install --dir " + q(home + "/project"));
        require(isDirectory(home + "/.local/share/pnpm/store"), "pnpm put its store elsewhere");

        // nvm: real Node builds as nvm lays them out (hard links into the cache cost nothing).
        test::makeDirs(home + "/.nvm/versions/node");
        for (const char* version : {"v18.17.0", "v18.19.1", "v20.11.1"})
            step("cp -al " + q(cache + "/node/" + version) + " " + q(home + "/.nvm/versions/node/" + version));
        test::writeFile(home + "/.nvm/alias/default", "20.11.1\n");

        // Last use: one command aged by hand, one really run after its change was aged.
        const double now = static_cast<double>(::time(nullptr));
        npmSemverUse = now - 2 * day;
        require(setTimes(home + "/.npm-global/lib/node_modules/semver/bin/semver.js", npmSemverUse, now - 10 * day),
                "cannot set times");
        const std::string npmHe = home + "/.npm-global/lib/node_modules/he/bin/he";
        require(setTimes(npmHe, now - 10 * day, now - 10 * day), "cannot set times");
        step("PATH=/usr/bin:/bin " + q(home + "/.npm-global/bin/he") + " --version");
        const auto heTimes = statOf(npmHe);
        require(heTimes.has_value(), "he vanished");
        // A file system mounted without access times keeps the old one: then there is no sign of use.
        if (seconds(heTimes->st_atim) - seconds(heTimes->st_mtim) >= day)
            npmHeUse = seconds(heTimes->st_atim);
        bunHeUse = now - 3 * day;
        require(setTimes(home + "/.bun/install/global/node_modules/he/bin/he", bunHeUse, now - 30 * day),
                "cannot set times");

        const test::ScopedEnv scopedHome("HOME", home);
        const CommandRunner runner;
        const auto versionOf = [&](CommandTool tool) {
            const std::string path = runner.resolve(tool).executable;
            require(!path.empty(), "a tool was not found where Kelvo looks");
            return trimWhitespace(step(q(path) + " --version"));
        };
        npmVersion = versionOf(CommandTool::npm);
        pnpmVersion = versionOf(CommandTool::pnpm);
        bunVersion = versionOf(CommandTool::bun);
        brewPresent = !runner.resolve(CommandTool::brew).executable.empty();

        MainQueue queue;
        ScanCoordinator coordinator(standardAdapterList(), queue.executor());
        const auto started = std::chrono::steady_clock::now();
        coordinator.scan();
        require(queue.runUntil([&] { return coordinator.result().has_value() && !coordinator.isScanning(); }, 10min),
                "the scan did not finish");
        scanSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
        result = coordinator.result();

        std::cout << "[real tools] home " << home << ", scan took " << scanSeconds << " s\n";
        for (const auto& report : result->managers) {
            std::cout << "[real tools] " << rawValue(report.kind) << ": detected " << report.detected << ", version "
                      << report.version.value_or("-") << ", " << report.items.size() << " items, "
                      << report.totalBytes() << " bytes\n";
            for (const auto& item : report.items)
                std::cout << "[real tools]     " << item.name << " " << item.version.value_or("") << " "
                          << (item.bytes ? std::to_string(*item.bytes) : "-") << " " << item.evidence.size()
                          << " evidence\n";
        }
    }

    static const ManagerReport& report(ManagerKind kind) {
        for (const auto& candidate : result->managers)
            if (candidate.kind == kind)
                return candidate;
        throw std::runtime_error("no report");
    }

    // Every item's size is what du says about the same path; items come largest first.
    static void expectMeasuredLikeDu(const ManagerReport& report) {
        std::optional<std::int64_t> previous;
        for (const auto& item : report.items) {
            ASSERT_TRUE(item.path) << item.name;
            ASSERT_TRUE(item.bytes) << item.name;
            EXPECT_EQ(item.bytes, test::duBytes(*item.path)) << item.name;
            if (previous) {
                EXPECT_GE(*previous, *item.bytes);
            }
            previous = item.bytes;
        }
    }
};

TEST_F(RealTools, FiveReportsInKindOrderAndOnlyInstalledManagersDetected) {
    ASSERT_EQ(result->managers.size(), 5u);
    for (std::size_t i = 0; i < 5; ++i)
        EXPECT_EQ(result->managers[i].kind, allManagerKinds[i]);
    EXPECT_EQ(report(ManagerKind::homebrew).detected, brewPresent);
    for (ManagerKind kind : {ManagerKind::npm, ManagerKind::pnpm, ManagerKind::nvm, ManagerKind::bun})
        EXPECT_TRUE(report(kind).detected) << rawValue(kind);
}

TEST_F(RealTools, NpmGlobalsCacheAndLastUse) {
    const ManagerReport& npm = report(ManagerKind::npm);
    EXPECT_EQ(npm.version, npmVersion);
    ASSERT_EQ(npm.items.size(), 3u);
    expectMeasuredLikeDu(npm);

    const DependencyItem* semver = itemNamed(npm, "semver");
    ASSERT_NE(semver, nullptr);
    EXPECT_EQ(semver->version, "7.6.3");
    EXPECT_EQ(semver->path, home + "/.npm-global/lib/node_modules/semver");
    EXPECT_EQ(semver->evidence, std::vector<Evidence>{Evidence::lastUsed(npmSemverUse)});
    EXPECT_EQ(semver->reclaimCommand, "npm -g uninstall semver");

    const DependencyItem* he = itemNamed(npm, "he");
    ASSERT_NE(he, nullptr);
    EXPECT_EQ(he->version, "1.2.0");
    if (npmHeUse) {
        ASSERT_EQ(he->evidence.size(), 1u);
        EXPECT_EQ(he->evidence[0].kind, Evidence::Kind::lastUsed);
        EXPECT_NEAR(he->evidence[0].at, *npmHeUse, 1.0);
    } else {
        EXPECT_TRUE(he->evidence.empty());
    }

    const DependencyItem* cacheItem = itemNamed(npm, "npm cache");
    ASSERT_NE(cacheItem, nullptr);
    EXPECT_EQ(cacheItem->path, home + "/.npm");
    EXPECT_EQ(cacheItem->tier, Tier::safeByDesign);
}

TEST_F(RealTools, PnpmStoreFilledByPnpmItself) {
    const ManagerReport& pnpm = report(ManagerKind::pnpm);
    EXPECT_EQ(pnpm.version, pnpmVersion);
    ASSERT_EQ(pnpm.items.size(), 1u);
    EXPECT_EQ(pnpm.items[0].path, home + "/.local/share/pnpm/store");
    expectMeasuredLikeDu(pnpm);
    // The project's node_modules hard-links the same files; the store alone is what is measured.
    EXPECT_GT(*pnpm.items[0].bytes, 0);
    ASSERT_EQ(pnpm.quickWins.size(), 1u);
    EXPECT_EQ(pnpm.quickWins[0].command, "pnpm store prune");
}

TEST_F(RealTools, NvmNodeBuildsWithDefaultAndSeries) {
    const ManagerReport& nvm = report(ManagerKind::nvm);
    EXPECT_FALSE(nvm.version);
    ASSERT_EQ(nvm.items.size(), 3u);
    expectMeasuredLikeDu(nvm);
    const DependencyItem* current = itemNamed(nvm, "v20.11.1");
    const DependencyItem* newest18 = itemNamed(nvm, "v18.19.1");
    const DependencyItem* old18 = itemNamed(nvm, "v18.17.0");
    ASSERT_TRUE(current && newest18 && old18);
    EXPECT_EQ(current->tier, Tier::signalOnly);
    EXPECT_TRUE(current->evidence.empty());
    EXPECT_EQ(newest18->evidence, std::vector<Evidence>{Evidence::notDefaultVersion("v20.11.1")});
    EXPECT_EQ(old18->evidence, (std::vector<Evidence>{Evidence::notDefaultVersion("v20.11.1"),
                                                      Evidence::supersededPatch("v18.19.1")}));
    EXPECT_EQ(old18->reclaimCommand, "nvm uninstall v18.17.0");
}

TEST_F(RealTools, BunGlobalsCacheAndLastUse) {
    const ManagerReport& bun = report(ManagerKind::bun);
    EXPECT_EQ(bun.version, bunVersion);
    ASSERT_EQ(bun.items.size(), 3u);
    expectMeasuredLikeDu(bun);
    const DependencyItem* he = itemNamed(bun, "he");
    const DependencyItem* isNumber = itemNamed(bun, "is-number");
    const DependencyItem* cacheItem = itemNamed(bun, "bun cache");
    ASSERT_TRUE(he && isNumber && cacheItem);
    EXPECT_EQ(he->version, "1.2.0");
    EXPECT_EQ(isNumber->version, "7.0.0");
    EXPECT_EQ(he->evidence, std::vector<Evidence>{Evidence::lastUsed(bunHeUse)});
    EXPECT_TRUE(isNumber->evidence.empty()); // no commands
    EXPECT_EQ(isNumber->reclaimCommand, "bun remove -g is-number");
    EXPECT_EQ(cacheItem->path, home + "/.bun/install/cache");
}

} // namespace
} // namespace kelvo
