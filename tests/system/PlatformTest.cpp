#include "system/Platform.h"
#include "system/Settings.h"

#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kelvo {
namespace {

using test::ScopedEnv;
using test::TempDir;
using test::writeFile;

TEST(PlatformTest, HomeAndUserComeFromTheRightSources) {
    const passwd* entry = ::getpwuid(::getuid());
    ASSERT_NE(entry, nullptr);
    std::string passwordHome = entry->pw_dir;
    while (passwordHome.size() > 1 && passwordHome.back() == '/') passwordHome.pop_back();
    // An absolute $HOME wins without trailing slashes; a relative or empty one is not a home.
    for (const auto& [value, expected] : {std::pair<std::string, std::string>{"/some/where", "/some/where"},
             {"/some/where//", "/some/where"}, {"///", "/"}, {"relative/home", passwordHome}, {"", passwordHome}}) {
        const ScopedEnv home("HOME", value);
        EXPECT_EQ(homeDirectory(), expected) << "HOME=" << value;
    }
    const ScopedEnv user("USER", "someone-else");
    EXPECT_EQ(userName(), entry->pw_name);
}

TEST(PlatformTest, ListingsGiveNamesOrAbsent) {
    TempDir dir;
    writeFile(dir / "file", "x");
    ASSERT_EQ(::symlink((dir / "missing").c_str(), (dir / "dangling").c_str()), 0);
    writeFile(dir / "sub/.hidden", "");
    auto names = listDirectory(dir.path());
    ASSERT_TRUE(names);
    std::sort(names->begin(), names->end());
    EXPECT_EQ(*names, (std::vector<std::string>{"dangling", "file", "sub"}));
    EXPECT_EQ(listDirectory(dir / "sub"), std::vector<std::string>{".hidden"});
    EXPECT_FALSE(listDirectory(dir / "missing") || listDirectory(dir / "file"));
}

TEST(PlatformTest, ReadFileAndResourcesRefuseAFifoWithoutBlocking) {
    TempDir dir;
    const std::string bytes("{\"a\":1}\0\xFF", 9);
    writeFile(dir / "package.json", bytes);
    ASSERT_EQ(::symlink((dir / "package.json").c_str(), (dir / "link.json").c_str()), 0);
    EXPECT_EQ(readFile(dir / "package.json"), bytes);
    EXPECT_EQ(readFile(dir / "link.json"), bytes);
    EXPECT_EQ(readFile(dir / "package.json", 9), bytes);
    EXPECT_FALSE(readFile(dir / "package.json", 8) || readFile(dir / "missing") || readFile(dir.path()));
    // Reading leaves the access time as it was, where the system allows it.
    const timespec old[2] = {{1'000'000'000, 0}, {1'000'000'000, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, (dir / "package.json").c_str(), old, 0), 0);
    readFile(dir / "package.json");
    struct stat after {};
    ASSERT_EQ(::stat((dir / "package.json").c_str(), &after), 0);
    EXPECT_EQ(after.st_atime, 1'000'000'000);

    ASSERT_EQ(::mkfifo((dir / "fifo.json").c_str(), 0644), 0);
    EXPECT_FALSE(readFile(dir / "fifo.json")); // nobody writes: a hang here is the fault, ended by ctest's limit
    // A resource that is not a file is missing (where they are looked for is the report's end-to-end test's).
    EXPECT_EQ(missingResource(dir.path(), {"package.json"}), std::nullopt);
    EXPECT_EQ(missingResource(dir.path(), {"package.json", "fifo.json"}), "fifo.json");
}

// The one file Kelvo writes: the folders searched for projects, once the user chose them.
TEST(PlatformTest, SettingsKeepTheChosenProjectFoldersAndNothingMalformed) {
    TempDir home;
    const std::string path = settingsPath(home.path());
    EXPECT_EQ(projectFolders(home.path()), std::vector{home.path()}) << "the home folder until one is chosen";
    ASSERT_TRUE(saveSettings(path, StoredSettings{std::vector<std::string>{}}));
    EXPECT_TRUE(projectFolders(home.path()).empty()) << "no folder is a choice too";
    for (const char* text : {"not json", "[]", R"({"projectFolders":"/x"})"}) {
        writeFile(path, text);
        EXPECT_FALSE(loadSettings(path).projectFolders) << text;
    }
    writeFile(path, R"({"projectFolders":["relative", 3, "/kept"]})");
    EXPECT_EQ(loadSettings(path).projectFolders, std::vector<std::string>{"/kept"});
    writeFile(home / "blocked", "a file where the folder would be");
    EXPECT_FALSE(saveSettings(home / "blocked/settings.json", {}));
}

} // namespace
} // namespace kelvo
