// The user's projects on real trees: which manager a lockfile names, when a project last changed,
// and the verdicts and commands that follow; sizes from the substitute sizer.

#include "adapters/ProjectsAdapter.h"
#include "adapters/Sources.h"
#include "adapters/Substitutes.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>

#include <sys/stat.h>
#include <unistd.h>

namespace kelvo {
namespace {

constexpr double day = 86400;
using test::age;

std::string inventorySummaryOf(const ManagerReport& report) { return summaryOf(descriptor(report.kind), report.items); }

ManagerReport projectsUnder(const std::string& home, std::vector<std::string> roots,
    std::shared_ptr<test::FakeSizer> sizer = std::make_shared<test::FakeSizer>()) {
    return ProjectsAdapter(std::move(sizer), home, [roots] { return roots; }).scan();
}

// A project with its package.json, node_modules and `files`, every entry below it `daysAgo` old.
void project(const std::string& folder, const std::vector<std::string>& files, double daysAgo) {
    test::writeFile(folder + "/package.json", "{}");
    test::writeFile(folder + "/node_modules/x/index.js", "x");
    for (const auto& file : files) test::writeFile(folder + "/" + file, "");
    std::vector<std::string> paths;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(folder)) paths.push_back(entry.path());
    for (auto path = paths.rbegin(); path != paths.rend(); ++path) age(*path, daysAgo); // contents first
}

TEST(ProjectsAdapter, TheNearestLockfileNamesTheManagerAndTheNewestOfSeveralWins) {
    test::TempDir root;
    using Files = std::vector<std::string>;
    using Managed = std::optional<std::string>;
    const std::pair<Files, Managed> rows[] = {{Files{"package-lock.json"}, "npm"},
        {Files{"npm-shrinkwrap.json"}, "npm"}, {Files{"pnpm-lock.yaml"}, "pnpm"}, {Files{"yarn.lock"}, "yarn"},
        {Files{"bun.lock"}, "bun"}, {Files{"bun.lockb"}, "bun"}, {Files{"package-lock.json", "yarn.lock"}, "yarn"},
        {Files{}, std::nullopt}};
    std::map<std::string, Managed> expected;
    int i = 0;
    for (const auto& [files, manager] : rows) {
        const std::string folder = root / ("p" + std::to_string(i++));
        project(folder, {}, 1);
        for (std::size_t k = 0; k < files.size(); ++k) {
            test::writeFile(folder + "/" + files[k], "");
            age(folder + "/" + files[k], 10.0 - static_cast<double>(k)); // the last one is the newest
        }
        expected[folder + "/node_modules"] = manager;
    }
    // A workspace member takes its root's; a folder named like a lockfile is none.
    test::writeFile(root / "ws/pnpm-lock.yaml", "");
    test::makeDirs(root / "ws/packages/a/yarn.lock");
    project(root / "ws/packages/a", {}, 1);
    expected[root / "ws/packages/a/node_modules"] = "pnpm";
    const auto managers = [&](const std::string& searched) {
        std::map<std::string, Managed> found;
        for (const auto& item : projectsUnder(root.path(), {searched}).items) found[*item.path] = item.managedBy;
        return found;
    };
    EXPECT_EQ(managers(root.path()), expected);
    // The search for one stops at the searched folder, however it is written.
    for (const std::string& spelling : {root / "ws/packages/.", root / "ws//packages/", root / "ws/packages/a/.."})
        EXPECT_EQ(
            managers(spelling), (std::map<std::string, Managed>{{root / "ws/packages/a/node_modules", std::nullopt}}))
            << spelling;
}

TEST(ProjectsAdapter, StaleProjectsMayGoActiveOnesStayAndOneWithoutALockfileIsNeverOffered) {
    test::TempDir home;
    // Changed today only four levels down and in a hidden folder, which are not looked at.
    project(home / "old", {"package-lock.json", "src/deep/er/new.js", ".cache/new"}, 200);
    age(home / "old/src/deep/er/new.js", 0);
    age(home / "old/.cache", 0);
    age(home / "old/node_modules", 0); // installing changes it, not the project
    project(home / "work/app it's", {"pnpm-lock.yaml", "src/a.js"}, 200);
    test::writeFile(home / "work/app it's/src/today.js", ""); // a change today
    project(home / "nolock", {}, 400);
    auto sizer = std::make_shared<test::FakeSizer>();
    sizer->set(home / "old/node_modules", 7000).set(home / "nolock/node_modules", 9000);
    const ManagerReport report = projectsUnder(home.path(), {home.path() + "/"}, sizer);
    ASSERT_TRUE(report.detected);
    ASSERT_EQ(test::itemNames(report), (std::vector<std::string>{"nolock \u00b7 node_modules",
                                           "old \u00b7 node_modules", "app it's \u00b7 node_modules"}));
    const auto& [nolock, old, active] = std::tie(report.items[0], report.items[1], report.items[2]);
    EXPECT_TRUE(
        nolock.tier == Tier::signalOnly && nolock.evidence == std::vector{Evidence::noLockfile()} && !nolock.managedBy);
    EXPECT_TRUE(old.tier == Tier::orphanCandidate && old.managedBy == "npm" && old.project == home / "old");
    EXPECT_TRUE(old.restoreCommand == "npm ci" && old.restoresExactly);
    ASSERT_EQ(old.evidence.size(), 1u);
    EXPECT_EQ(old.evidence[0].kind, Evidence::Kind::projectUntouched);
    EXPECT_NEAR(old.evidence[0].at, nowSeconds() - 200 * day, 2);
    EXPECT_EQ(old.reclaimCommand, "rm -rf -- " + home / "old/node_modules");
    EXPECT_TRUE(active.tier == Tier::signalOnly && active.evidence.at(0).kind == Evidence::Kind::projectActive);
    EXPECT_EQ(test::shellWords(*active.reclaimCommand),
        (std::vector<std::string>{"rm", "-rf", "--", home / "work/app it's/node_modules"}));
    EXPECT_FALSE(projectsUnder(home.path(), {}, sizer).detected);
}

// Every kind of project the table knows, each beside its marker, with decoys: a build folder
// without its marker, one nested in another, a virtual environment's name without one, a
// hidden folder's project. Cargo's target with its cache tag; a stale and an active project.
TEST(ProjectsAdapter, EveryKindOfProjectFindsItsBuildFoldersBesideItsMarkerAndNoDecoys) {
    test::TempDir home;
    // The marker, the build folder beside it, what manages it and the command that restores it.
    const std::vector<std::tuple<const char*, const char*, const char*, std::optional<std::string>>> rows{
        {"package.json", "node_modules", "npm", "npm ci"}, {"Cargo.toml", "target", "cargo", "cargo build"},
        {"pom.xml", "target", "maven", "mvn package"}, {"build.gradle.kts", "build", "gradle", "./gradlew build"},
        {"settings.gradle", ".gradle", "gradle", "./gradlew build"},
        {"pyproject.toml", ".venv", "python", "poetry install"}, {"requirements.txt", "venv", "python", std::nullopt},
        {"setup.py", ".mypy_cache", "python", "mypy"}, {"Pipfile", ".tox", "python", "tox"},
        {"Package.swift", ".build", "swift", "swift build"}, {"Podfile", "Pods", "cocoapods", "pod install"},
        {"App.csproj", "obj", "dotnet", "dotnet build"}, {"Lib.fsproj", "bin", "dotnet", "dotnet build"}};
    std::vector<std::string> expected;
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const std::string folder = home / ("p" + std::to_string(i));
        test::writeFile(folder + "/" + std::get<0>(rows[i]), "");
        test::writeFile(folder + "/" + std::get<1>(rows[i]) + "/pyvenv.cfg", "");
        expected.push_back(folder + "/" + std::get<1>(rows[i]));
    }
    const std::vector<std::string> builds = expected; // each row's, in row order
    test::writeFile(home / "p0/package-lock.json", "");
    test::writeFile(home / "p5/poetry.lock", "");
    test::writeFile(home / "p1/target/CACHEDIR.TAG", "Signature: 8a477f597d28d172789f06886806bc55");
    for (const char* decoy : {"loose/target/x", "nested/Cargo.toml", "nested/target/sub/Cargo.toml",
             "nested/target/sub/target/x", "py/venv/x", ".config/app/pyproject.toml", ".config/app/.venv/pyvenv.cfg"})
        test::writeFile(home / decoy, "");
    test::writeFile(home / "py/requirements.txt", "");
    expected.push_back(home / "nested/target");
    test::writeFile(home / "p7/.pytest_cache/x", ""); // a second build folder of one project
    expected.push_back(home / "p7/.pytest_cache");
    for (const auto& path : std::filesystem::recursive_directory_iterator(home.path())) age(path.path(), 200);
    test::writeFile(home / "p1/src.rs", ""); // touched today: an active Cargo project
    const ManagerReport report = projectsUnder(home.path(), {home.path()});
    std::map<std::string, const DependencyItem*> byPath;
    for (const auto& item : report.items) byPath[*item.path] = &item;
    ASSERT_EQ(report.items.size(), expected.size());
    for (const auto& path : expected) ASSERT_TRUE(byPath.contains(path)) << path;
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const auto& [marker, build, managedBy, restore] = rows[i];
        const DependencyItem& item = *byPath.at(builds[i]);
        SCOPED_TRACE(builds[i]);
        EXPECT_EQ(item.name, "p" + std::to_string(i) + " \u00b7 " + build);
        EXPECT_EQ(item.managedBy, managedBy);
        EXPECT_EQ(item.restoreCommand, restore);
        EXPECT_EQ(item.tier, i == 1 ? Tier::signalOnly : Tier::orphanCandidate) << "stale but p1";
        EXPECT_EQ(item.reclaimCommand, "rm -rf -- " + builds[i]);
    }
    const auto has = [&](std::size_t row, Evidence::Kind kind) {
        return std::ranges::any_of(byPath.at(builds[row])->evidence, [&](const Evidence& e) { return e.kind == kind; });
    };
    EXPECT_TRUE(has(1, Evidence::Kind::markedAsCache) && !has(2, Evidence::Kind::markedAsCache));
    EXPECT_TRUE(has(6, Evidence::Kind::noLockfile) && !has(5, Evidence::Kind::noLockfile))
        << "a venv without a lockfile says so";
    EXPECT_EQ(inventorySummaryOf(report), "14 projects \u00b7 15 build folders");
}

