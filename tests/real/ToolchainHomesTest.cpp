// Kelvo against homes a real Go and real rustup and cargo filled (tests/real/make-toolchain-home),
// the tools being the oracle: their listings for the items, du for sizes and totals, and every
// reclaim command run in the home (itself a copy) for what it frees. Without a tool the test skips.

#include "inventory/ReportJson.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <algorithm>

#include <stdlib.h>
#include <unistd.h>

namespace kelvo {
namespace {

using Names = std::vector<std::string>;

std::string sh(const std::string& line, int* status = nullptr) {
    return test::runCapture({"/bin/sh", "-c", line}, status);
}
std::string q(const std::string& word) { return "'" + word + "'"; }

struct ToolHome {
    std::string dir, home;
    ManagerReport report;

    ToolHome(const std::string& flavour, ManagerKind kind) {
        dir = std::string(KELVO_BINARY_DIR) + "/toolchain-home-XXXXXX";
        if (::mkdtemp(dir.data()) == nullptr) throw std::runtime_error("cannot make a home");
        home = dir + "/home";
        int status = 0;
        sh(q(std::string(KELVO_SOURCE_DIR) + "/tests/real/make-toolchain-home") + " " + flavour + " " + q(home),
            &status);
        if (status != 0) throw std::runtime_error(flavour + " home failed: " + sh("tail -n 20 " + q(home + ".log")));
        scan(kind);
    }
    ~ToolHome() {
        // Go's module folders are read-only.
        if (std::getenv("KELVO_KEEP_REAL_HOME") == nullptr) sh("chmod -R u+w " + q(dir) + " && rm -rf " + q(dir));
    }
    void scan(ManagerKind kind) {
        const auto result = decodeReport(nlohmann::json::parse(
            sh("env HOME=" + q(home) + " " + std::string(KELVO_BINARY_DIR) + "/bin/kelvo-report --json"), nullptr,
            false));
        if (!result) throw std::runtime_error("no report");
        report = *std::find_if(
            result->managers.begin(), result->managers.end(), [&](const ManagerReport& r) { return r.kind == kind; });
    }
    const DependencyItem& item(const std::string& name) const {
        const auto found = std::find_if(
            report.items.begin(), report.items.end(), [&](const DependencyItem& i) { return i.name == name; });
        if (found == report.items.end()) throw std::runtime_error("no item " + name);
        return *found;
    }
    Names names() const {
        Names out;
        for (const auto& item : report.items) out.push_back(item.name);
        std::sort(out.begin(), out.end());
        return out;
    }
    // Every item with a path measures what du measures there, and the report's total is one du over them.
    void expectSizesOfDu() const {
        Names paths;
        for (const auto& item : report.items) {
            if (!item.path) continue;
            EXPECT_EQ(item.bytes, test::duBytes(*item.path)) << item.name;
            paths.push_back(*item.path);
        }
        if (std::all_of(report.items.begin(), report.items.end(), [](const auto& i) { return i.path.has_value(); })) {
            EXPECT_EQ(report.totalBytes(), test::duTotal(paths));
        }
    }
    // Runs the item's own command in the home as a user would; what du of the home lost.
    std::int64_t reclaim(const DependencyItem& item, const std::string& environment) const {
        const auto before = test::duBytes(home);
        int status = 0;
        const std::string out = sh(
            "cd " + q(home) + " && env -i HOME=" + q(home) + " " + environment + " " + *item.reclaimCommand + " 2>&1",
            &status);
        EXPECT_EQ(status, 0) << *item.reclaimCommand << ": " << out;
        return before.value_or(0) - test::duBytes(home).value_or(0);
    }
};

const std::string goEnvironment = "PATH=/usr/bin:/bin GOTOOLCHAIN=local GOFLAGS=-mod=mod GOPROXY=off";

TEST(RealToolchains, GoCachesFromItsEnvFileAndItsProgramsWithWhatTheirCommandsFree) {
    if (sh("command -v go").empty()) GTEST_SKIP() << "Go is not installed (Debian: golang-go)";
    ToolHome go("go", ManagerKind::go);
    EXPECT_TRUE(go.report.detected);
    EXPECT_EQ(go.names(), (Names{"Go build cache", "Go module cache", "app"}));
    EXPECT_EQ(go.item("Go module cache").path, go.home + "/mods") << "as go env -w set it";
    EXPECT_EQ(go.item("Go build cache").path, go.home + "/.cache/go-build");
    EXPECT_EQ(go.item("app").path, go.home + "/go/bin/app");
    go.expectSizesOfDu();
    const auto everything =
        test::duTotal({go.home + "/mods", go.home + "/.cache", go.home + "/go", go.home + "/.config"});
    EXPECT_GE(go.report.totalBytes() * 100, everything.value_or(0) * 95);
    std::printf("Go: Kelvo %lld of du %lld bytes\n", static_cast<long long>(go.report.totalBytes()),
        static_cast<long long>(everything.value_or(0)));

    // Each command removes its item, freeing what freedBytes says; go clean -cache keeps the
    // cache's folder and the notes Go keeps at its top.
    for (const std::string name : {"app", "Go module cache"}) {
        const DependencyItem& item = go.item(name);
        EXPECT_EQ(go.reclaim(item, goEnvironment), item.freedBytes) << name;
        EXPECT_FALSE(test::duBytes(*item.path)) << name << " is still there";
    }
    const DependencyItem& build = go.item("Go build cache");
    const std::int64_t lost = go.reclaim(build, goEnvironment);
    EXPECT_EQ(lost + test::duBytes(*build.path).value_or(0), build.freedBytes);
    EXPECT_LE(test::duBytes(*build.path).value_or(0), 5 * 4096);
}

} // namespace
} // namespace kelvo
