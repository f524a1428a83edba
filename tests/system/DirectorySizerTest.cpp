// FileManagerDirectorySizer on real trees, each checked against `du -s -B1` (du -c for several
// paths) or against exact sums of the blocks of tiny trees.

#include "system/DirectorySizer.h"
#include "model/DiskTally.h"
#include "support/TestSupport.h"
#include "system/ParallelFor.h"
#include "system/walk/DirectoryWalk.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <thread>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kelvo {
namespace {

using std::filesystem::create_symlink;
using test::duBytes;
using test::duTotal;
using test::makeDirs;
using test::TempDir;
using test::writeFile;

std::int64_t blocksOf(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0 ? static_cast<std::int64_t>(st.st_blocks) * 512 : -1;
}

void link(const std::string& target, const std::string& name) { ASSERT_EQ(::link(target.c_str(), name.c_str()), 0); }

long openDescriptors() { return std::distance(std::filesystem::directory_iterator("/proc/self/fd"), {}); }

struct FdBudget {
    explicit FdBudget(int budget) : old(detail::setDirectoryWalkFdBudget(budget)) {}
    ~FdBudget() { detail::setDirectoryWalkFdBudget(old); }
    int old;
};

// Directories with files of random sizes, hard links across branches, links up the tree, FIFOs.
std::vector<std::string> makeRandomTree(const std::string& root, unsigned seed, int directories) {
    std::mt19937 random(seed);
    std::vector<std::string> dirs{root};
    std::vector<std::string> files;
    makeDirs(root);
    for (int i = 0; i < directories; ++i) {
        const std::string dir = dirs[random() % dirs.size()] + "/d" + std::to_string(i);
        makeDirs(dir);
        dirs.push_back(dir);
        for (int k = static_cast<int>(random() % 12); k > 0; --k) {
            files.push_back(dir + "/f" + std::to_string(k));
            writeFile(files.back(), std::string(random() % 3 == 0 ? 0 : random() % 20000, 'k'));
        }
        if (!files.empty() && random() % 3 == 0) link(files[random() % files.size()], dir + "/h" + std::to_string(i));
        if (random() % 7 == 0) create_symlink(random() % 2 ? ".." : "../../" + std::string(80, 'x'), dir + "/up");
        if (random() % 11 == 0) ::mkfifo((dir + "/pipe").c_str(), 0644);
    }
    return dirs;
}

// Small trees are their allocated blocks as du counts them; an item frees its folders, links and
// the files whose every hard link it holds.
TEST(DirectorySizer, SmallTreesAndItemsAsDuCountsThemAndWhatRemovingThemFrees) {
    TempDir dir;
    const FileManagerDirectorySizer sizer;
    writeFile(dir / "one", "x"); // a whole block
    for (const std::string& missing : {dir / "nothing", dir / "one/below", std::string()})
        EXPECT_EQ(sizer.size(missing), std::nullopt) << "absent, not 0: " << missing;
    makeDirs(dir / "tree/b");
    writeFile(dir / "tree/a/big", std::string(1'000'000, 'b'));
    link(dir / "tree/a/big", dir / "tree/b/big-link");
    link(dir / "tree/a/big", dir / "tree/a/same-dir-link");
    const int fd = ::open((dir / "tree/sparse").c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
    ASSERT_TRUE(fd >= 0 && ::ftruncate(fd, 100'000'000) == 0 && ::pwrite(fd, "end", 3, 99'999'990) == 3);
    ::close(fd);
    ASSERT_EQ(::mkfifo((dir / "tree/pipe").c_str(), 0644), 0); // never opened, so never blocks
    create_symlink(dir / "tree/a", dir / "tree/short");
    create_symlink("a/" + std::string(150, 'q') + "/../big", dir / "tree/long"); // a long target takes a block
    for (const char* path : {"one", "tree/sparse", "tree/pipe", "tree/a", "tree/b", "tree/short", "tree/long", "tree"})
        EXPECT_EQ(sizer.size(dir / path), duBytes(dir / path)) << path;

    makeDirs(dir / "item/sub");
    makeDirs(dir / "b");
    writeFile(dir / "item/two", std::string(10'000, '2'));
    link(dir / "item/two", dir / "item/sub/two");
    writeFile(dir / "item/three", std::string(30'000, '3'));
    link(dir / "item/three", dir / "item/sub/three");
    link(dir / "item/three", dir / "three");
    create_symlink("../" + std::string(150, 'l'), dir / "item/ln"); // a long target takes a block
    writeFile(dir / "item/many/0", std::string(40'000, 'm'));
    for (int i = 1; i < 299; ++i) link(dir / "item/many/0", dir / "item/many/" + std::to_string(i));
    link(dir / "item/many/0", dir / "item/sub/many"); // 300 links: more than a byte counts
    writeFile(dir / "a/x", std::string(5'000, 'x'));
    link(dir / "a/x", dir / "b/x");
    const auto in = [&](std::vector<std::string> paths) {
        for (auto& path : paths) path = dir / path;
        return paths;
    };
    // Paths measured as one item, and those whose blocks removing them frees.
    const std::vector<std::pair<std::vector<std::string>, std::vector<std::string>>> rows{
        {{"item"}, {"item", "item/sub", "item/many", "item/two", "item/ln", "item/many/0"}},
        {{"item/sub"}, {"item/sub"}}, {{"item/many"}, {"item/many"}}, {{"a", "b"}, {"a", "b", "a/x"}}, {{"a"}, {"a"}},
        {{"item/ln"}, {"item/ln"}}, {{"item/two"}, {}}};
    for (const auto& [paths, freed] : rows) {
        std::int64_t blocks = 0;
        for (const auto& path : freed) blocks += blocksOf(dir / path);
        const auto item = sizer.measureItem(in(paths), {});
        ASSERT_TRUE(item) << testing::PrintToString(paths);
        EXPECT_EQ(item->bytes, duTotal(in(paths))) << testing::PrintToString(paths);
        EXPECT_EQ(item->freedBytes, blocks) << testing::PrintToString(paths);
    }
    // Overlapping paths cannot tell a link met twice from two links.
    for (const auto& paths :
        std::vector<std::vector<std::string>>{{"item", "item/sub"}, {"item/two", "item"}, {"a", "a"}, {"a/x", "a/x"}})
        EXPECT_EQ(sizer.measureItem(in(paths), {})->freedBytes, std::nullopt) << testing::PrintToString(paths);
}

TEST(DirectorySizer, ATallyCountsEachFileOnceAcrossMeasurementsAsOneDuDoes) {
    TempDir dir;
    const FileManagerDirectorySizer sizer;
    writeFile(dir / "a/big", std::string(1'000'000, 'a'));
    writeFile(dir / "a/sub/x", std::string(100'000, 'x'));
    writeFile(dir / "b/own", std::string(50'000, 'b'));
    writeFile(dir / "c", std::string(5'000, 'c'));
    makeDirs(dir / "d");
    link(dir / "a/big", dir / "b/big");
    link(dir / "a/sub/x", dir / "d/x");
    DiskTally tally;
    const DiskTally::Scopes first = tally.openScope(), second = tally.openScope();
    const std::vector<std::string> mine{dir / "a", dir / "b", dir / "a/sub", dir / "missing"};
    std::vector<std::optional<std::int64_t>> sizes(mine.size());
    parallelFor(mine.size(), [&](std::size_t i) {
        sizes[i] = sizer.measure(mine[i], {&tally, DiskTally::wholeScan | first});
    });
    for (std::size_t i = 0; i < mine.size(); ++i)
        EXPECT_EQ(sizes[i], duBytes(mine[i])) << "each item's own size is unchanged: " << mine[i];
    EXPECT_EQ(sizer.measure(dir / "c", {&tally, DiskTally::wholeScan | second}), duBytes(dir / "c"));
    EXPECT_EQ(sizer.measure(dir / "b", {&tally, second}), duBytes(dir / "b"));
    EXPECT_EQ(sizer.measureTogether({dir / "d", dir / "a/sub"}, {&tally, second}), duTotal({dir / "d", dir / "a/sub"}));
    // Single-link files measured as paths of their own, which a walk reaches too (before or after):
    // a cache setting that names another item's file. du -c counts each once.
    EXPECT_EQ(sizer.measure(dir / "b/own", {&tally, DiskTally::wholeScan | first}), duBytes(dir / "b/own"));
    EXPECT_EQ(sizer.measure(dir / "c", {&tally, second}), duBytes(dir / "c"));
    tally.settle(~DiskTally::Scopes{0});

    EXPECT_EQ(tally.total(first), duTotal({dir / "a", dir / "b", dir / "a/sub"}));
    EXPECT_EQ(tally.total(second), duTotal({dir / "c", dir / "b", dir / "d", dir / "a/sub"}));
    EXPECT_EQ(tally.total(DiskTally::wholeScan), duTotal({dir / "a", dir / "b", dir / "a/sub", dir / "c"}));
    // Any choice of scopes together, as one du over their paths (what the window's headline shows).
    EXPECT_EQ(tally.unionTotal(first | second), duTotal({dir / "a", dir / "b", dir / "c", dir / "d"}));
    for (const auto scope : {first, second}) EXPECT_EQ(tally.unionTotal(scope), tally.total(scope));
    // Files, not directories, each once however many links reach it.
    EXPECT_EQ(tally.files(first), 3) << "a/big (= b/big), a/sub/x, b/own";
    EXPECT_EQ(tally.files(second), 4) << "c, b/own, b/big, d/x";
    EXPECT_EQ(tally.files(DiskTally::wholeScan), 4);
    EXPECT_EQ(sizer.measureTogether({dir / "missing", dir / "nothing"}, {}), std::nullopt);
}

TEST(DirectorySizer, AStoreWhoseEveryFileIsLinkedFromOutsideCountsAsDuCountsIt) {
    // A content-addressed store with every file hard-linked from one project outside it, as a
    // pnpm store is: enough files to grow the hard-link set and the tally many times over.
    TempDir dir;
    const std::string store = dir / "store", project = dir / "project";
    std::mt19937 random(5);
    makeDirs(project);
    for (int i = 0; i < 12'000; ++i) {
        char name[64];
        std::snprintf(name, sizeof name, "/v10/files/%02x/%08x%08x", i % 256, unsigned(random()), unsigned(i));
        writeFile(store + name, std::string(random() % 6'000, 'p'));
        link(store + name, project + "/" + std::to_string(i) + ".js");
    }
    writeFile(store + "/v10/index/00/a.json", "{}");
    const FileManagerDirectorySizer sizer;
    EXPECT_EQ(sizer.size(store), duBytes(store));
    EXPECT_EQ(sizer.measureTogether({store, project}, {}), duTotal({store, project}));
    // The counts a scan shows while it walks, read from another thread, never go down.
    DiskTally tally;
    const DiskTally::Scopes pnpm = tally.openScope();
    std::atomic<bool> walking{true};
    std::vector<std::pair<std::int64_t, std::int64_t>> seen;
    std::thread reader([&] {
        while (walking.load()) seen.emplace_back(tally.files(pnpm), tally.total(pnpm));
    });
    EXPECT_EQ(sizer.measure(store, {&tally, DiskTally::wholeScan | pnpm}), duBytes(store));
    walking = false;
    reader.join();
    for (std::size_t i = 1; i < seen.size(); ++i)
        ASSERT_TRUE(seen[i].first >= seen[i - 1].first && seen[i].second >= seen[i - 1].second) << i;
    EXPECT_EQ(tally.files(pnpm), 12'001);
    EXPECT_EQ(sizer.measure(project, {&tally, DiskTally::wholeScan}), duBytes(project));
    EXPECT_EQ(tally.total(pnpm), duBytes(store));
    EXPECT_EQ(tally.total(DiskTally::wholeScan), duTotal({store, project}));
    EXPECT_EQ(tally.files(DiskTally::wholeScan), 12'001) << "the project's links are the store's files";
}

// A chain of `levels` directories "d", each holding a 1-byte file "f" and, with a leaf, a folder
// "e": a depth-first walk then leaves one pending sibling per level.
void makeChain(const std::string& root, int levels, bool leaf) {
    makeDirs(root);
    const auto back = std::filesystem::current_path();
    std::filesystem::current_path(root); // each level made relative to the last: no path grows long
    for (int i = 0; i < levels; ++i) {
        std::ofstream("f") << 'x';
        ASSERT_TRUE((!leaf || ::mkdir("e", 0755) == 0) && ::mkdir("d", 0755) == 0 && ::chdir("d") == 0);
    }
    std::filesystem::current_path(back);
}

TEST(DirectorySizer, DeepTreesBeyondPathMaxAndAnyDescriptorBudget) {
    // In memory where there is some: these trees take minutes to make on a busy disk.
    const std::optional<test::ScopedEnv> memory =
        ::access("/dev/shm", W_OK) == 0 ? std::make_optional<test::ScopedEnv>("TMPDIR", "/dev/shm") : std::nullopt;
    TempDir dir;
    const FileManagerDirectorySizer sizer;
    const long descriptors = openDescriptors();
    makeChain(dir / "deep", 10'000, false);
    const std::int64_t level = blocksOf(dir / "deep") + blocksOf(dir / "deep/f");
    std::string path = dir / "deep";
    for (int i = 0; i < 9'900; ++i) path += "/d";
    EXPECT_EQ(sizer.size(dir / "deep"), 10'000 * level + blocksOf(dir / "deep")) << "every level, then the last folder";
    EXPECT_EQ(sizer.size(path), 100 * level + blocksOf(dir / "deep")) << "a path longer than PATH_MAX";
    EXPECT_EQ(sizer.size(path + "/f"), blocksOf(dir / "deep/f"));
    EXPECT_EQ(sizer.size(path + "/missing"), std::nullopt);

    makeChain(dir / "branching", 600, true);
    const auto du = duBytes(dir / "branching");
    for (int budget : {0, 3, 100'000}) {
        const FdBudget guard(budget);
        const auto before = detail::directoryWalkStats();
        EXPECT_EQ(sizer.size(dir / "branching"), du) << "budget " << budget;
        EXPECT_TRUE(budget != 0 || detail::directoryWalkStats().chainOpens > before.chainOpens)
            << "reopened from the top by name";
    }
    test::removeTree(dir / "branching");
    EXPECT_EQ(openDescriptors(), descriptors) << "no descriptor is left open";
}

TEST(DirectorySizer, ParallelWalksAgreeWithDuWhateverTheSchedulingAndSurviveEntriesVanishing) {
    TempDir dir;
    const FileManagerDirectorySizer sizer;
    const std::vector<std::string> dirs = makeRandomTree(dir / "tree", 42, 150);
    const auto expected = duBytes(dir / "tree");
    // Five "adapters" measuring item after item with parallelFor, some with no descriptor to keep.
    const auto before = detail::directoryWalkStats();
    std::vector<std::thread> adapters;
    std::atomic<int> mismatches{0};
    for (int a = 0; a < 5; ++a)
        adapters.emplace_back([&, a] {
            const FdBudget guard(a == 0 ? 0 : 1000);
            std::vector<std::optional<std::int64_t>> sizes(4);
            parallelFor(sizes.size(), [&](std::size_t i) { sizes[i] = sizer.size(dir / "tree"); });
            mismatches += static_cast<int>(std::count(sizes.begin(), sizes.end(), expected) != 4);
        });
    for (auto& adapter : adapters) adapter.join();
    EXPECT_EQ(mismatches.load(), 0);
    // Five busy callers may fill the pool between them; a walk alone always gets a helper.
    EXPECT_EQ(sizer.size(dir / "tree"), expected);
    EXPECT_GT(detail::directoryWalkStats().helperGrants, before.helperGrants) << "the walk never ran in parallel";
    // What an item frees is what removing it from a copy (hard links kept) takes off the copy's du.
    test::runCapture({"/bin/cp", "-a", dir / "tree", dir / "copy"});
    int linkedOut = 0;
    std::int64_t left = *duBytes(dir / "copy");
    for (std::size_t i = dirs.size() - 1; i > 0; i -= std::min<std::size_t>(i, 10)) {
        const std::string copy = dir / "copy" + dirs[i].substr(dirs[0].size()); // later ones go first
        const auto item = sizer.measureItem({copy}, {});
        ASSERT_TRUE(item && item->bytes == duBytes(copy)) << copy;
        test::removeTree(copy);
        const std::int64_t before = std::exchange(left, *duBytes(dir / "copy"));
        EXPECT_EQ(item->freedBytes, before - left) << copy;
        linkedOut += item->freedBytes < item->bytes;
    }
    EXPECT_GT(linkedOut, 0) << "no item held a file linked from outside it";

    // One large directory: parts of its listing go to other threads.
    for (int i = 0; i < 8'000; ++i)
        writeFile(dir / ("big/file-with-a-longish-name-" + std::to_string(i)), i % 3 == 0 ? "abc" : "");
    const auto batches = detail::directoryWalkStats().entryBatches;
    EXPECT_EQ(sizer.size(dir / "big"), duBytes(dir / "big"));
    EXPECT_GT(detail::directoryWalkStats().entryBatches, batches);

    std::atomic<int> inner{0};
    parallelFor(16, [&](std::size_t) { parallelFor(16, [&](std::size_t) { inner.fetch_add(1); }); });
    EXPECT_EQ(inner.load(), 256);
    EXPECT_THROW(
        parallelFor(10, [](std::size_t i) { i == 7 ? throw std::runtime_error("body") : void(); }), std::runtime_error);

    // A file that loses its other links after one was counted may count once more: a bound.
    std::vector<std::string> paths;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(dir / "tree"))
        paths.push_back(entry.path().string());
    std::atomic<bool> done{false};
    std::thread remover([&] {
        std::shuffle(paths.begin(), paths.end(), std::mt19937(3));
        for (const auto& p : paths) ::unlink(p.c_str());
        std::error_code ignored;
        for (const auto& p : paths) std::filesystem::remove_all(p, ignored);
        done = true;
    });
    for (int walks = 0; !done || walks < 3; ++walks) {
        const auto item = sizer.measureItem({dir / "tree"}, {});
        EXPECT_TRUE(item && item->bytes >= blocksOf(dir / "tree") && item->bytes <= 2 * *expected);
        EXPECT_TRUE(item && item->freedBytes && *item->freedBytes <= item->bytes);
    }
    remover.join();
    EXPECT_EQ(sizer.size(dir / "tree"), blocksOf(dir / "tree"));
}

// Root reads through any mode: the unreadable shapes are measured by kelvo-size (the same sizer)
// run as user 65534, beside du run as that user. Like du it counts the own blocks of a folder it
// cannot open or list, and says how many folders it could not read wholly.
TEST(DirectorySizer, UnreadableFoldersCountTheirOwnBlocksAsDuDoesAndAreCounted) {
    TempDir dir;
    const std::string tree = dir / "tree";
    writeFile(tree + "/open/a", std::string(20'000, 'a'));
    for (const char* locked : {"/locked/hidden", "/noread/hidden", "/nosearch/hidden", "/nosearch/sub/hidden"})
        writeFile(tree + locked, std::string(50'000, 'h'));
    ::chmod((tree + "/locked").c_str(), 0);      // nothing at all
    ::chmod((tree + "/noread").c_str(), 0111);   // searchable, not listable
    ::chmod((tree + "/nosearch").c_str(), 0444); // listable, entries not examinable
    const std::string tool = std::string(KELVO_BINARY_DIR) + "/bin/kelvo-size";
    std::vector<std::string> asNobody;
    if (::geteuid() == 0) {
        test::runCapture({"/bin/chown", "-R", "65534:65534", dir.path()});
        asNobody = {"/usr/bin/setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"};
    }
    const auto run = [&](std::vector<std::string> argv, int* status = nullptr) {
        argv.insert(argv.begin(), asNobody.begin(), asNobody.end());
        return test::runCapture(argv, status);
    };
    int reachable = 0;
    run({"/usr/bin/test", "-x", tree}, &reachable);
    if (reachable != 0) GTEST_SKIP() << "user 65534 cannot reach " << tree << ": a parent of $TMPDIR is closed to it";
    std::string expected;
    for (const auto& [path, unreadable] : std::vector<std::pair<std::string, int>>{
             {tree, 3}, {tree + "/locked", 1}, {tree + "/noread", 1}, {tree + "/nosearch", 1}, {tree + "/open", 0}}) {
        const std::string du = run({"/usr/bin/du", "-s", "-B1", path});
        expected += du.substr(0, du.find('\t')) + "\t" + path + "\t" + std::to_string(unreadable) + "\n";
    }
    EXPECT_EQ(run({tool, "--unreadable", tree, tree + "/locked", tree + "/noread", tree + "/nosearch", tree + "/open"}),
        expected);
}

// In a mount namespace of its own, a folder is bind-mounted inside itself: du does not enter it
// below itself, and neither does the sizer (nor does it count the item twice in a tally).
TEST(DirectorySizer, AFolderMountedInsideItselfCountsOnceAsDuCountsIt) {
    if (::geteuid() != 0) GTEST_SKIP() << "mounts a file system";
    TempDir dir;
    writeFile(dir / "t/big", std::string(300'000, 'b'));
    writeFile(dir / "t/deeper/file", std::string(30'000, 'f'));
    makeDirs(dir / "t/deeper/loop");
    // du's sizes of each, and its total over both; then the sizer's, and its tally's total.
    const std::string script =
        "cd \"$1\" && mount --bind t t/deeper/loop && du -s -B1 t | cut -f1 && du -s -B1 t/deeper | cut -f1 && "
        "du -s -B1 -c t t/deeper | tail -n 1 | cut -f1 && \"$2\" --tally t t/deeper | cut -f1";
    int status = 0;
    const std::string out = test::runCapture({"/usr/bin/unshare", "-m", "/bin/sh", "-c", script, "sh", dir.path(),
                                                 std::string(KELVO_BINARY_DIR) + "/bin/kelvo-size"},
        &status);
    if (status != 0) GTEST_SKIP() << "cannot make a bind mount here: " << out;
    std::istringstream lines(out);
    std::vector<std::string> du(3), kelvo(3);
    for (auto& line : du) std::getline(lines, line);
    for (auto& line : kelvo) std::getline(lines, line);
    EXPECT_EQ(kelvo, du) << "t, t/deeper (whose walk meets itself below loop), both together";
    EXPECT_LT(std::stoll(kelvo[0]), 2 * 300'000);
}

} // namespace
} // namespace kelvo
