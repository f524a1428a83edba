#include "system/FileAccessProber.h"

#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kelvo {
namespace {

using test::TempDir;
using test::writeFile;

// Sets access and modification times to whole seconds plus nanoseconds.
void setTimes(const std::string& path, timespec accessed, timespec modified, int flags = 0) {
    const timespec times[2] = {accessed, modified};
    ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, flags), 0) << path;
}

TEST(FileAccessProberTest, MissingPathAndDanglingLinkAreAbsent) {
    TempDir dir;
    const FileManagerFileAccessProber prober;
    EXPECT_FALSE(prober.fileTimes(dir / "missing").has_value());
    ASSERT_EQ(::symlink((dir / "missing").c_str(), (dir / "dangling").c_str()), 0);
    EXPECT_FALSE(prober.fileTimes(dir / "dangling").has_value());
}

TEST(FileAccessProberTest, NanosecondsSurvive) {
    TempDir dir;
    writeFile(dir / "a", "a");
    writeFile(dir / "b", "b");
    setTimes(dir / "a", {1'700'000'000, 250'000'000}, {1'700'000'100, 125'000'000});
    setTimes(dir / "b", {1'700'000'000, 750'000'000}, {1'700'000'100, 625'000'000});

    const FileManagerFileAccessProber prober;
    const auto a = prober.fileTimes(dir / "a");
    const auto b = prober.fileTimes(dir / "b");
    ASSERT_TRUE(a && b);
    EXPECT_NEAR(a->accessed, 1'700'000'000.25, 1e-6);
    EXPECT_NEAR(a->modified, 1'700'000'100.125, 1e-6);
    EXPECT_NEAR(b->accessed - a->accessed, 0.5, 1e-6);
    EXPECT_NEAR(b->modified - a->modified, 0.5, 1e-6);
}

TEST(FileAccessProberTest, SymbolicLinkReportsItsTargetsTimes) {
    TempDir dir;
    writeFile(dir / "target", "t");
    setTimes(dir / "target", {1'600'000'000, 0}, {1'600'000'500, 0});
    ASSERT_EQ(::symlink((dir / "target").c_str(), (dir / "link").c_str()), 0);
    setTimes(dir / "link", {1'500'000'000, 0}, {1'500'000'000, 0}, AT_SYMLINK_NOFOLLOW);

    const auto times = FileManagerFileAccessProber().fileTimes(dir / "link");
    ASSERT_TRUE(times);
    EXPECT_DOUBLE_EQ(times->accessed, 1'600'000'000.0);
    EXPECT_DOUBLE_EQ(times->modified, 1'600'000'500.0);
}

TEST(FileAccessProberTest, DirectoriesHaveTimesToo) {
    TempDir dir;
    setTimes(dir.path(), {1'650'000'000, 500'000'000}, {1'650'000'001, 0});
    const auto times = FileManagerFileAccessProber().fileTimes(dir.path());
    ASSERT_TRUE(times);
    EXPECT_NEAR(times->accessed, 1'650'000'000.5, 1e-6);
    EXPECT_NEAR(times->modified, 1'650'000'001.0, 1e-6);
}

} // namespace
} // namespace kelvo
