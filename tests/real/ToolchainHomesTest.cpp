// Kelvo against homes a real Go, real rustup and cargo, and real pyenv, pip, pipx and pipenv filled
// (tests/real/make-toolchain-home), the tools being the oracle: their listings for the items, du for sizes and totals,
// and every reclaim command run in the home (itself a copy) for what it frees. Without a tool the test skips.

#include "inventory/ReportJson.h"
#include "real/RealShell.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <algorithm>

#include <stdlib.h>
#include <unistd.h>

namespace kelvo {
namespace {

using Names = std::vector<std::string>;

using test::lines;
using test::q;
using test::sh;

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
    // Runs the item's own command in the home as a user would; what one du over the home and
    // `linkedFrom` (the folders its hard links lead to) lost: what the disk got back.
    std::int64_t reclaim(const DependencyItem& item, const std::string& environment, Names linkedFrom = {}) const {
        linkedFrom.push_back(home);
        const auto before = test::duTotal(linkedFrom);
        int status = 0;
        const std::string out = sh(
            "cd " + q(home) + " && env -i HOME=" + q(home) + " " + environment + " " + *item.reclaimCommand + " 2>&1",
            &status);
        EXPECT_EQ(status, 0) << *item.reclaimCommand << ": " << out;
        return before.value_or(0) - test::duTotal(linkedFrom).value_or(0);
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

TEST(RealToolchains, RustToolchainsAsRustupListsThemAndWhatEachCommandFrees) {
    const std::string real = std::getenv("HOME") != nullptr ? std::getenv("HOME") : "";
    if (::access((real + "/.cargo/bin/rustup").c_str(), X_OK) != 0 ||
        sh("ls " + q(real + "/.rustup/toolchains")).empty())
        GTEST_SKIP() << "no rustup with a toolchain in " << real;
    ToolHome rust("rust", ManagerKind::rust);
    const std::string environment = "PATH=" + q(rust.home + "/.cargo/bin") +
                                    ":/usr/bin:/bin RUSTUP_HOME=" + q(rust.home + "/.rustup") +
                                    " CARGO_HOME=" + q(rust.home + "/.cargo");
    const auto rustup = [&](const std::string& arguments) {
        return sh("env -i HOME=" + q(rust.home) + " " + environment + " rustup " + arguments + " 2>/dev/null");
    };
    // rustup's listing: a name a line, the default marked by a suffix that is no part of it.
    const auto listed = [&] {
        Names names;
        for (auto line : lines(rustup("toolchain list"))) names.push_back(line.substr(0, line.find(' ')));
        std::sort(names.begin(), names.end());
        return names;
    };
    const Names toolchains = listed();
    const std::string shownDefault = rustup("default");
    const std::string defaultName = shownDefault.substr(0, shownDefault.find_first_of(" \n"));
    Names kelvo;
    for (const auto& item : rust.report.items) {
        if (item.tool != "rustup" || !item.path) continue;
        kelvo.push_back(item.name);
        EXPECT_EQ(item.tier == Tier::orphanCandidate, item.name != defaultName) << item.name;
    }
    EXPECT_EQ(kelvo, toolchains);
    const auto& probe = rust.item("kelvo-probe-tool");
    EXPECT_TRUE(probe.version == "0.3.0" && probe.tool == "cargo" &&
                probe.reclaimCommand == "cargo uninstall kelvo-probe-tool");
    EXPECT_EQ(rust.item("cargo git checkouts").path, rust.home + "/.cargo/git");
    rust.expectSizesOfDu();
    const auto everything = test::duTotal({rust.home + "/.rustup", rust.home + "/.cargo"});
    EXPECT_GE(rust.report.totalBytes() * 100, everything.value_or(0) * 95);
    EXPECT_LE(rust.report.totalBytes(), everything.value_or(0));
    std::printf("Rust: Kelvo %lld of du %lld bytes\n", static_cast<long long>(rust.report.totalBytes()),
        static_cast<long long>(everything.value_or(0)));

    // A project's toolchain file, naming a channel without its host, keeps what rustup itself uses there.
    const std::string name = "nightly" + defaultName.substr(defaultName.find('-')); // the default's host
    if (name != defaultName && std::find(toolchains.begin(), toolchains.end(), name) != toolchains.end()) {
        const std::string api = rust.home + "/work/api";
        sh("mkdir -p " + q(api) + " && printf '[toolchain]\\nchannel = \"nightly\"\\n' >" +
            q(api + "/rust-toolchain.toml"));
        const std::string active = sh("cd " + q(api) + " && env -i HOME=" + q(rust.home) + " " + environment +
                                      " rustup show active-toolchain 2>/dev/null");
        EXPECT_EQ(active.substr(0, active.find(' ')), name);
        rust.scan(ManagerKind::rust);
        EXPECT_EQ(rust.item(name).evidence.at(0), Evidence::pinnedByProject("~/work/api"));
        EXPECT_TRUE(rust.item(name).tier == Tier::signalOnly && !rust.item(name).reclaimCommand);
        sh("rm -r " + q(rust.home + "/work"));
        rust.scan(ManagerKind::rust);
    }

    // Toolchains are hard links into the machine's: uninstalling one frees only its folders' own
    // blocks, as freedBytes says, and rustup's note of its update.
    Names left = toolchains;
    for (const auto& item : rust.report.items) {
        if (item.tier != Tier::orphanCandidate || item.tool != "rustup") continue;
        const auto hash = test::duBytes(rust.home + "/.rustup/update-hashes/" + item.name).value_or(0);
        EXPECT_EQ(rust.reclaim(item, environment, {real + "/.rustup"}) - hash, item.freedBytes) << item.name;
        left.erase(std::find(left.begin(), left.end(), item.name));
        EXPECT_EQ(listed(), left);
    }
    for (const std::string name : {"kelvo-probe-tool", "cargo git checkouts"})
        EXPECT_EQ(rust.reclaim(rust.item(name), environment, {real + "/.rustup", real + "/.cargo/bin"}),
            rust.item(name).freedBytes)
            << name;
    EXPECT_EQ(::access((rust.home + "/.cargo/bin/kelvo-probe-tool").c_str(), F_OK), -1);
    EXPECT_TRUE(listed() == Names{defaultName}) << "the default stays";
}

TEST(RealToolchains, PythonVersionsAsPyenvListsThemAppsAsPipxListsThemAndWhatUninstallFrees) {
    const std::string real = std::getenv("HOME") != nullptr ? std::getenv("HOME") : "";
    if (sh("ls " + q(real + "/.pyenv/versions")).empty() || sh("command -v pipx pipenv").empty())
        GTEST_SKIP() << "needs pyenv with versions in " << real << ", pipx and pipenv (Debian: pipx pipenv)";
    ToolHome py("python", ManagerKind::python);
    const std::string environment =
        "PATH=" + q(py.home + "/.pyenv/bin") + ":/usr/bin:/bin PYENV_ROOT=" + q(py.home + "/.pyenv");
    const auto tool = [&](const std::string& line) {
        Names out = lines(sh("env -i HOME=" + q(py.home) + " " + environment + " " + line + " 2>/dev/null"));
        std::sort(out.begin(), out.end());
        return out;
    };
    // Sizes first: pipx logs every command it runs into its own folder.
    py.expectSizesOfDu();
    const auto everything = test::duTotal({py.home + "/.pyenv", py.home + "/.cache", py.home + "/.local"});
    EXPECT_GE(py.report.totalBytes() * 100, everything.value_or(0) * 95);
    std::printf("Python: Kelvo %lld of du -c %lld bytes over ~/.pyenv ~/.cache ~/.local\n",
        static_cast<long long>(py.report.totalBytes()), static_cast<long long>(everything.value_or(0)));
    // pyenv's and pipx's listings, pyenv's global kept, and pipenv's virtualenv whose project is gone.
    const std::string global = tool("pyenv version-name").at(0);
    Names versions, apps, kelvoApps, gone;
    for (const auto& line : tool("pipx list --short")) apps.push_back(line.substr(0, line.find(' ')));
    for (const auto& item : py.report.items) {
        if (item.tool == "pipx" && item.tier != Tier::safeByDesign) kelvoApps.push_back(item.name);
        if (item.tier == Tier::orphanCandidate && item.tool == "pipenv") gone.push_back(item.evidence.at(0).summary());
        if (item.tool != "pyenv") continue;
        versions.push_back(item.name);
        const bool used = item.evidence.size() == 1 && item.evidence[0].kind == Evidence::Kind::usedByVirtualenv;
        EXPECT_EQ(item.tier == Tier::orphanCandidate, item.name != global && !used) << item.name;
    }
    std::sort(versions.begin(), versions.end());
    EXPECT_EQ(versions, tool("pyenv versions --bare"));
    EXPECT_EQ(kelvoApps, apps);
    EXPECT_EQ(gone, Names{"Its project ~/src/gone is gone"});

    // A project's own virtualenv keeps the version it runs, as the pyvenv.cfg venv wrote says.
    for (const auto& item : py.report.items) {
        if (item.tool != "pyenv" || item.tier != Tier::orphanCandidate || !item.name.starts_with("3.1")) continue;
        const std::string name = item.name, app = py.home + "/src/app";
        sh("mkdir -p " + q(app) + " && : >" + q(app + "/pyproject.toml") + " && " +
            q(py.home + "/.pyenv/versions/" + name + "/bin/python3") + " -m venv --without-pip " + q(app + "/.venv"));
        py.scan(ManagerKind::python);
        EXPECT_EQ(py.item(name).evidence.at(0), Evidence::usedByVirtualenv("~/src/app/.venv"));
        EXPECT_EQ(py.item(name).tier, Tier::signalOnly);
        sh("rm -r " + q(app));
        py.scan(ManagerKind::python);
        break;
    }

    // The versions are hard links into the machine's: uninstalling one frees its folders' own blocks,
    // as freedBytes says, and removes exactly that version.
    const auto orphan = std::find_if(py.report.items.begin(), py.report.items.end(),
        [](const DependencyItem& item) { return item.tool == "pyenv" && item.tier == Tier::orphanCandidate; });
    ASSERT_NE(orphan, py.report.items.end());
    // pyenv then writes its shims afresh (the old ones were links into the machine's).
    const std::int64_t lost = py.reclaim(*orphan, environment, {real + "/.pyenv"});
    const std::string shims = sh(
        "find " + q(py.home + "/.pyenv/shims") + " -type f -printf '%b\\n' | awk '{s += $1 * 512} END {print s + 0}'");
    EXPECT_EQ(lost + std::stoll(shims), orphan->freedBytes);
    Names left = versions;
    left.erase(std::find(left.begin(), left.end(), orphan->name));
    EXPECT_EQ(tool("pyenv versions --bare"), left);
    EXPECT_EQ(::access((real + "/.pyenv/versions/" + orphan->name).c_str(), F_OK), 0) << "the machine's stays";
}

} // namespace
} // namespace kelvo
