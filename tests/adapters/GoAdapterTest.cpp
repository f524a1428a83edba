#include "adapters/GoAdapter.h"

#include "adapters/Substitutes.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

namespace kelvo {
namespace {

using test::itemNamed;
using test::itemNames;
using Names = std::vector<std::string>;
using Settings = std::map<std::string, std::string>;

struct Go : test::Services {
    test::TempDir home;
    std::string envFile = home / ".config/go/env";
    GoAdapter adapter() const { return GoAdapter(sizer, prober, kb, home.path()); }
    ManagerReport scan() const { return adapter().scan(); }
    // Where each folder was found ("" for none), and whether Go's env file put it there.
    std::string where() const {
        const auto shown = [&](const std::optional<GoAdapter::Folder>& folder) {
            if (!folder) return std::string("-");
            const std::string& path = folder->path;
            return (path.starts_with(home.path()) ? "~" + path.substr(home.path().size()) : path) +
                   (folder->configured ? "*" : "");
        };
        const GoAdapter::Folders found = adapter().folders();
        return shown(found.moduleCache) + " " + shown(found.buildCache) + " " + shown(found.programs);
    }
};

TEST(GoAdapter, EnvFileReadAsGoReadsIt) {
    EXPECT_EQ(GoAdapter::parseEnvFile("GOPATH=/a\nGOPATH=/b\n# GOBIN=/c\ngobin=/d\n=/e\nGOCACHE\nGOBIN=/f=g\r\n"),
        (Settings{{"GOPATH", "/b"}, {"GOBIN", "/f=g\r"}}));
    EXPECT_EQ(GoAdapter::parseEnvFile("\n\nGOMODCACHE="), (Settings{{"GOMODCACHE", ""}}));
}

TEST(GoAdapter, FoldersFromDefaultsAndTheEnvFileOnLinuxAndMacOS) {
    struct Case {
        std::vector<std::string> dirs;
        std::string envFile; // at ~/.config/go/env, "mac:" for macOS's place; %H is the home
        std::string expected;
    };
    const std::vector<Case> cases{
        {{}, "", "- - -"},
        {{"go/pkg/mod", ".cache/go-build", "go/bin"}, "", "~/go/pkg/mod ~/.cache/go-build ~/go/bin"},
        {{"Library/Caches/go-build", ".cache/go-build"}, "", "- ~/Library/Caches/go-build -"},
        {{"go/pkg/mod", "mods", "gp/pkg/mod", "gp/bin", "cache"},
            "GOMODCACHE=%H/mods\nGOPATH=%H/gp:/elsewhere\nGOCACHE=%H/cache/", "~/mods* ~/cache* ~/gp/bin*"},
        {{"go/pkg/mod", "gp/pkg/mod", "gp/bin", "b"}, "mac:GOPATH=%H/gp\nGOBIN=%H/b", "~/gp/pkg/mod* - ~/b*"},
        // A setting Go takes names where Go works: a missing folder there leaves nothing of Go's.
        {{"go/pkg/mod", "go/bin"}, "GOPATH=%H/missing", "- - -"},
        {{"go/pkg/mod", ".cache/go-build"}, "GOMODCACHE=%H/none\nGOCACHE=%H/none", "- - -"},
        // Settings Go refuses, or Kelvo does not follow, leave the defaults.
        {{"go/pkg/mod", ".cache/go-build", "go/bin", "x/pkg/mod"},
            "GOPATH=relative\nGOMODCACHE=%H/x/../x/pkg/mod\nGOCACHE=%H/.cache/go-build/../../a\nGOBIN=%H/x\r",
            "~/go/pkg/mod ~/.cache/go-build ~/go/bin"},
        {{"go/pkg/mod", "x/pkg/mod"}, "GOPATH=%H//x", "~/go/pkg/mod - -"},
        {{"go/pkg/mod", "x/pkg/mod"}, "GOPATH=%H/x\xff", "~/go/pkg/mod - -"},
    };
    for (const Case& c : cases) {
        Go go;
        for (const auto& dir : c.dirs) test::makeDirs(go.home / dir);
        std::string text = c.envFile;
        std::string file = go.envFile;
        if (text.starts_with("mac:")) {
            text = text.substr(4);
            file = go.home / "Library/Application Support/go/env";
        }
        for (std::size_t at; (at = text.find("%H")) != std::string::npos;) text.replace(at, 2, go.home.path());
        if (!text.empty()) test::writeFile(file, text);
        EXPECT_EQ(go.where(), c.expected) << c.envFile;
        EXPECT_EQ(go.adapter().isInstalled(), c.expected != "- - -") << c.envFile;
    }
}

TEST(GoAdapter, AnEnvFileItCannotReadLeavesTheDefaults) {
    const std::string huge = "GOPATH=/x\n" + std::string(GoAdapter::envFileLimit, '#');
    for (const std::string kind : {"folder", "fifo", "huge", "empty", "link"}) {
        Go go;
        test::makeDirs(go.home / "go/pkg/mod");
        test::makeDirs(go.home / "elsewhere/pkg/mod");
        if (kind == "folder") test::makeDirs(go.envFile);
        if (kind == "fifo") {
            test::makeDirs(go.home / ".config/go");
            ASSERT_EQ(::mkfifo(go.envFile.c_str(), 0600), 0);
        }
        if (kind == "huge") test::writeFile(go.envFile, huge);
        if (kind == "empty") test::writeFile(go.envFile, "");
        if (kind == "link") { // the config folder's go is Go's own: not followed through a link
            test::writeFile(go.home / "real/env", "GOPATH=" + go.home / "elsewhere");
            test::makeDirs(go.home / ".config");
            ASSERT_EQ(::symlink((go.home / "real").c_str(), (go.home / ".config/go").c_str()), 0);
        }
        EXPECT_EQ(go.where(), "~/go/pkg/mod - -") << kind;
    }
}

TEST(GoAdapter, CachesAndProgramsWithTheirCommands) {
    Go go;
    const std::string bin = go.home / "go/bin";
    test::makeDirs(go.home / "go/pkg/mod/cache/download");
    test::makeDirs(go.home / ".cache/go-build/00");
    for (const std::string name : {"gopls", "-rf", "a'b\nc", "old"})
        test::writeFile(bin + "/" + name, "\x7f"
                                          "ELF");
    test::makeDirs(bin + "/folder");
    ASSERT_EQ(::symlink("/bin/sh", (bin + "/linked").c_str()), 0);
    go.sizer->set(go.home / "go/pkg/mod", 9000).set(bin + "/gopls", 300).set(bin + "/old", 20);
    const double now = nowSeconds();
    go.prober->set(bin + "/old", FileTimes{now - 200 * 86400.0, now - 400 * 86400.0});
    go.prober->set(bin + "/gopls", FileTimes{now - 2 * 86400.0, now - 30 * 86400.0});

    const ManagerReport report = go.scan();
    EXPECT_TRUE(report.detected && !report.version);
    EXPECT_EQ(itemNames(report), (Names{"Go module cache", "gopls", "old", "Go build cache", "-rf", "a'b\nc"}));
    const auto& modules = *itemNamed(report, "Go module cache");
    EXPECT_TRUE(modules.tier == Tier::safeByDesign && modules.reclaimCommand == "go clean -modcache" &&
                modules.identity->ends_with("Found in ~/go/pkg/mod, its default folder."));
    EXPECT_EQ(itemNamed(report, "Go build cache")->reclaimCommand, "go clean -cache");
    EXPECT_EQ(report.quickWins.size(), 2u);
    EXPECT_EQ(report.quickWins[0].bytes, 9000);
    for (const auto& item : report.items) {
        EXPECT_EQ(item.tool, "go");
        if (item.tier == Tier::safeByDesign) continue;
        // A program's command removes exactly its file, whatever its name.
        EXPECT_EQ(test::shellWords(*item.reclaimCommand), (Names{"rm", "--", bin + "/" + item.name})) << item.name;
        EXPECT_EQ(item.path, bin + "/" + item.name);
    }
    EXPECT_EQ(itemNamed(report, "old")->tier, Tier::orphanCandidate);
    EXPECT_EQ(itemNamed(report, "gopls")->tier, Tier::signalOnly);
    EXPECT_EQ(itemNamed(report, "gopls")->evidence, std::vector{Evidence::lastUsed(now - 2 * 86400.0)});
}

} // namespace
} // namespace kelvo