// Xcode's DerivedData, laid out as Xcode lays it out: a folder per workspace it built, whose
// info.plist names the workspace; and its archives, never offered for removal.
// Version files wherever the walk lists folders, built or not; read only when they are small text.
TEST(ProjectsAdapter, VersionFilesThatReadAsTextAreThePinsOfTheirFolders) {
    test::TempDir home;
    test::writeFile(home / "work/api/.nvmrc", "lts/iron\n");
    test::writeFile(home / "work/api/rust-toolchain.toml", "[toolchain]\nchannel = \"nightly\"\n");
    test::makeDirs(home / "work/web o'k");
    ASSERT_EQ(::symlink("../api/.nvmrc", (home / "work/web o'k/.node-version").c_str()), 0);
    test::writeFile(home / "work/big/.nvmrc", std::string(ProjectsAdapter::pinReadLimit + 1, '2'));
    test::writeFile(home / "work/bad/.nvmrc", "v20\xff");
    test::makeDirs(home / "work/dir/.nvmrc");
    test::makeDirs(home / "work/fifo");
    ASSERT_EQ(::mkfifo((home / "work/fifo/.nvmrc").c_str(), 0600), 0);
    test::writeFile(home / ".config/app/.nvmrc", "18"); // hidden folders are not walked
    test::writeFile(home / "work/api/.other-version", "1");
    // A virtual environment's cfg: inside a project's (never walked), and one on its own.
    test::writeFile(home / "work/api/pyproject.toml", "");
    test::writeFile(home / "work/api/.venv/pyvenv.cfg", "home = /usr/bin\n");
    test::writeFile(home / "envs/tool/pyvenv.cfg", "home = /opt/py\n");
    const ManagerReport report = projectsUnder(home.path(), {home.path()});
    std::vector<std::string> pins;
    for (const ProjectPin& pin : report.pins) pins.push_back(pin.folder + " " + pin.file + " " + pin.text);
    EXPECT_EQ(pins,
        (std::vector<std::string>{home / "envs/tool pyvenv.cfg home = /opt/py\n", home / "work/api .nvmrc lts/iron\n",
            home / "work/api rust-toolchain.toml [toolchain]\nchannel = \"nightly\"\n",
            home / "work/web o'k .node-version lts/iron\n", home / "work/api/.venv pyvenv.cfg home = /usr/bin\n"}));
}

