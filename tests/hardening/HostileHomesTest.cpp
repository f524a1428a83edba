// Homes built to break the newest code, on real trees through the real sizer: a command that could
// name another project, links at every level of a tool's folders, hundreds of folders to search
// under a low descriptor limit, a home that is itself a link, folders the scan cannot read, and a
// tool printing a version no integer holds.

#include "adapters/BunAdapter.h"
#include "adapters/NvmAdapter.h"
#include "adapters/PnpmAdapter.h"
#include "adapters/ProjectsAdapter.h"
#include "adapters/Substitutes.h"
#include "adapters/YarnAdapter.h"
#include "inventory/Inventory.h"
#include "inventory/ReportJson.h"
#include "scan/MainQueue.h"
#include "system/Settings.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <filesystem>

#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kelvo {
namespace {

using namespace std::chrono_literals;
using Names = std::vector<std::string>;

const std::shared_ptr<const DirectorySizing> sizer = std::make_shared<FileManagerDirectorySizer>();

// A project with a lockfile and an installed package, every entry `daysAgo` old.
void project(const std::string& folder, double daysAgo) {
    for (const char* file : {"/package.json", "/package-lock.json", "/node_modules/m/index.js"})
        test::writeFile(folder + file, std::string(5000, 'x'));
    std::vector<std::string> paths{folder};
    for (const auto& entry : std::filesystem::recursive_directory_iterator(folder)) paths.push_back(entry.path());
    for (auto path = paths.rbegin(); path != paths.rend(); ++path) test::age(*path, daysAgo);
}

// Two sibling projects whose folder names differ only where one is not UTF-8 and the other holds
// U+FFFD, which is what every text form makes of the first: each command, as the JSON document and
// the window give it, must remove its own project's folder or not exist.
TEST(HostileHomes, ACommandNamesExactlyItsItemsBytesOrThereIsNone) {
    test::TempDir home;
    const std::string raw = home / "code/old\xff", repaired = home / "code/old\xef\xbf\xbd";
    project(raw, 400);
    project(repaired, 400);
    ScanResult result;
    result.managers.push_back(ProjectsAdapter(sizer, home.path(), [&] { return Names{home / "code"}; }).scan());
    const auto document = nlohmann::json::parse(renderJson(result, SizeUnit::decimal));
    ASSERT_EQ(document["managers"][0]["items"].size(), 2u);
    int withheld = 0;
    for (const auto& item : document["managers"][0]["items"]) {
        EXPECT_EQ(item["tier"], "orphanCandidate");
        if (item["reclaimCommand"].is_null()) {
            ++withheld;
            EXPECT_EQ(item["evidence"].back()["kind"], "commandWithheld");
            EXPECT_NE(item["verdictText"].get<std::string>().find("no command"), std::string::npos);
            continue;
        }
        // Run: exactly the other project's folder goes.
        test::runCapture({"/bin/sh", "-c", item["reclaimCommand"].get<std::string>()});
        EXPECT_TRUE(std::filesystem::exists(raw + "/node_modules"));
        EXPECT_FALSE(std::filesystem::exists(repaired + "/node_modules"));
    }
    EXPECT_EQ(withheld, 1);
}

// A tool's folders where one level is a link to a decoy that looks like that level and holds a
// MiB: nothing of the decoy may be listed or measured. The folders applications share in the home
// (~/.config here) are the user's to link elsewhere, like the home itself: followed.
TEST(HostileHomes, ALinkAtAnyLevelOfAToolsFoldersIsNeverFollowed) {
    const Names levels{".config/yarn", ".config/yarn/global", ".config/yarn/global/node_modules", ".local/share/pnpm",
        ".local/share/pnpm/global", ".local/share/pnpm/global/5", ".local/share/pnpm/global/5/node_modules",
        ".local/share/pnpm/store", ".local/share/pnpm/store/v10", ".bun", ".bun/install", ".bun/install/global",
        ".bun/install/global/node_modules", ".bun/install/cache", ".nvm", ".nvm/versions", ".nvm/versions/node",
        ".nvm/versions/node/v20.1.0"};
    const std::string manifest = R"({"dependencies":{"usr":"1"}})";
    for (const auto& level : levels) {
        SCOPED_TRACE(level);
        test::TempDir dir;
        const std::string home = dir / "home";
        // Each tool's tree, each global named "usr", each holding a small file.
        for (const char* global : {".config/yarn/global/", ".local/share/pnpm/global/5/", ".bun/install/global/"}) {
            test::writeFile(home + "/" + global + "package.json", manifest);
            test::writeFile(home + "/" + global + "node_modules/usr/f", "f");
        }
        for (const char* file :
            {".local/share/pnpm/store/v10/f", ".bun/install/cache/f", ".nvm/versions/node/v20.1.0/f"})
            test::writeFile(home + "/" + file, "f");
        // The level moves to the decoy, which gains a MiB; the level becomes a link to it.
        const std::string decoy = dir / "decoy";
        std::filesystem::rename(home + "/" + level, decoy);
        test::writeFile(decoy + "/blob", std::string(1 << 20, 'b'));
        test::writeFile(decoy + "/usr/blob", std::string(1 << 20, 'b'));
        std::filesystem::create_symlink(decoy, home + "/" + level);

        const auto runner = std::make_shared<test::FakeRunner>();
        const auto prober = std::make_shared<FileManagerFileAccessProber>();
        for (const auto& report :
            {YarnAdapter(sizer, prober, {}, home).scan(), PnpmAdapter(runner, sizer, prober, {}, home).scan(),
                BunAdapter(runner, sizer, prober, {}, home).scan(), NvmAdapter(sizer, home).scan()}) {
            for (const auto& item : report.items) {
                EXPECT_LT(item.bytes.value_or(0), 1 << 20) << rawValue(report.kind) << " " << item.name;
                // An item that is a link itself is listed as what it is, never measured through.
                const std::filesystem::path parent =
                    std::filesystem::path(item.path.value_or(home + "/x")).parent_path();
                EXPECT_TRUE(std::filesystem::canonical(parent).string().starts_with(home))
                    << parent << " lies in " << std::filesystem::canonical(parent);
            }
        }
    }
    // ~/.config itself a link: Yarn's folders are found where it leads.
    test::TempDir dir;
    test::writeFile(dir / "elsewhere/yarn/global/package.json", manifest);
    test::writeFile(dir / "elsewhere/yarn/global/node_modules/usr/f", "f");
    test::makeDirs(dir / "home");
    std::filesystem::create_symlink(dir / "elsewhere", dir / "home/.config");
    const ManagerReport yarn =
        YarnAdapter(sizer, std::make_shared<FileManagerFileAccessProber>(), {}, dir / "home").scan();
    EXPECT_EQ(test::itemNames(yarn), Names{"usr"});
    EXPECT_EQ(yarn.items.at(0).bytes, test::duBytes(dir / "elsewhere/yarn/global/node_modules/usr"));
}

// Hundreds of folders to search under a low descriptor limit, each opened as the walk reaches it,
// with a large node_modules and a Yarn cache of many folders measured while the search goes on:
// the project of every folder is found and every size is du's.
TEST(HostileHomes, ManyFoldersToSearchStarveNothingUnderALowDescriptorLimit) {
    test::TempDir home;
    Names roots;
    for (int i = 0; i < 400; ++i) {
        roots.push_back(home / ("code/r" + std::to_string(i)));
        test::writeFile(roots.back() + "/app/package.json", "{}");
        test::makeDirs(roots.back() + "/app/node_modules");
    }
    for (int i = 0; i < 100; ++i) test::writeFile(roots[7] + "/app/node_modules/p" + std::to_string(i) + "/i.js", "x");
    for (int i = 0; i < 300; ++i) test::writeFile(home / ".cache/yarn/v6/p" + std::to_string(i) + "/f", "y");
    struct rlimit saved {};
    ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &saved), 0);
    struct rlimit low = saved;
    low.rlim_cur = 128;
    ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &low), 0);
    ScanResult result;
    {
        MainQueue queue;
        ScanCoordinator coordinator(
            {std::make_shared<YarnAdapter>(
                 sizer, std::make_shared<FileManagerFileAccessProber>(), KnowledgeBase::empty(), home.path()),
                std::make_shared<ProjectsAdapter>(sizer, home.path(), [&] { return roots; })},
            queue.executor());
        coordinator.scan();
        ASSERT_TRUE(queue.runUntil([&] { return coordinator.result().has_value(); }, 2min));
        result = *coordinator.result();
    }
    ::setrlimit(RLIMIT_NOFILE, &saved);
    ASSERT_EQ(result.managers.size(), 2u);
    const auto& projects = result.managers[1];
    EXPECT_EQ(projects.items.size(), roots.size());
    EXPECT_EQ(projects.unreadableFolders, 0);
    Names paths;
    for (const auto& report : result.managers)
        for (const auto& item : report.items) {
            EXPECT_EQ(item.bytes, test::duBytes(*item.path)) << item.name;
            paths.push_back(*item.path);
        }
    EXPECT_EQ(result.totalBytes(), test::duTotal(paths));
}

