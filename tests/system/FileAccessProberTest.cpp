#include "system/FileAccessProber.h"

#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kelvo {
namespace {

void setTimes(const std::string& path, timespec accessed, timespec modified, int flags = 0) {
    const timespec times[2] = {accessed, modified};
    ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, flags), 0) << path;
}

TEST(FileAccessProberTest, TimesKeepNanosecondsAndFollowLinksExceptForWhenAnEntryWasMade) {
    test::TempDir dir;
    const FileManagerFileAccessProber prober;
    test::writeFile(dir / "file", "a");
    setTimes(dir / "file", {1'700'000'000, 250'000'000}, {1'700'000'100, 125'000'000});
    // A link reports its target's times, not its own.
    ASSERT_EQ(::symlink((dir / "file").c_str(), (dir / "link").c_str()), 0);
    setTimes(dir / "link", {1'500'000'000, 0}, {1'500'000'000, 0}, AT_SYMLINK_NOFOLLOW);
    ASSERT_EQ(::symlink((dir / "missing").c_str(), (dir / "dangling").c_str()), 0);
    setTimes(dir.path(), {1'650'000'000, 750'000'000}, {1'650'000'001, 0});

    for (const auto& [path, accessed, modified] : {std::tuple{dir / "file", 1'700'000'000.25, 1'700'000'100.125},
             {dir / "link", 1'700'000'000.25, 1'700'000'100.125}, {dir.path(), 1'650'000'000.75, 1'650'000'001.0}}) {
        const auto times = prober.fileTimes(path);
        ASSERT_TRUE(times) << path;
        EXPECT_NEAR(times->accessed, accessed, 1e-6) << path;
        EXPECT_NEAR(times->modified, modified, 1e-6) << path;
    }
    EXPECT_FALSE(prober.fileTimes(dir / "missing") || prober.fileTimes(dir / "dangling"));
    // When a command's entry was made: the link's own time, also when its target is gone.
    EXPECT_EQ(prober.entryModified(dir / "link"), 1'500'000'000.0);
    EXPECT_TRUE(prober.entryModified(dir / "dangling"));
    EXPECT_FALSE(prober.entryModified(dir / "missing"));
    // This file system records access times (relatime); a path that cannot be examined is not
    // taken to record them.
    EXPECT_TRUE(prober.recordsAccessTimes(dir.path()));
    EXPECT_FALSE(prober.recordsAccessTimes(dir / "missing"));
}

} // namespace
} // namespace kelvo