TEST(ProjectsAdapter, XcodeBuildFoldersAreJudgedByTheirWorkspaceAndArchivesKept) {
    test::TempDir home;
    const std::string derived = home / "Library/Developer/Xcode/DerivedData";
    const auto plist = [](const std::string& workspace) {
        return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist "
               "version=\"1.0\">\n<dict>\n\t<key>LastAccessedDate</key>\n"
               "\t<date>2026-01-02T03:04:05Z</date>\n\t<key>WorkspacePath</key>\n\t<string>" +
               workspace + "</string>\n</dict>\n</plist>\n";
    };
    test::writeFile(home / "code/Live/Live.xcodeproj/project.pbxproj", "");
    test::writeFile(derived + "/Live-abcdefghijklmnopqrstuvwxyz/info.plist", plist(home / "code/Live/Live.xcodeproj"));
    test::writeFile(
        derived + "/Gone-bqsdjkwhemkgtqdxoxwwcdbzyhwq/info.plist", plist(home / "old/Gone &amp; Co.xcworkspace"));
    test::writeFile(
        derived + "/Binary-aaaaaaaaaaaaaaaaaaaaaaaaaaaa/info.plist", std::string("bplist00\xd1\x01\x02", 11));
    test::makeDirs(derived + "/NoPlist-bbbbbbbbbbbbbbbbbbbbbbbbbbbb/Build");
    test::makeDirs(derived + "/ModuleCache.noindex");
    test::writeFile(home / "Library/Developer/Xcode/Archives/2026-01-02/App.xcarchive/Info.plist", "");
    const ManagerReport report = projectsUnder(home.path(), {home / "code"});
    std::map<std::string, const DependencyItem*> byName;
    for (const auto& item : report.items) byName[item.name] = &item;
    ASSERT_EQ(byName.size(), 5u) << "the four workspaces' folders and the archives";
    const DependencyItem& gone = *byName.at("Gone \u00b7 DerivedData");
    EXPECT_TRUE(gone.tier == Tier::orphanCandidate &&
                gone.evidence == std::vector{Evidence::projectGone("~/old/Gone & Co.xcworkspace")});
    EXPECT_EQ(gone.reclaimCommand, "rm -rf -- " + derived + "/Gone-bqsdjkwhemkgtqdxoxwwcdbzyhwq");
    const DependencyItem& live = *byName.at("Live \u00b7 DerivedData");
    EXPECT_TRUE(live.tier == Tier::signalOnly && live.project == home / "code/Live" &&
                live.evidence.at(0).kind == Evidence::Kind::projectActive);
    for (const char* unknown : {"Binary \u00b7 DerivedData", "NoPlist \u00b7 DerivedData"})
        EXPECT_TRUE(byName.at(unknown)->tier == Tier::signalOnly && byName.at(unknown)->evidence.empty()) << unknown;
    const DependencyItem& archives = *byName.at("Xcode archives");
    EXPECT_TRUE(archives.tier == Tier::signalOnly && !archives.reclaimCommand && archives.identity);
}

} // namespace
} // namespace kelvo
