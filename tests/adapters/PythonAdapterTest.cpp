#include "adapters/PythonAdapter.h"

#include "adapters/Substitutes.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

namespace kelvo {
namespace {

using test::itemNamed;
using Names = std::vector<std::string>;

struct Python : test::Services {
    test::TempDir home;
    std::string versions = home / ".pyenv/versions";
    ManagerReport scan() const { return PythonAdapter(sizer, prober, kb, home.path()).scan(); }
    // A virtualenv whose pyvenv.cfg names `interpreter` as its home.
    void virtualenv(const std::string& folder, const std::string& interpreter) {
        test::writeFile(folder + "/pyvenv.cfg", "include-system-site-packages = false\nhome = " + interpreter + "\n");
    }
};

TEST(PythonAdapter, VersionFilesVirtualenvsAndProjectsReadAsTheToolsReadThem) {
    EXPECT_EQ(PythonAdapter::parseVersionFile("3.12.1 # new\n\n# 3.9\n  3.11\r\n../x\n..\nenvs/a\n\tpypy3.10 x\n3.8"),
        (Names{"3.12.1", "3.11", "pypy3.10", "3.8"}));

    const Names installed{"3.11.4", "3.11.10", "3.11.7", "3.12.0rc1", "3.12-dev", "3.13.0t", "3.13.1", "pypy3.10-7.3"};
    for (const auto& [asked, expected] :
        std::vector<std::pair<std::string, std::string>>{{"3.11.7", "3.11.7"}, {"python-3.11.4", "3.11.4"},
            {"3.11", "3.11.10"}, {"python-3.11", "3.11.10"}, {"3", "3.13.1"}, {"3.13", "3.13.1"}, {"3.13t", "3.13.0t"},
            {"pypy3.10", "pypy3.10-7.3"}, {"3.12", ""}, {"3.1", ""}, {"", ""}, {"4", ""}})
        EXPECT_EQ(PythonAdapter::resolveVersion(asked, installed).value_or(""), expected) << asked;

    EXPECT_EQ(PythonAdapter::pyvenvHome("home = /h/.pyenv/versions/3.11.7/bin\nversion = 3.11.7\n"),
        "/h/.pyenv/versions/3.11.7/bin");
    EXPECT_EQ(PythonAdapter::pyvenvHome("Home=/usr/bin/\r\n"), "/usr/bin");
    for (const std::string bad : {"", "home = relative/bin", "home = /a/../b", "home = /a\xff", "homes = /a", "home"})
        EXPECT_FALSE(PythonAdapter::pyvenvHome(bad)) << bad;

    EXPECT_EQ(PythonAdapter::projectFolder("/home/me/a b\n"), "/home/me/a b");
    for (const std::string& bad : Names{"src/api", "/a/../etc", "/a\n/b", "/a\xff", std::string("/a\0b", 4)})
        EXPECT_FALSE(PythonAdapter::projectFolder(bad)) << bad;
}

TEST(PythonAdapter, FoldersOnLinuxAndMacOS) {
    // Each tool's macOS place before its Linux one; pipx's older ~/.local/pipx before its newer default.
    for (const auto& [dirs, expected] : std::vector<std::pair<Names, std::string>>{{{}, "- - - - - -"},
             {{".cache/pip", ".cache/pypoetry/virtualenvs", ".local/share/virtualenv", ".local/share/pipx"},
                 ".cache/pip .cache/pypoetry .local/share/virtualenv .local/share/pipx .cache/pypoetry/virtualenvs -"},
             {{"Library/Caches/pip", ".cache/pip", "Library/Caches/pypoetry", "Library/Application Support/virtualenv",
                  ".local/pipx", ".local/share/pipx", ".cache/uv"},
                 "Library/Caches/pip Library/Caches/pypoetry Library/Application Support/virtualenv .local/pipx - "
                 ".cache/uv"},
             {{"Library/Application Support/pipx", ".local/pipx"}, "- - - Library/Application Support/pipx - -"}}) {
        test::TempDir home;
        for (const auto& dir : dirs) test::makeDirs(home / dir);
        const auto found = PythonAdapter::folders(home.path());
        std::string where;
        for (const auto* folder : {&found.pipCache, &found.poetryCache, &found.virtualenvSeed, &found.pipx,
                 &found.poetryVirtualenvs, &found.uvCache})
            where += (where.empty() ? "" : " ") + (*folder ? folder->value().substr(home.path().size() + 1) : "-");
        EXPECT_EQ(where, expected);
        EXPECT_EQ(PythonAdapter(nullptr, nullptr, {}, home.path()).isInstalled(), !dirs.empty());
    }
}

TEST(PythonAdapter, VersionsKeptWhenGlobalOrRunByAVirtualenvEveryOtherOffered) {
    Python py;
    for (const std::string name : {"3.12.1", "3.11.7", "3.11.4", "2.7.18", "-x'y\nz"})
        test::makeDirs(py.versions + "/" + name + "/bin");
    test::writeFile(py.versions + "/a-file", "");
    ASSERT_EQ(::symlink("/usr", (py.versions + "/linked").c_str()), 0);
    test::writeFile(py.home / ".pyenv/version", "3.12\nsystem\n");
    const std::string venvs = py.home / ".local/share/virtualenvs";
    py.virtualenv(venvs + "/api-X1", py.versions + "/3.11.4/bin");
    // Homes that lead nowhere installed: another folder, one climbing out, a link's.
    py.virtualenv(venvs + "/b-X2", py.versions + "/../versions/2.7.18/bin");
    py.virtualenv(venvs + "/c-X3", "/");
    py.virtualenv(venvs + "/a0-X0", py.versions + "_2.7.18/bin");

    const ManagerReport report = py.scan();
    EXPECT_TRUE(report.detected && !itemNamed(report, "a-file") && !itemNamed(report, "linked"));
    const auto& global = *itemNamed(report, "3.12.1");
    EXPECT_TRUE(global.tier == Tier::signalOnly && global.evidence.empty() && !global.reclaimCommand);
    EXPECT_EQ(itemNamed(report, "3.11.4")->evidence,
        std::vector{Evidence::usedByVirtualenv("~/.local/share/virtualenvs/api-X1")});
    for (const std::string name : {"3.11.7", "2.7.18", "-x'y\nz"}) {
        const auto& item = *itemNamed(report, name);
        EXPECT_EQ(item.tier, Tier::orphanCandidate) << name;
        EXPECT_EQ(item.evidence, std::vector{Evidence::notGlobalVersion("3.12.1, system")}) << name;
        EXPECT_EQ(test::shellWords(*item.reclaimCommand), test::removalWords({"pyenv", "uninstall", "-f"}, name));
        EXPECT_TRUE(item.path == py.versions + "/" + name && item.tool == "pyenv");
    }

    // A project's .python-version keeps what it names as pyenv resolves it, a virtual environment
    // the search found keeps what it runs; no other file does.
    ManagerReport pinned = report;
    PythonAdapter(py.sizer, py.prober, py.kb, py.home.path())
        .keepPinned(pinned, {{".python-version", py.home / "api", "# 3.12\n3.11\n"},
                                {".python-version", "/srv/x", "../versions/2.7.18"}, {".nvmrc", "/srv/y", "2.7.18"},
                                {"pyvenv.cfg", py.home / "api/.venv", "home = " + py.versions + "/3.11.7/bin\n"},
                                {"pyvenv.cfg", "/srv/z", "home = " + py.versions + "/../versions/2.7.18/bin\n"}});
    const auto& kept = *itemNamed(pinned, "3.11.7");
    EXPECT_TRUE(kept.tier == Tier::signalOnly && !kept.reclaimCommand);
    EXPECT_EQ(
        kept.evidence, (std::vector<Evidence>{Evidence::pinnedByProject("~/api"),
                           Evidence::usedByVirtualenv("~/api/.venv"), Evidence::notGlobalVersion("3.12.1, system")}));
    EXPECT_EQ(itemNamed(pinned, "2.7.18")->tier, Tier::orphanCandidate);

    // A version file pyenv cannot read, or naming nothing installed: pyenv's global is the system's.
    const std::string file = py.home / ".pyenv/version";
    for (const std::string kind : {"fifo", "huge", "not-utf8"}) {
        test::removeTree(file);
        if (kind == "fifo") {
            ASSERT_EQ(::mkfifo(file.c_str(), 0600), 0);
        } else {
            test::writeFile(file, "3.12.1\n" + (kind == "huge" ? std::string(PythonAdapter::fileLimit, '#') : "\xff"));
        }
        EXPECT_EQ(itemNamed(py.scan(), "3.12.1")->evidence, std::vector{Evidence::notGlobalVersion("system")}) << kind;
    }
}

TEST(PythonAdapter, VirtualenvsJudgedByTheirProjectsAndRemovedByPath) {
    Python py;
    const std::string venvs = py.home / ".local/share/virtualenvs";
    test::writeFile(py.home / "src/active/Pipfile", "");
    test::makeDirs(py.home / "src/old");
    test::writeFile(py.home / "src/old/Pipfile", "");
    test::age(py.home / "src/old/Pipfile", 200);
    test::age(py.home / "src/old", 200);
    for (const auto& [name, project] : std::vector<std::pair<std::string, std::string>>{
             {"active-A1", py.home / "src/active"}, {"old-B2", py.home / "src/old"}, {"gone-C3", py.home / "old/api"}})
        test::writeFile(venvs + "/" + name + "/.project", project);
    test::makeDirs(venvs + "/none-F6");
    test::makeDirs(venvs + "/fifo-H8");
    ASSERT_EQ(::mkfifo((venvs + "/fifo-H8/.project").c_str(), 0600), 0);
    test::makeDirs(venvs + "/linked-I9");
    ASSERT_EQ(::symlink((venvs + "/old-B2/.project").c_str(), (venvs + "/linked-I9/.project").c_str()), 0);
    test::makeDirs(py.home / ".cache/pypoetry/virtualenvs/api-Xk3jf9a2-py3.11");
    test::makeDirs(venvs + "/-rf 'x");

    const ManagerReport report = py.scan();
    std::string verdicts;
    for (const auto& item : report.items) {
        if (item.tool != "pipenv" && item.tool != "poetry") continue;
        EXPECT_EQ(test::shellWords(*item.reclaimCommand), (Names{"rm", "-rf", "--", *item.path})) << item.name;
        verdicts += item.name + (item.tier == Tier::orphanCandidate ? "! " : " ");
    }
    // A linked .project is not followed: linked-I9 would be old-B2's.
    EXPECT_EQ(verdicts, "-rf 'x active-A1 fifo-H8 gone-C3! linked-I9 none-F6 old-B2! api-Xk3jf9a2-py3.11 ");
    EXPECT_EQ(itemNamed(report, "gone-C3")->evidence, std::vector{Evidence::projectGone("~/old/api")});
    EXPECT_EQ(itemNamed(report, "active-A1")->evidence.at(0).kind, Evidence::Kind::projectActive);
}

TEST(PythonAdapter, ApplicationsByTheirCommandsAndCachesWithTheirToolsCommands) {
    Python py;
    const std::string pipx = py.home / ".local/pipx", bin = py.home / ".local/bin";
    test::writeFile(pipx + "/venvs/black/pipx_metadata.json", R"({"main_package": {"package_version": "24.1.0"}})");
    test::makeDirs(pipx + "/venvs/old-tool/bin");
    test::makeDirs(pipx + "/venvs/black-macchiato/bin");
    test::writeFile(pipx + "/shared/pip", "");
    test::writeFile(pipx + "/logs/cmd.log", "");
    test::makeDirs(pipx + "/.cache"); // empty: not listed
    test::makeDirs(py.home / ".local/share/uv/tools/ruff");
    test::makeDirs(py.home / ".local/share/uv/python/cpython-3.12.4-linux-x86_64-gnu");
    test::makeDirs(py.home / ".local/share/uv/python/.lock");
    test::makeDirs(bin);
    for (const auto& [command, target] :
        std::vector<std::pair<std::string, std::string>>{{"black", pipx + "/venvs/black/bin/black"},
            {"blackd", pipx + "/venvs/black/bin/blackd"}, {"old", pipx + "/venvs/old-tool/bin/old"},
            {"bm", pipx + "/venvs/black-macchiato/bin/bm"}, {"ruff", py.home / ".local/share/uv/tools/ruff/bin/ruff"}})
        ASSERT_EQ(::symlink(target.c_str(), (bin + "/" + command).c_str()), 0);
    const double now = nowSeconds();
    py.prober->set(bin + "/blackd", FileTimes{now - 3 * 86400.0, now - 300 * 86400.0});
    py.prober->set(bin + "/old", FileTimes{now - 200 * 86400.0, now - 400 * 86400.0});
    py.prober->set(bin + "/bm", FileTimes{now - 86400.0, now - 400 * 86400.0}); // another application's
    for (const std::string cache : {".cache/pip/http/a", ".cache/uv/wheels-v1/b", ".cache/pypoetry/cache/pypi/c",
             ".cache/pypoetry/artifacts/d", ".local/share/virtualenv/wheel/e", ".pyenv/cache/Python-3.12.1.tar.xz"})
        test::writeFile(py.home / cache, "x");

    const ManagerReport report = py.scan();
    const auto& black = *itemNamed(report, "black");
    EXPECT_TRUE(black.version == "24.1.0" && black.tier == Tier::signalOnly && black.tool == "pipx" &&
                black.reclaimCommand == "pipx uninstall black");
    EXPECT_EQ(black.evidence, std::vector{Evidence::lastUsed(now - 3 * 86400.0)}) << "its second command's use";
    EXPECT_EQ(itemNamed(report, "old-tool")->tier, Tier::orphanCandidate);
    EXPECT_EQ(itemNamed(report, "ruff")->reclaimCommand, "uv tool uninstall ruff");
    EXPECT_EQ(itemNamed(report, "cpython-3.12.4-linux-x86_64-gnu")->reclaimCommand,
        "uv python uninstall cpython-3.12.4-linux-x86_64-gnu");
    EXPECT_FALSE(itemNamed(report, ".lock"));
    // Each cache with its tool's own command, or removed by path ("rm").
    std::string caches;
    for (const auto& item : report.items)
        if (item.tier == Tier::safeByDesign)
            caches += item.path->substr(py.home.path().size()) + "=" +
                      (*item.reclaimCommand == "rm -rf -- " + *item.path ? "rm" : *item.reclaimCommand) + " ";
    EXPECT_EQ(caches, "/.cache/pypoetry/cache/pypi=poetry cache clear --all pypi /.cache/pip=python3 -m pip cache "
                      "purge /.cache/uv=uv cache prune /.local/share/virtualenv=rm /.pyenv/cache=rm "
                      "/.cache/pypoetry/artifacts=rm /.local/pipx/shared=rm /.local/pipx/logs=rm ");
}

} // namespace
} // namespace kelvo
