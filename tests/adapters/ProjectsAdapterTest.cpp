// The user's projects on real trees: which manager a lockfile names, when a project last changed,
// and the verdicts and commands that follow; sizes from the substitute sizer.

#include "adapters/ProjectsAdapter.h"
#include "adapters/Substitutes.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>

#include <fcntl.h>
#include <sys/stat.h>

namespace kelvo {
namespace {

constexpr double day = 86400;

void age(const std::string& path, double daysAgo) {
    const timespec when{static_cast<std::time_t>(nowSeconds() - daysAgo * day), 0};
    const timespec both[2] = {when, when};
    ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), both, AT_SYMLINK_NOFOLLOW), 0) << path;
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
    const std::pair<Files, std::optional<ManagerKind>> rows[] = {{Files{"package-lock.json"}, ManagerKind::npm},
        {Files{"npm-shrinkwrap.json"}, ManagerKind::npm}, {Files{"pnpm-lock.yaml"}, ManagerKind::pnpm},
        {Files{"yarn.lock"}, ManagerKind::yarn}, {Files{"bun.lock"}, ManagerKind::bun},
        {Files{"bun.lockb"}, ManagerKind::bun}, {Files{"package-lock.json", "yarn.lock"}, ManagerKind::yarn},
        {Files{}, std::nullopt}};
    std::map<std::string, std::optional<ManagerKind>> expected;
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
    expected[root / "ws/packages/a/node_modules"] = ManagerKind::pnpm;
    const auto managers = [&](const std::string& searched) {
        std::map<std::string, std::optional<ManagerKind>> found;
        for (const auto& item :
            ProjectsAdapter(std::make_shared<test::FakeSizer>(), root.path(), [&] { return std::vector{searched}; })
                .scan()
                .items)
            found[*item.path] = item.managedBy;
        return found;
    };
    EXPECT_EQ(managers(root.path()), expected);
    // The search for one stops at the searched folder, however it is written.
    for (const std::string& spelling : {root / "ws/packages/.", root / "ws//packages/", root / "ws/packages/a/.."})
        EXPECT_EQ(managers(spelling),
            (std::map<std::string, std::optional<ManagerKind>>{{root / "ws/packages/a/node_modules", std::nullopt}}))
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
    const ProjectsAdapter adapter(sizer, home.path(), [&] { return std::vector<std::string>{home.path() + "/"}; });
    const ManagerReport report = adapter.scan();
    ASSERT_TRUE(report.detected);
    ASSERT_EQ(test::itemNames(report), (std::vector<std::string>{"nolock", "old", "app it's"}));
    const auto& [nolock, old, active] = std::tie(report.items[0], report.items[1], report.items[2]);
    EXPECT_TRUE(
        nolock.tier == Tier::signalOnly && nolock.evidence == std::vector{Evidence::noLockfile()} && !nolock.managedBy);
    EXPECT_TRUE(old.tier == Tier::orphanCandidate && old.managedBy == ManagerKind::npm);
    ASSERT_EQ(old.evidence.size(), 1u);
    EXPECT_EQ(old.evidence[0].kind, Evidence::Kind::projectUntouched);
    EXPECT_NEAR(old.evidence[0].at, nowSeconds() - 200 * day, 2);
    EXPECT_EQ(old.reclaimCommand, "rm -rf -- " + home / "old/node_modules");
    EXPECT_TRUE(active.tier == Tier::signalOnly && active.evidence.at(0).kind == Evidence::Kind::projectActive);
    EXPECT_EQ(test::shellWords(*active.reclaimCommand),
        (std::vector<std::string>{"rm", "-rf", "--", home / "work/app it's/node_modules"}));
    EXPECT_FALSE(ProjectsAdapter(sizer, home.path(), [] { return std::vector<std::string>{}; }).scan().detected);
}

} // namespace
} // namespace kelvo