// A home moved to another disk and linked back: its projects are found, shown under the home. (The
// finder's own linked root has its link above the root; here the root's last part is the link.)
TEST(HostileHomes, AHomeThatIsALinkFindsItsProjects) {
    test::TempDir dir;
    project(dir / "disk/me/code/app", 1);
    std::filesystem::create_symlink(dir / "disk/me", dir / "me");
    const ManagerReport report = ProjectsAdapter(sizer, dir / "me", [&] { return projectFolders(dir / "me"); }).scan();
    EXPECT_EQ(test::itemNames(report), Names{"app \u00b7 node_modules"});
    EXPECT_EQ(report.items.at(0).path, dir / "me/code/app/node_modules");
    EXPECT_EQ(report.items.at(0).bytes, test::duBytes(dir / "disk/me/code/app/node_modules"));
}

// Folders the scan's user cannot read: kelvo-report runs as user 65534 over a home whose project
// holds a closed folder. Its size is du's as that user (the closed folder's own blocks) and the
// item says a folder could not be read.
TEST(HostileHomes, AFolderTheUserCannotReadCountsItsOwnBlocksAndTheItemSaysSo) {
    if (::geteuid() != 0) GTEST_SKIP() << "switches to another user";
    test::TempDir dir;
    const std::string home = dir / "home";
    project(home + "/app", 1);
    test::writeFile(home + "/app/node_modules/closed/secret", std::string(50'000, 's'));
    test::runCapture({"/bin/chown", "-R", "65534:65534", dir.path()});
    ::chmod((home + "/app/node_modules/closed").c_str(), 0);
    const std::vector<std::string> nobody{"/usr/bin/setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"};
    int reachable = 0;
    test::runCapture({nobody[0], nobody[1], nobody[2], nobody[3], "/usr/bin/test", "-x", home}, &reachable);
    if (reachable != 0) GTEST_SKIP() << "user 65534 cannot reach " << home;
    const std::string du = test::runCapture(
        {nobody[0], nobody[1], nobody[2], nobody[3], "/usr/bin/du", "-s", "-B1", home + "/app/node_modules"});
    const auto document =
        nlohmann::json::parse(test::runCapture({"/usr/bin/env", "-i", "HOME=" + home, nobody[0], nobody[1], nobody[2],
            nobody[3], std::string(KELVO_BINARY_DIR) + "/bin/kelvo-report", "--json", "--projects", home}));
    const auto& item = document["managers"].back()["items"].at(0);
    EXPECT_EQ(item["bytes"].get<std::int64_t>(), std::stoll(du));
    EXPECT_EQ(item["unreadableFolders"], 1);
    EXPECT_NE(item["verdictText"].get<std::string>().find("1 folder in it could not be read"), std::string::npos);
}

// A pnpm that prints a version no integer holds still has its store and metadata cache listed.
TEST(HostileHomes, AVersionBeyondAnyIntegerEmptiesNoReport) {
    test::TempDir home;
    test::writeFile(home / ".local/share/pnpm/store/v10/f", "f");
    test::writeFile(home / ".cache/pnpm/m", "m");
    for (const char* version : {"99999999999999999999", "-1", "18446744073709551616.0.0"}) {
        const auto runner = std::make_shared<test::FakeRunner>();
        runner->on(ReadOnlyCommand::Case::pnpmVersion, test::ok(version));
        const ManagerReport report =
            PnpmAdapter(runner, sizer, std::make_shared<test::FakeProber>(), {}, home.path()).scan();
        EXPECT_EQ(report.version, version);
        EXPECT_EQ(test::itemNames(report), (Names{"Content-addressable store", "pnpm metadata cache"})) << version;
    }
}

} // namespace
} // namespace kelvo
