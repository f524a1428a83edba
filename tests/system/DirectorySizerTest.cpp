// FileManagerDirectorySizer on real trees, each cross-checked against `du -s -B1` of the same
// tree and, where du counts differently (symbolic links, unreadable directories), against the
// plain sequential recursive walk below.

#include "model/DiskTally.h"
#include "system/DirectorySizer.h"
#include "system/DirectoryWalk.h"
#include "system/ParallelFor.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <random>
#include <algorithm>
#include <sstream>
#include <thread>
#include <unordered_set>
#include <vector>

#include <dirent.h>
#include <fcntl.h>
#include <grp.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

namespace kelvo {
namespace {

using test::duBytes;
using test::duTotal;
using test::makeDirs;
using test::TempDir;
using test::writeFile;

std::int64_t blocksOf(const std::string& path) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0) {
        throw std::runtime_error("lstat failed: " + path);
    }
    return static_cast<std::int64_t>(st.st_blocks) * 512;
}

// ---- the reference: sequential, recursive, by path -----------------------------------------------

struct Key {
    dev_t dev;
    ino_t ino;
    bool operator==(const Key&) const = default;
};
struct KeyHash {
    std::size_t operator()(const Key& k) const { return std::hash<std::uint64_t>{}(k.ino ^ (std::uint64_t(k.dev) << 32)); }
};

std::optional<std::int64_t> referenceWalk(const std::string& dir, std::unordered_set<Key, KeyHash>& seen) {
    DIR* d = ::opendir(dir.c_str());
    if (d == nullptr) {
        return std::nullopt;
    }
    std::vector<std::string> names;
    while (const dirent* e = ::readdir(d)) {
        const std::string name = e->d_name;
        if (name != "." && name != "..") {
            names.push_back(name);
        }
    }
    ::closedir(d);
    std::int64_t total = 0;
    struct stat own {};
    if (::lstat(dir.c_str(), &own) == 0) {
        total = own.st_blocks * 512;
    }
    for (const auto& name : names) {
        const std::string child = dir + "/" + name;
        struct stat st {};
        if (::lstat(child.c_str(), &st) != 0) {
            continue;
        }
        if (S_ISDIR(st.st_mode)) {
            total += referenceWalk(child, seen).value_or(0);
        } else if (seen.insert(Key{st.st_dev, st.st_ino}).second) {
            total += st.st_blocks * 512;
        }
    }
    return total;
}

std::optional<std::int64_t> referenceSize(const std::string& path) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0) {
        return std::nullopt;
    }
    if (!S_ISDIR(st.st_mode)) {
        return st.st_blocks * 512;
    }
    std::unordered_set<Key, KeyHash> seen;
    return referenceWalk(path, seen);
}

// ---- trees that paths cannot reach ------------------------------------------------------------------

