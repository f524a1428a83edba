#include "system/Platform.h"

#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <future>

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace std::chrono_literals;

namespace kelvo {
namespace {

using test::ScopedEnv;
using test::TempDir;
using test::writeFile;

std::string passwordHome() {
    const passwd* entry = ::getpwuid(::getuid());
    std::string home = entry ? entry->pw_dir : "";
    while (home.size() > 1 && home.back() == '/') {
        home.pop_back();
    }
    return home;
}

TEST(PlatformTest, HomeDirectoryFollowsAnAbsoluteHome) {
    ScopedEnv home("HOME", "/some/where");
    EXPECT_EQ(homeDirectory(), "/some/where");
}

TEST(PlatformTest, HomeDirectoryLosesTrailingSlashesButRootStays) {
    {
        ScopedEnv home("HOME", "/some/where//");
        EXPECT_EQ(homeDirectory(), "/some/where");
    }
    {
        ScopedEnv home("HOME", "///");
        EXPECT_EQ(homeDirectory(), "/");
    }
}

TEST(PlatformTest, RelativeOrEmptyHomeFallsBackToThePasswordDatabase) {
    {
        ScopedEnv home("HOME", "relative/home");
        EXPECT_EQ(homeDirectory(), passwordHome());
    }
    {
        ScopedEnv home("HOME", "");
        EXPECT_EQ(homeDirectory(), passwordHome());
    }
}

TEST(PlatformTest, UserNameComesFromThePasswordDatabase) {
    ScopedEnv user("USER", "someone-else");
    const passwd* entry = ::getpwuid(::getuid());
    ASSERT_NE(entry, nullptr);
    EXPECT_EQ(userName(), entry->pw_name);
}

TEST(PlatformTest, ResourceDirectoryIsBesideTheExecutable) {
    char exe[4096] = {};
    ASSERT_GT(::readlink("/proc/self/exe", exe, sizeof exe - 1), 0);
    std::string directory = exe;
    directory.erase(directory.rfind('/'));
    EXPECT_EQ(resourceDirectory(), directory + "/../share/kelvo");
}

TEST(PlatformTest, ExistenceAndDirectoryTestsFollowLinks) {
    TempDir dir;
    writeFile(dir / "file", "x");
    ASSERT_EQ(::symlink((dir / "file").c_str(), (dir / "to-file").c_str()), 0);
    ASSERT_EQ(::symlink(dir.path().c_str(), (dir / "to-dir").c_str()), 0);
    ASSERT_EQ(::symlink((dir / "missing").c_str(), (dir / "dangling").c_str()), 0);

    EXPECT_TRUE(pathExists(dir / "file"));
    EXPECT_TRUE(pathExists(dir / "to-file"));
    EXPECT_TRUE(pathExists(dir.path()));
    EXPECT_FALSE(pathExists(dir / "missing"));
    EXPECT_FALSE(pathExists(dir / "dangling"));

    EXPECT_TRUE(isDirectory(dir.path()));
    EXPECT_TRUE(isDirectory(dir / "to-dir"));
    EXPECT_FALSE(isDirectory(dir / "file"));
    EXPECT_FALSE(isDirectory(dir / "missing"));
}

TEST(PlatformTest, ListDirectoryGivesNamesOrAbsent) {
    TempDir dir;
    EXPECT_FALSE(listDirectory(dir / "missing").has_value());
    writeFile(dir / "a", "");
    writeFile(dir / ".hidden", "");
    test::makeDirs(dir / "sub");
    EXPECT_FALSE(listDirectory(dir / "a").has_value());
    EXPECT_EQ(listDirectory(dir / "sub"), std::vector<std::string>{});

    auto names = listDirectory(dir.path());
    ASSERT_TRUE(names);
    std::sort(names->begin(), names->end());
    EXPECT_EQ(*names, (std::vector<std::string>{".hidden", "a", "sub"}));
}

TEST(PlatformTest, ReadFileReturnsBytesWithinTheLimit) {
    TempDir dir;
    const std::string bytes("{\"a\":1}\0\xFF", 9);
    writeFile(dir / "package.json", bytes);
    ASSERT_EQ(::symlink((dir / "package.json").c_str(), (dir / "link.json").c_str()), 0);
    EXPECT_EQ(readFile(dir / "package.json"), bytes);
    EXPECT_EQ(readFile(dir / "link.json"), bytes);
    EXPECT_EQ(readFile(dir / "package.json", 9), bytes);
    EXPECT_FALSE(readFile(dir / "package.json", 8).has_value());
    EXPECT_FALSE(readFile(dir / "missing").has_value());
    EXPECT_FALSE(readFile(dir.path()).has_value());
}

TEST(PlatformTest, ReadFileRefusesAFifoWithoutBlocking) {
    TempDir dir;
    const std::string fifo = dir / "package.json";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0644), 0);
    auto read = std::async(std::launch::async, [&] { return readFile(fifo); });
    if (read.wait_for(2s) != std::future_status::ready) {
        // Unblock the reader so the test can end, then fail.
        const int fd = ::open(fifo.c_str(), O_WRONLY);
        ::close(fd);
        FAIL() << "readFile blocked on a FIFO";
    }
    EXPECT_FALSE(read.get().has_value());
}

} // namespace
} // namespace kelvo
