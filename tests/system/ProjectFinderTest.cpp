// findProjects on real trees: projects, decoys, trees too deep or wide, folders vanishing or closed.
#include "system/ProjectFinder.h"
#include "support/TestSupport.h"
#include "system/DirectoryWalk.h"

#include <gtest/gtest.h>

#include <thread>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kelvo {
namespace {

using Strings = std::vector<std::string>;

void project(const std::string& folder) {
    test::makeDirs(folder + "/node_modules");
    test::writeFile(folder + "/package.json", "{}");
}

TEST(ProjectFinder, FindsProjectsAndWorkspaceMembersOnceAndNoDecoys) {
    test::TempDir dir;
    const std::string h = dir / "home", odd = h + "/a b'\"\n$(x)\xff\xfe", app = h + "/app", skip = h + "/skip";
    for (const std::string& p : {odd, app, app + "/packages/a", app + "/src/x", app + "/node_modules/in",
             h + "/.config/t", skip + "/p", h + "/linkmods/x"})
        project(p);
    for (const char* p : {"/nomanifest", "/linkmanifest"}) test::makeDirs(h + p + "/node_modules");
    // A manifest of any type is never examined: a dangling link will do.
    for (const auto& [target, link] : {std::pair{"nowhere", "/linkmanifest/package.json"},
             {"x/node_modules", "/linkmods/node_modules"}, {"x/package.json", "/linkmods/package.json"},
             {"app", "/linked"}, {"..", "/app/src/up"}, {"skip", "/skiplink"}})
        ASSERT_EQ(::symlink(target, (h + link).c_str()), 0);
    const Strings all{odd, app, app + "/packages/a", app + "/src/x", h + "/linkmanifest", h + "/linkmods/x"};
    const std::tuple<Strings, Strings, Strings, std::int64_t, std::int64_t> cases[] = {
        // roots, excluded folders, projects found, skipped, folders listed
        {{h}, {skip}, all, 0, 11},
        {{h + "//", app + "/./packages", app, h}, {h + "/skiplink/"}, all, 0, 11},
        {{skip + "/p", h + "/missing", h + "/linked", app + "/package.json", "home"}, {skip}, {}, 4, 0},
        {{skip}, {}, {skip + "/p"}, 0, 2},
    };
    for (int budget : {0, detail::directoryWalkFdBudget()}) { // every folder reopened from the root, then as usual
        detail::setDirectoryWalkFdBudget(budget);
        for (const auto& [roots, excluded, projects, skipped, listed] : cases) {
            std::atomic<std::int64_t> seen{0};
            const FoundProjects found = findProjects({roots, excluded}, &seen);
            EXPECT_EQ(std::tuple(found.folders, found.skipped, seen.load()), std::tuple(projects, skipped, listed))
                << roots.front() << ", descriptor budget " << budget;
        }
    }
}

TEST(ProjectFinder, DeepAndWideTreesAndFoldersVanishingMidWalk) {
    const std::optional<test::ScopedEnv> memory =
        ::access("/dev/shm", W_OK) == 0 ? std::make_optional<test::ScopedEnv>("TMPDIR", "/dev/shm") : std::nullopt;
    test::TempDir dir;
    std::string deepest = dir.path();
    int fd = ::open(deepest.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    for (int i = 0, next = 0; i < 100'000 && fd >= 0; ++i, deepest += "/d", ::close(fd), fd = next)
        next = ::mkdirat(fd, "d", 0755) == 0 ? ::openat(fd, "d", O_RDONLY | O_DIRECTORY | O_CLOEXEC) : -1;
    ASSERT_TRUE(::mkdirat(fd, "node_modules", 0755) == 0 && ::mknodat(fd, "package.json", S_IFREG | 0644, 0) == 0);
    ::close(fd);
    Strings all{deepest};
    for (int i = 10'000; i < 20'000; ++i) project(all.emplace_back(dir / "many/" + std::to_string(i)));
    EXPECT_EQ(findProjects({{dir.path()}, {}}).folders, all);
    std::thread remover([&] { test::removeTree(dir / "many"); }); // while the walk goes on
    const Strings found = findProjects({{dir.path()}, {}}).folders;
    remover.join();
    EXPECT_TRUE(std::includes(all.begin(), all.end(), found.begin(), found.end()) &&
                std::binary_search(found.begin(), found.end(), deepest));
    test::runCapture({"/bin/rm", "-rf", dir / "d"}); // deeper than the test's own removal reaches
}

// As root reads through any mode, kelvo-size --projects runs as user 65534, in a mount namespace of
// its own where a tmpfs holding a project is mounted over a project in the tree.
TEST(ProjectFinder, UnreadableFoldersAreSkippedAndOtherFileSystemsNeverEntered) {
    if (::geteuid() != 0) GTEST_SKIP() << "mounts a file system";
    test::TempDir dir;
    // Closed; searchable, not listable; listable (a project) and not searchable.
    const std::string script =
        "cd \"$1\" && for p in open locked/p noread/p nosearch nosearch/p mnt; do mkdir -p t/$p/node_modules && "
        "touch t/$p/package.json; done && chown -R 65534:65534 . && chmod 0 t/locked && chmod 111 t/noread && "
        "chmod 444 t/nosearch && mount -t tmpfs none t/mnt && touch t/mnt/package.json && mkdir t/mnt/node_modules && "
        "u='setpriv --reuid=65534 --regid=65534 --clear-groups' && $u test -x t && exec $u \"$2\" --projects \"$1/t\"";
    int status = 0;
    const std::string out = test::runCapture({"/usr/bin/unshare", "-m", "/bin/sh", "-c", script, "sh", dir.path(),
                                                 std::string(KELVO_BINARY_DIR) + "/bin/kelvo-size"},
        &status);
    if (status != 0) GTEST_SKIP() << "cannot mount or switch user here, or user 65534 cannot reach " << dir.path();
    EXPECT_EQ(out, dir / "t/nosearch\n" + dir.path() + "/t/open\n2 projects, 3 skipped\n");
}

} // namespace
} // namespace kelvo