// Removes a tree of any depth or path length (TempDir's nftw cannot): descends by descriptor and
// climbs back with ".." (fine in a test where nothing else changes the tree).
void removeDeepTree(const std::string& path) {
    int fd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) {
        return;
    }
    int depth = 0;
    while (true) {
        DIR* d = ::fdopendir(::dup(fd));
        std::vector<std::string> names;
        while (const dirent* e = ::readdir(d)) {
            const std::string name = e->d_name;
            if (name != "." && name != "..") {
                names.push_back(name);
            }
        }
        ::closedir(d);
        std::string descendInto;
        for (const auto& name : names) {
            if (::unlinkat(fd, name.c_str(), 0) == 0) {
                continue;
            }
            if (::unlinkat(fd, name.c_str(), AT_REMOVEDIR) == 0) {
                continue;
            }
            descendInto = name;
            break;
        }
        if (!descendInto.empty()) {
            const int child = ::openat(fd, descendInto.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
            if (child < 0) {
                break;
            }
            ::close(fd);
            fd = child;
            ++depth;
            continue;
        }
        if (depth == 0) {
            break;
        }
        const int parent = ::openat(fd, "..", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        ::close(fd);
        fd = parent;
        --depth;
        if (fd < 0) {
            return;
        }
    }
    ::close(fd);
    ::rmdir(path.c_str());
}

// Builds a chain root/d/d/.../d of `levels` directories, each holding a 1-byte file "f" and, when
// withLeaf, an extra leaf directory "e" holding one file. Returns nothing; names are short.
void makeDeepChain(const std::string& root, int levels, bool withLeaf) {
    int fd = ::open(root.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    for (int i = 0; i < levels; ++i) {
        const int f = ::openat(fd, "f", O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
        ASSERT_GE(f, 0);
        ASSERT_EQ(::write(f, "x", 1), 1);
        ::close(f);
        if (withLeaf) {
            ASSERT_EQ(::mkdirat(fd, "e", 0755), 0);
            const int e = ::openat(fd, "e", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
            const int g = ::openat(e, "g", O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
            ASSERT_EQ(::write(g, "yy", 2), 2);
            ::close(g);
            ::close(e);
        }
        ASSERT_EQ(::mkdirat(fd, "d", 0755), 0);
        const int next = ::openat(fd, "d", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        ASSERT_GE(next, 0);
        ::close(fd);
        fd = next;
    }
    ::close(fd);
}

// The size of root/d/d/... (`skip` times "d") in a chain made by makeDeepChain(withLeaf = false),
// worked out level by level through descriptors.
std::int64_t chainSizeBelow(const std::string& root, int skip) {
    std::int64_t total = 0;
    int fd = ::open(root.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    for (int level = 0; fd >= 0; ++level) {
        struct stat st {};
        if (level >= skip) {
            ::fstat(fd, &st);
            total += st.st_blocks * 512;
            if (::fstatat(fd, "f", &st, AT_SYMLINK_NOFOLLOW) == 0) {
                total += st.st_blocks * 512;
            }
        }
        const int next = ::openat(fd, "d", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        ::close(fd);
        fd = next;
    }
    return total;
}

std::size_t openDescriptorCount() {
    std::size_t count = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) {
        ++count;
    }
    return count;
}

// A TempDir in memory (/dev/shm) where there is one: the deep and large trees below take minutes
// to make and remove on a busy disk and seconds there; what they test does not depend on the disk.
struct MemoryTempDir {
    std::optional<test::ScopedEnv> env =
        ::access("/dev/shm", W_OK | X_OK) == 0 ? std::make_optional<test::ScopedEnv>("TMPDIR", "/dev/shm") : std::nullopt;
    TempDir dir;
    std::string operator/(const std::string& relative) const { return dir / relative; }
};

class FdBudgetGuard {
public:
    explicit FdBudgetGuard(int budget) : old_(detail::setDirectoryWalkFdBudget(budget)) {}
    ~FdBudgetGuard() { detail::setDirectoryWalkFdBudget(old_); }

private:
    int old_;
};

// ---- random trees -----------------------------------------------------------------------------------

// A tree of nested directories with files of random sizes, hard links spread across branches,
// symbolic links (short targets, so that du gives them no blocks either), empty directories, FIFOs.
void makeRandomTree(const std::string& root, unsigned seed, int directories) {
    std::mt19937 random(seed);
    std::vector<std::string> dirs{root};
    std::vector<std::string> files;
    for (int i = 0; i < directories; ++i) {
        const std::string parent = dirs[random() % dirs.size()];
        const std::string dir = parent + "/d" + std::to_string(i);
        makeDirs(dir);
        dirs.push_back(dir);
        const int fileCount = static_cast<int>(random() % 12);
        for (int k = 0; k < fileCount; ++k) {
            const std::string file = dir + "/f" + std::to_string(k);
            const std::size_t length = random() % 3 == 0 ? 0 : random() % 20000;
            writeFile(file, std::string(length, 'k'));
            files.push_back(file);
        }
        if (!files.empty() && random() % 3 == 0) {
            // A hard link to a file anywhere in the tree made so far, often in another branch.
            const std::string target = files[random() % files.size()];
            ASSERT_EQ(::link(target.c_str(), (dir + "/h" + std::to_string(i)).c_str()), 0);
        }
        if (random() % 7 == 0) {
            ASSERT_EQ(::symlink("..", (dir + "/up").c_str()), 0);
        }
        if (random() % 11 == 0) {
            ASSERT_EQ(::mkfifo((dir + "/pipe").c_str(), 0644), 0);
        }
    }
}

// ---- the tests --------------------------------------------------------------------------------------

TEST(DirectorySizer, SingleEntriesAndSmallTrees) {
    TempDir dir;
    const FileManagerDirectorySizer sizer;
    // A 1-byte file takes a whole block.
    writeFile(dir / "one", "x");
    EXPECT_EQ(sizer.size(dir / "one"), blocksOf(dir / "one"));
    EXPECT_GE(*sizer.size(dir / "one"), 512);
    EXPECT_EQ(sizer.size(dir / "one"), duBytes(dir / "one"));
    // Missing: absent, not 0.
    EXPECT_EQ(sizer.size(dir / "nothing"), std::nullopt);
    EXPECT_EQ(sizer.size(dir / "one/below"), std::nullopt);
    EXPECT_EQ(sizer.size(""), std::nullopt);
    // An empty directory is its own blocks.
    makeDirs(dir / "empty");
    EXPECT_EQ(sizer.size(dir / "empty"), blocksOf(dir / "empty"));
    EXPECT_EQ(sizer.size(dir / "empty"), duBytes(dir / "empty"));
    // A sparse file: only what is allocated.
    makeDirs(dir / "tree");
    const int fd = ::open((dir / "tree/sparse").c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::ftruncate(fd, 100'000'000), 0);
    ASSERT_EQ(::pwrite(fd, "end", 3, 99'999'990), 3);
    ::close(fd);
    EXPECT_LT(*sizer.size(dir / "tree/sparse"), 1'000'000);
    EXPECT_EQ(sizer.size(dir / "tree/sparse"), duBytes(dir / "tree/sparse"));
    // A FIFO without a writer would block whoever opened it: these return at once.
    ASSERT_EQ(::mkfifo((dir / "tree/pipe").c_str(), 0644), 0);
    EXPECT_EQ(sizer.size(dir / "tree/pipe"), blocksOf(dir / "tree/pipe"));
    EXPECT_EQ(sizer.size(dir / "tree"), duBytes(dir / "tree"));
    // A top-level symbolic link is the link itself, short (no blocks) or long (a block).
    writeFile(dir / "large/f", std::string(500'000, 'l'));
    ASSERT_EQ(::symlink((dir / "large").c_str(), (dir / "short").c_str()), 0);
    ASSERT_EQ(::symlink((dir / ("large/" + std::string(150, 'q') + "/../f")).c_str(), (dir / "long").c_str()), 0);
    EXPECT_EQ(sizer.size(dir / "short"), duBytes(dir / "short"));
    EXPECT_EQ(sizer.size(dir / "long"), duBytes(dir / "long"));
    EXPECT_LT(*sizer.size(dir / "long"), 500'000);
}

TEST(DirectorySizer, HardLinksCountOncePerCall) {
    TempDir dir;
    const FileManagerDirectorySizer sizer;
    writeFile(dir / "tree/a/big", std::string(1'000'000, 'b'));
    makeDirs(dir / "tree/b");
    ASSERT_EQ(::link((dir / "tree/a/big").c_str(), (dir / "tree/b/big-link").c_str()), 0);
    ASSERT_EQ(::link((dir / "tree/a/big").c_str(), (dir / "tree/a/same-dir-link").c_str()), 0);
    const std::int64_t big = blocksOf(dir / "tree/a/big");
    EXPECT_EQ(sizer.size(dir / "tree"), blocksOf(dir / "tree") + blocksOf(dir / "tree/a") + blocksOf(dir / "tree/b") + big);
    EXPECT_EQ(sizer.size(dir / "tree"), duBytes(dir / "tree"));
    // Separate calls each count the shared file in full.
    EXPECT_EQ(sizer.size(dir / "tree/a"), blocksOf(dir / "tree/a") + big);
    EXPECT_EQ(sizer.size(dir / "tree/b"), blocksOf(dir / "tree/b") + big);

    // 30 shared files linked from 100 branches that the walk takes in parallel.
    for (int i = 0; i < 30; ++i) {
        writeFile(dir / ("shared/s" + std::to_string(i)), std::string(5000 + 1000 * i, 's'));
    }
    for (int b = 0; b < 100; ++b) {
        const std::string branch = dir / ("many/b" + std::to_string(b) + "/inner");
        writeFile(branch + "/own", std::string(3000, 'o'));
        for (int k = 0; k < 6; ++k) {
            const std::string target = dir / ("shared/s" + std::to_string((b * 7 + k * 3) % 30));
            ASSERT_EQ(::link(target.c_str(), (branch + "/l" + std::to_string(k)).c_str()), 0);
        }
    }
    const auto before = detail::directoryWalkStats();
    const auto many = sizer.size(dir / "many");
    EXPECT_EQ(many, duBytes(dir / "many"));
    EXPECT_EQ(many, referenceSize(dir / "many"));
    for (int i = 0; i < 20; ++i) {
        ASSERT_EQ(sizer.size(dir / "many"), many); // whatever the scheduling
    }
    EXPECT_EQ(sizer.size(dir.path()), duBytes(dir.path()));
    EXPECT_GT(detail::directoryWalkStats().helperGrants, before.helperGrants) << "the walk never ran in parallel";
}

TEST(DirectorySizer, SymbolicLinksInsideATreeCountTheirOwnBlocksAndAreNeverFollowed) {
    TempDir dir;
    const FileManagerDirectorySizer sizer;
    writeFile(dir / "large/f", std::string(2'000'000, 'l'));
    writeFile(dir / "tree/file", std::string(10'000, 't'));
    const auto without = sizer.size(dir / "tree");
    for (const char* target : {"../large", "file", "missing", ".."}) {
        ASSERT_EQ(::symlink(target, (dir / ("tree/link-" + std::to_string(std::strlen(target)))).c_str()), 0);
    }
    EXPECT_EQ(sizer.size(dir / "tree"), without) << "short targets live in the inode";
    // A long target has a block of its own, which du counts too.
    ASSERT_EQ(::symlink(("../" + std::string(200, 'x')).c_str(), (dir / "tree/long").c_str()), 0);
    ASSERT_GT(blocksOf(dir / "tree/long"), 0);
    EXPECT_EQ(sizer.size(dir / "tree"), *without + blocksOf(dir / "tree/long"));
    EXPECT_EQ(sizer.size(dir / "tree"), duBytes(dir / "tree"));
}

TEST(DirectorySizer, ATallyCountsEachFileOnceAcrossMeasurementsAsOneDuDoes) {
    TempDir dir;
    const FileManagerDirectorySizer sizer;
    writeFile(dir / "a/big", std::string(1'000'000, 'a'));
    writeFile(dir / "a/sub/x", std::string(100'000, 'x'));
    writeFile(dir / "b/own", std::string(50'000, 'b'));
    writeFile(dir / "c", std::string(5'000, 'c'));
    makeDirs(dir / "d");
    ASSERT_EQ(::link((dir / "a/big").c_str(), (dir / "b/big").c_str()), 0);
    ASSERT_EQ(::link((dir / "a/sub/x").c_str(), (dir / "d/x").c_str()), 0);
    ASSERT_EQ(::symlink(std::string(100, 'l').c_str(), (dir / "b/link").c_str()), 0);

    DiskTally tally;
    const DiskTally::Scopes first = tally.openScope();
    const DiskTally::Scopes second = tally.openScope();
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

    EXPECT_EQ(tally.total(first), duTotal({dir / "a", dir / "b", dir / "a/sub"}));
    EXPECT_EQ(tally.total(second), duTotal({dir / "c", dir / "b", dir / "d", dir / "a/sub"}));
    EXPECT_EQ(tally.total(DiskTally::wholeScan), duTotal({dir / "a", dir / "b", dir / "a/sub", dir / "c"}));
    EXPECT_LT(tally.total(DiskTally::wholeScan), *sizes[0] + *sizes[1] + *sizes[2]);
    EXPECT_EQ(sizer.measureTogether({dir / "missing", dir / "nothing"}, {}), std::nullopt);
}

TEST(DirectorySizer, DeepTreesBeyondPathMaxAndDescriptorBudget) {
    MemoryTempDir dir;
    const FileManagerDirectorySizer sizer;
    const std::size_t descriptors = openDescriptorCount();
    makeDirs(dir / "deep");
    makeDeepChain(dir / "deep", 10'000, false);
    const auto bytes = sizer.size(dir / "deep");
    ASSERT_TRUE(bytes);
    EXPECT_EQ(bytes, duBytes(dir / "deep"));
    // A top-level path longer than PATH_MAX, 100 levels above the bottom.
    std::string path = dir / "deep";
    for (int i = 0; i < 9'900; ++i) {
        path += "/d";
    }
    EXPECT_EQ(sizer.size(path), chainSizeBelow(dir / "deep", 9'900));
    EXPECT_EQ(sizer.size(path + "/f"), blocksOf(dir / "deep/f"));
    EXPECT_EQ(sizer.size(path + "/missing"), std::nullopt);
    removeDeepTree(dir / "deep");

    // Every level also holds a leaf directory: a depth-first walk leaves one pending sibling per
    // level. With no kept descriptor they reopen from the top by name, with few from the nearest
    // kept ancestor; the totals never change.
    makeDirs(dir / "branching");
    makeDeepChain(dir / "branching", 600, true);
    const auto du = duBytes(dir / "branching");
    for (int budget : {0, 3, 100000}) {
        FdBudgetGuard guard(budget);
        const auto before = detail::directoryWalkStats();
        EXPECT_EQ(sizer.size(dir / "branching"), du) << "budget " << budget;
        if (budget == 0) {
            EXPECT_GT(detail::directoryWalkStats().chainOpens, before.chainOpens);
        }
    }
    removeDeepTree(dir / "branching");
    EXPECT_EQ(openDescriptorCount(), descriptors);
}

TEST(DirectorySizer, LargeDirectoryIsSharedBetweenThreads) {
    MemoryTempDir dir;
    makeDirs(dir / "big");
    for (int i = 0; i < 8'000; ++i) {
        const std::string name = dir / ("big/file-with-a-longish-name-" + std::to_string(i));
        const int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
        ASSERT_GE(fd, 0);
        if (i % 3 == 0) {
            ASSERT_EQ(::write(fd, "abc", 3), 3);
        }
        ::close(fd);
        if (i % 10 == 0) {
            ASSERT_EQ(::link(name.c_str(), (name + "-link").c_str()), 0);
        }
    }
    const auto before = detail::directoryWalkStats();
    EXPECT_EQ(FileManagerDirectorySizer().size(dir / "big"), duBytes(dir / "big"));
    EXPECT_GT(detail::directoryWalkStats().entryBatches, before.entryBatches);
}

TEST(DirectorySizer, RandomTreesMatchTheSequentialReference) {
    const FileManagerDirectorySizer sizer;
    const std::size_t descriptors = openDescriptorCount();
    for (unsigned seed : {1u, 2u, 3u}) {
        TempDir dir;
        makeRandomTree(dir / "tree", seed, 120);
        const auto bytes = sizer.size(dir / "tree");
        ASSERT_TRUE(bytes) << "seed " << seed;
        EXPECT_EQ(bytes, referenceSize(dir / "tree")) << "seed " << seed;
        EXPECT_EQ(bytes, duBytes(dir / "tree")) << "seed " << seed;
        // Every subdirectory on its own, several at a time as the adapters measure them.
        std::vector<std::string> subdirs;
        for (const auto& entry : std::filesystem::recursive_directory_iterator(dir / "tree")) {
            if (entry.is_directory() && !entry.is_symlink()) {
                subdirs.push_back(entry.path().string());
            }
        }
        std::vector<std::optional<std::int64_t>> sizes(subdirs.size());
        parallelFor(subdirs.size(), [&](std::size_t i) { sizes[i] = sizer.size(subdirs[i]); });
        for (std::size_t i = 0; i < subdirs.size(); ++i) {
            ASSERT_EQ(sizes[i], referenceSize(subdirs[i])) << subdirs[i];
        }
        FdBudgetGuard guard(0);
        EXPECT_EQ(sizer.size(dir / "tree"), bytes) << "seed " << seed;
    }
    EXPECT_EQ(openDescriptorCount(), descriptors);
}

TEST(DirectorySizer, ConcurrentCallersAndNestedParallelFor) {
    TempDir dir;
    makeRandomTree(dir / "tree", 42, 150);
    const FileManagerDirectorySizer sizer;
    const auto expected = referenceSize(dir / "tree");
    // Five "adapters", each measuring item after item with parallelFor, the sizer inside.
    std::vector<std::thread> adapters;
    std::atomic<int> mismatches{0};
    for (int a = 0; a < 5; ++a) {
        adapters.emplace_back([&] {
            std::vector<std::optional<std::int64_t>> sizes(6);
            parallelFor(sizes.size(), [&](std::size_t i) { sizes[i] = sizer.size(dir / "tree"); });
            mismatches += static_cast<int>(std::count_if(sizes.begin(), sizes.end(), [&](auto& s) { return s != expected; }));
        });
    }
    for (auto& t : adapters) {
        t.join();
    }
    EXPECT_EQ(mismatches.load(), 0);

    std::vector<std::atomic<int>> runs(1000);
    parallelFor(runs.size(), [&](std::size_t i) { runs[i].fetch_add(1); });
    EXPECT_TRUE(std::all_of(runs.begin(), runs.end(), [](auto& r) { return r.load() == 1; }));
    std::atomic<int> inner{0};
    parallelFor(16, [&](std::size_t) { parallelFor(16, [&](std::size_t) { inner.fetch_add(1); }); });
    EXPECT_EQ(inner.load(), 256);
    EXPECT_THROW(parallelFor(10, [](std::size_t i) {
                     if (i == 7) {
                         throw std::runtime_error("body");
                     }
                 }),
                 std::runtime_error);
}

TEST(DirectorySizer, EntriesVanishingMidWalk) {
    TempDir dir;
    makeRandomTree(dir / "tree", 7, 250);
    const FileManagerDirectorySizer sizer;
    const auto full = sizer.size(dir / "tree");
    ASSERT_TRUE(full);
    const std::int64_t rootOwn = blocksOf(dir / "tree");
    std::vector<std::string> paths;
    // Only files with several links are remembered between their names, so a file that loses
    // its other links after one was counted can be counted once more: the bound allows for that.
    std::int64_t linked = 0;
    std::unordered_set<Key, KeyHash> seen;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(dir / "tree")) {
        paths.push_back(entry.path().string());
        struct stat st {};
        if (::lstat(paths.back().c_str(), &st) == 0 && S_ISREG(st.st_mode) && st.st_nlink > 1 &&
            seen.insert(Key{st.st_dev, st.st_ino}).second) {
            linked += st.st_blocks * 512;
        }
    }
    std::atomic<bool> done{false};
    std::thread deleter([&] {
        std::shuffle(paths.begin(), paths.end(), std::mt19937(3));
        for (const auto& p : paths) {
            ::unlink(p.c_str());
        }
        for (const auto& p : paths) {
            std::error_code ignored;
            std::filesystem::remove_all(p, ignored);
        }
        done = true;
    });
    for (int walks = 0; !done || walks < 3; ++walks) {
        const auto bytes = sizer.size(dir / "tree");
        EXPECT_TRUE(bytes);
        EXPECT_GE(bytes.value_or(0), rootOwn);
        EXPECT_LE(bytes.value_or(0), *full + linked);
    }
    deleter.join();
    EXPECT_EQ(sizer.size(dir / "tree"), blocksOf(dir / "tree"));
}

// ---- unreadable directories ---------------------------------------------------------------------------

// Runs argv as uid/gid 65534 (nobody) in a forked child that only drops privileges and execs;
// returns its standard output.
std::string runAsNobody(const std::vector<std::string>& argv, int* status) {
    int pipeFds[2];
    if (::pipe2(pipeFds, O_CLOEXEC) != 0) {
        throw std::runtime_error("pipe failed");
    }
    std::vector<char*> args;
    for (const auto& a : argv) {
        args.push_back(const_cast<char*>(a.c_str()));
    }
    args.push_back(nullptr);
    const pid_t pid = ::fork();
    if (pid == 0) {
        // Only async-signal-safe calls between fork and exec.
        ::dup2(pipeFds[1], 1);
        if (::setgroups(0, nullptr) != 0 || ::setgid(65534) != 0 || ::setuid(65534) != 0) {
            ::_exit(126);
        }
        ::execv(args[0], args.data());
        ::_exit(127);
    }
    ::close(pipeFds[1]);
    std::string out;
    char buffer[4096];
    ssize_t n;
    while ((n = ::read(pipeFds[0], buffer, sizeof buffer)) > 0 || (n < 0 && errno == EINTR)) {
        if (n > 0) {
            out.append(buffer, static_cast<std::size_t>(n));
        }
    }
    ::close(pipeFds[0]);
    int wstatus = 0;
    while (::waitpid(pid, &wstatus, 0) < 0 && errno == EINTR) {
    }
    *status = WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : 128 + WTERMSIG(wstatus);
    return out;
}

void chownTree(const std::string& path, uid_t uid, gid_t gid) {
    ::lchown(path.c_str(), uid, gid);
    for (const auto& entry : std::filesystem::recursive_directory_iterator(path)) {
        ::lchown(entry.path().c_str(), uid, gid);
    }
}

TEST(DirectorySizer, UnreadableSubdirectoriesContributeNothing) {
    TempDir dir;
    const std::string tree = dir / "tree";
    writeFile(tree + "/open/a", std::string(20'000, 'a'));
    writeFile(tree + "/open/b", std::string(9'000, 'b'));
    writeFile(tree + "/locked/hidden", std::string(50'000, 'h'));       // mode 000
    writeFile(tree + "/noread/hidden", std::string(50'000, 'h'));       // --x: searchable, not listable
    writeFile(tree + "/nosearch/hidden", std::string(50'000, 'h'));     // r--: listable, entries not examinable
    writeFile(tree + "/nosearch/sub/hidden", std::string(50'000, 'h'));
    const std::int64_t expected = blocksOf(tree) + blocksOf(tree + "/open") + blocksOf(tree + "/open/a") +
                                  blocksOf(tree + "/open/b") + blocksOf(tree + "/nosearch");
    const std::int64_t duExtra = blocksOf(tree + "/locked") + blocksOf(tree + "/noread"); // du counts these
    ::chmod((tree + "/locked").c_str(), 0);
    ::chmod((tree + "/noread").c_str(), 0111);
    ::chmod((tree + "/nosearch").c_str(), 0444);

    std::string sizerOut;
    std::string duOut;
    if (::geteuid() != 0) {
        // Unprivileged already: the modes stop this process itself.
        const FileManagerDirectorySizer sizer;
        EXPECT_EQ(sizer.size(tree), expected);
        EXPECT_EQ(sizer.size(tree + "/locked"), std::nullopt);
        EXPECT_EQ(sizer.size(tree + "/noread"), std::nullopt);
        EXPECT_EQ(sizer.size(tree + "/nosearch"), blocksOf(tree + "/nosearch"));
        int status = 0;
        duOut = test::runCapture({"/usr/bin/du", "-s", "-B1", tree}, &status);
        EXPECT_EQ(std::stoll(duOut), expected + duExtra);
        return;
    }
    // Root reads through mode 000: measure as nobody instead, with the kelvo-size tool built
    // beside the tests (the same sizer), in a child that drops privileges and execs it.
    const std::string tool = std::string(KELVO_BINARY_DIR) + "/bin/kelvo-size";
    if (::access(tool.c_str(), X_OK) != 0) {
        GTEST_SKIP() << "running as root and " << tool << " is not built: cannot measure as an unprivileged user";
    }
    chownTree(dir.path(), 65534, 65534);
    int status = 0;
    const std::string probe = runAsNobody({"/usr/bin/test", "-x", tree}, &status);
    if (status != 0) {
        GTEST_SKIP() << "user 65534 cannot reach " << tree << " (a parent directory of $TMPDIR is closed to it; "
                     << "status " << status << "): the unreadable-directory case did not run";
    }
    sizerOut = runAsNobody({tool, tree, tree + "/locked", tree + "/noread", tree + "/nosearch"}, &status);
    std::istringstream lines(sizerOut);
    std::string line;
    std::vector<std::string> values;
    while (std::getline(lines, line)) {
        values.push_back(line.substr(0, line.find('\t')));
    }
    ASSERT_EQ(values.size(), 4u) << sizerOut;
    EXPECT_EQ(values[0], std::to_string(expected));
    EXPECT_EQ(values[1], "-");
    EXPECT_EQ(values[2], "-");
    EXPECT_EQ(values[3], std::to_string(blocksOf(tree + "/nosearch")));
    duOut = runAsNobody({"/usr/bin/du", "-s", "-B1", tree}, &status);
    EXPECT_NE(status, 0); // du complains about what it cannot read, and still prints its total
    EXPECT_EQ(std::stoll(duOut), expected + duExtra);
}

} // namespace
} // namespace kelvo
