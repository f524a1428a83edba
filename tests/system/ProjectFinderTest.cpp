// findProjects on real trees: projects, decoys, trees too deep or wide, folders vanishing or closed.
#include "system/ProjectFinder.h"
#include "support/TestSupport.h"
#include "system/walk/DirectoryWalk.h"

#include <gtest/gtest.h>

#include <map>
#include <thread>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kelvo {
namespace {

using Strings = std::vector<std::string>;

// The walk knows no toolchain: these tests hand it made-up kinds. "manifest" marks a project whose
// "modules" (never entered anywhere) it reports; "Rakefile" or "Other" one whose "out" it reports,
// an "out" without either being any folder; a name ending in ".proj" one whose "env" it reports
// when the env holds "env.cfg", telling whether it holds "TAG".
ProjectSearch searchFor(Strings roots, Strings excluded = {}) {
    return {std::move(roots), std::move(excluded),
        {{{"manifest"}, {{"modules"}}, {"a.lock", "b.lock"}}, {{"Rakefile"}, {{"out"}, {".cache"}}},
            {{"*.proj"}, {{"env", "env.cfg"}}, {"b.lock"}, {"TAG"}}, {{"Other"}, {{"out"}}}},
        {"modules"}};
}

Strings folders(const FoundProjects& found) {
    Strings all;
    for (const auto& project : found.projects) all.push_back(project.folder + "/" + project.buildFolder);
    return all;
}

void project(const std::string& folder) {
    test::makeDirs(folder + "/modules");
    test::writeFile(folder + "/manifest", "{}");
}

TEST(ProjectFinder, FindsProjectsOfEachKindAndWorkspaceMembersOnceAndNoDecoys) {
    test::TempDir dir;
    const std::string h = dir / "home", odd = h + "/a b'\"\n$(x)\xff\xfe", app = h + "/app", skip = h + "/skip";
    for (const std::string& p : {odd, app, app + "/packages/a", app + "/src/x", app + "/modules/in", h + "/.config/t",
             skip + "/p", h + "/linkmods/x"})
        project(p);
    for (const char* p : {"/nomanifest", "/linkmanifest"}) test::makeDirs(h + p + "/modules");
    // The second kind: its build folders (a hidden one too) beside its marker, never entered; an
    // "out" without the marker is walked like any folder.
    for (const char* p : {"/rake/out/deep/modules", "/rake/.cache/x", "/loose/out/p/modules"}) test::makeDirs(h + p);
    for (const char* p : {"/rake/Rakefile", "/rake/out/deep/manifest", "/loose/out/p/manifest"})
        test::writeFile(h + p, "");
    // A marker by its ending; a build folder only with the entry it must hold, one two kinds claim once.
    for (const char* p : {"/dot/x.proj", "/dot/env/env.cfg", "/dot/env/TAG", "/dot2/y.proj", "/dot2/env/z",
             "/dot2/.proj", "/both/Rakefile", "/both/Other", "/both/out/x"})
        test::writeFile(h + p, "");
    // A manifest of any type is never examined: a dangling link will do.
    for (const auto& [target, link] :
        {std::pair{"nowhere", "/linkmanifest/manifest"}, {"x/modules", "/linkmods/modules"},
            {"x/manifest", "/linkmods/manifest"}, {"app", "/linked"}, {"..", "/app/src/up"}, {"skip", "/skiplink"}})
        ASSERT_EQ(::symlink(target, (h + link).c_str()), 0);
    const Strings all{odd + "/modules", app + "/modules", app + "/packages/a/modules", app + "/src/x/modules",
        h + "/both/out", h + "/dot/env", h + "/linkmanifest/modules", h + "/linkmods/x/modules",
        h + "/loose/out/p/modules", h + "/rake/.cache", h + "/rake/out"};
    const std::tuple<Strings, Strings, Strings, std::int64_t, std::int64_t> cases[] = {
        // roots, excluded folders, projects found, skipped, folders listed
        {{h}, {skip}, all, 0, 19},
        {{h + "//", app + "/./packages", app, h}, {h + "/skiplink/"}, all, 0, 19},
        // A root that is a link is the user's choice, resolved once; within it no link is followed.
        {{skip + "/p", h + "/missing", app + "/manifest", "home", h + "/linked/packages"}, {skip},
            {h + "/linked/packages/a/modules"}, 3, 2},
        {{skip}, {}, {skip + "/p/modules"}, 0, 2},
    };
    for (int budget : {0, detail::directoryWalkFdBudget()}) { // every folder reopened from the root, then as usual
        detail::setDirectoryWalkFdBudget(budget);
        for (const auto& [roots, excluded, projects, skipped, listed] : cases) {
            std::atomic<std::int64_t> seen{0};
            const FoundProjects found = findProjects(searchFor(roots, excluded), &seen);
            EXPECT_EQ(std::tuple(folders(found), found.skipped, seen.load()), std::tuple(projects, skipped, listed))
                << roots.front() << ", descriptor budget " << budget;
            for (const auto& project : found.projects)
                EXPECT_EQ(project.tagged, project.folder == h + "/dot") << project.folder;
        }
    }
}

// Each project is told its nearest lockfile, of its own folder or above it up to the searched
// folder however that is written, and never one from above it; several in one folder: the newest.
TEST(ProjectFinder, TheNearestLockfileStopsAtTheRootWhateverItsSpelling) {
    test::TempDir dir;
    project(dir / "code/ws/packages/a");
    project(dir / "code/own");
    test::writeFile(dir / "a.lock", "");             // above every root: never seen
    test::writeFile(dir / "code/ws/b.lock", "");     // the workspace's
    test::makeDirs(dir / "code/ws/packages/a.lock"); // a folder of that name is none
    for (const char* name : {"/code/own/a.lock", "/code/own/b.lock"}) test::writeFile(dir / name, "");
    const timespec old[2] = {{1000, 0}, {1000, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, (dir / "code/own/a.lock").c_str(), old, 0), 0);
    const auto lockfiles = [&](const std::string& root) {
        std::map<std::string, std::string> found;
        for (const auto& p : findProjects(searchFor({root})).projects)
            found[p.folder] = p.lockfile ? p.lockfile->path + " " + std::to_string(p.lockfile->name) : "none";
        return found;
    };
    EXPECT_EQ(
        lockfiles(dir / "code"), (std::map<std::string, std::string>{{dir / "code/own", dir / "code/own/b.lock 1"},
                                     {dir / "code/ws/packages/a", dir / "code/ws/b.lock 1"}}));
    for (const std::string& root : {dir / "code/ws/packages/.", dir / "code//ws/packages/", dir / "code/ws/packages"})
        EXPECT_EQ(lockfiles(root), (std::map<std::string, std::string>{{dir / "code/ws/packages/a", "none"}})) << root;
}

TEST(ProjectFinder, DeepAndWideTreesAndFoldersVanishingMidWalk) {
    const std::optional<test::ScopedEnv> memory =
        ::access("/dev/shm", W_OK) == 0 ? std::make_optional<test::ScopedEnv>("TMPDIR", "/dev/shm") : std::nullopt;
    test::TempDir dir;
    std::string deepest = dir.path();
    int fd = ::open(deepest.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    for (int i = 0, next = 0; i < 100'000 && fd >= 0; ++i, deepest += "/d", ::close(fd), fd = next)
        next = ::mkdirat(fd, "d", 0755) == 0 ? ::openat(fd, "d", O_RDONLY | O_DIRECTORY | O_CLOEXEC) : -1;
    // Far beyond the path limit, a project with its lockfile.
    ASSERT_TRUE(::mkdirat(fd, "modules", 0755) == 0 && ::mknodat(fd, "manifest", S_IFREG | 0644, 0) == 0 &&
                ::mknodat(fd, "a.lock", S_IFREG | 0644, 0) == 0);
    ::close(fd);
    Strings all{deepest + "/modules"};
    for (int i = 10'000; i < 20'000; ++i)
        project(dir / "many/" + std::to_string(i)), all.push_back(dir / "many/" + std::to_string(i) + "/modules");
    const FoundProjects first = findProjects(searchFor({dir.path()}));
    EXPECT_EQ(folders(first), all);
    ASSERT_FALSE(first.projects.empty());
    EXPECT_TRUE(first.projects.front().lockfile && first.projects.front().lockfile->path == deepest + "/a.lock");
    std::thread remover([&] { test::removeTree(dir / "many"); }); // while the walk goes on
    const Strings found = folders(findProjects(searchFor({dir.path()})));
    remover.join();
    EXPECT_TRUE(std::includes(all.begin(), all.end(), found.begin(), found.end()) &&
                std::binary_search(found.begin(), found.end(), deepest + "/modules"));
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
    EXPECT_EQ(out, dir / "t/nosearch/node_modules\n" + dir.path() + "/t/open/node_modules\n2 projects, 3 skipped\n");
}

} // namespace
} // namespace kelvo
