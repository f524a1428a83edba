#include "system/CommandRunner.h"
#include "system/Platform.h"

#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <regex>
#include <sstream>
#include <thread>

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace std::chrono_literals;

namespace kelvo {
namespace {

using test::ScopedEnv;
using test::TempDir;
using test::writeFile;
using test::writeScript;
using Kind = CommandError::Kind;
using Clock = std::chrono::steady_clock;

CandidateTable tableFor(CommandTool tool, std::vector<std::string> paths) {
    CandidateTable table;
    for (auto& path : paths) table[static_cast<std::size_t>(tool)].push_back({false, std::move(path)});
    return table;
}

std::string readText(const std::string& path) {
    std::ifstream in(path);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// True once the process is gone or only a zombie waiting for a parent that is not us; false when
// the file names no process.
bool processGone(const std::string& pidFile) {
    const std::string pid = readText(pidFile);
    if (pid.find_first_not_of("0123456789\n") != std::string::npos || pid.find_first_of("0123456789") != 0)
        return false;
    const std::string stat = "/proc/" + std::to_string(std::stol(pid)) + "/stat";
    for (const auto limit = Clock::now() + 30s; Clock::now() < limit; std::this_thread::sleep_for(10ms)) {
        const std::string text = readText(stat);
        if (text.empty() || text.find(") Z ") != std::string::npos) return true;
    }
    return false;
}

TEST(ReadOnlyCommandTest, StandardTableKeepsMacLocationsFirstThenLinuxOnes) {
    std::string all;
    for (const auto& candidates : standardCandidateTable()) {
        for (const auto& c : candidates) all += (c.relativeToHome ? "~" : "") + c.path + " ";
        all += "| ";
    }
    EXPECT_EQ(all, "/opt/homebrew/bin/brew /usr/local/bin/brew /home/linuxbrew/.linuxbrew/bin/brew "
                   "~/.linuxbrew/bin/brew | /opt/homebrew/bin/pnpm /usr/local/bin/pnpm ~/Library/pnpm/pnpm "
                   "~/.local/share/pnpm/pnpm /usr/bin/pnpm | /opt/homebrew/bin/npm /usr/local/bin/npm /usr/bin/npm | "
                   "~/.bun/bin/bun /opt/homebrew/bin/bun /usr/local/bin/bun /usr/bin/bun | ");
}

// What comes back of the child's arguments, streams and status, repaired and limited (signals,
// floods and hangs are the broken-tools table of the hostile scan).
TEST(CommandRunnerTest, ResultsFollowTheChildsOutputAndStatus) {
    TempDir dir;
    struct Row {
        std::string body;
        CommandResult expected;
        ReadOnlyCommand command = ReadOnlyCommand::brewVersion();
        std::size_t limit = CommandRunner::defaultOutputLimit;
    };
    const std::vector<Row> rows{
        {"for a in \"$@\"; do printf '<%s>' \"$a\"; done\n", CommandResult::success("<uses><--installed><a b c>"),
            ReadOnlyCommand::brewUsesInstalled("a b c")},
        {"echo warning >&2\nprintf '  1.2.3\\n'\n", CommandResult::success("1.2.3")},
        {"echo ignored\nprintf '  bad thing\\n' >&2\nexit 3\n",
            CommandResult::failure({Kind::failed, 3, "  bad thing\n", 0})},
        {"printf 'a\\377b\\300\\257c\\n'\n", CommandResult::success("a\xEF\xBF\xBD"
                                                                    "b\xEF\xBF\xBD\xEF\xBF\xBD"
                                                                    "c")},
        {"head -c 100000 /dev/zero | tr '\\000' x\n", CommandResult::success(std::string(1000, 'x')),
            ReadOnlyCommand::brewVersion(), 1000},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.body.substr(0, 60));
        writeScript(dir / "brew", row.body);
        const auto result = CommandRunner(tableFor(CommandTool::brew, {dir / "brew"}), 30s, row.limit).run(row.command);
        ASSERT_EQ(result.ok, row.expected.ok) << static_cast<int>(result.error.kind);
        EXPECT_TRUE(result.output == row.expected.output) << result.output.substr(0, 200);
        EXPECT_EQ(result.error.kind, row.expected.error.kind);
        EXPECT_EQ(result.error.status, row.expected.error.status);
        EXPECT_TRUE(result.error.stderrText == row.expected.error.stderrText) << result.error.stderrText.substr(0, 200);
    }
}

TEST(CommandRunnerTest, TheFirstExecutableCandidateRunsAndWithoutOneNothingStarts) {
    TempDir dir;
    writeFile(dir / "plain", "#!/bin/sh\ntouch '" + (dir / "marker") + "'\n"); // 0644
    test::makeDirs(dir / "folder");
    ASSERT_EQ(::symlink((dir / "nowhere").c_str(), (dir / "dangling").c_str()), 0);
    writeScript(dir / "target", "echo linked\n");
    ASSERT_EQ(::symlink((dir / "target").c_str(), (dir / "link").c_str()), 0);
    writeScript(dir / "second", "echo second\n");
    const CommandRunner runner(tableFor(CommandTool::npm,
        {dir / "missing", dir / "plain", dir / "folder", dir / "dangling", dir / "link", dir / "second"}));
    EXPECT_EQ(runner.resolve(CommandTool::npm).executable, dir / "link"); // the link itself, as nvm's npm is one
    EXPECT_EQ(runner.run(ReadOnlyCommand::npmVersion()).output, "linked");

    const auto none = CommandRunner(tableFor(CommandTool::npm, {dir / "missing", dir / "plain", dir / "folder"}))
                          .run(ReadOnlyCommand::npmCacheDir());
    EXPECT_TRUE(!none.ok && none.error.kind == Kind::toolNotFound);
    EXPECT_FALSE(pathExists(dir / "marker"));

    writeFile(dir / "broken", "#!/nonexistent/interpreter\n");
    ::chmod((dir / "broken").c_str(), 0755);
    const auto broken = CommandRunner(tableFor(CommandTool::npm, {dir / "broken"})).run(ReadOnlyCommand::npmVersion());
    EXPECT_EQ(broken.error.kind, Kind::launchFailed);
    EXPECT_EQ(broken.error.errnoValue, ENOENT);
}

// Home-relative and worked-out candidates follow HOME at each start. The npm of nvm's default Node
// puts its folder first on PATH, so that its `#!/usr/bin/env node` finds its own node.
TEST(CommandRunnerTest, CandidatesFollowHomeAtEachStart) {
    TempDir first, second, empty;
    writeScript(first / ".bun/bin/bun", "echo first-home\n");
    writeScript(second / ".bun/bin/bun", "echo second-home\n");
    writeScript(empty / "system-bun", "echo system\n");
    writeScript(first / "v20/bin/npm", "echo \"$PATH\"\n");
    CandidateTable table;
    table[static_cast<std::size_t>(CommandTool::bun)] = {{true, "/.bun/bin/bun"}, {false, empty / "system-bun"}};
    table[static_cast<std::size_t>(CommandTool::npm)] = {{false, empty / "missing"},
        {false, {}, [](const std::string& h) { return std::optional(h + "/v20/bin/npm"); }}};
    const CommandRunner runner(table);
    for (const auto& [home, expected] :
        {std::pair{first.path(), "first-home"}, {second.path(), "second-home"}, {empty.path(), "system"}}) {
        const ScopedEnv scoped("HOME", home);
        EXPECT_EQ(runner.run(ReadOnlyCommand::bunVersion()).output, expected);
        EXPECT_EQ(runner.resolve(CommandTool::npm).executable.empty(), home != first.path());
    }
    const ScopedEnv scoped("HOME", first.path());
    EXPECT_EQ(runner.run(ReadOnlyCommand::npmVersion()).output, first / "v20/bin:" + childSearchPath());
}

// Each question starts its own tool, with that tool's fixed settings, no other's, and of ours only
// HOME, PATH and USER: the shell's own initial environment, before it adds such as PWD. npm's
// questions keep its cache folder where nothing can be made; the one of where that folder is asks
// with HOME there too, reading the user's own .npmrc.
TEST(CommandRunnerTest, EachQuestionRunsWithItsToolsOwnEnvironmentAndNpmsCacheIsPutBackInTheHome) {
    TempDir dir;
    const ScopedEnv scoped("HOME", dir.path()), extra("KELVO_SHOULD_NOT_LEAK", "1");
    const std::string home = "HOME=" + dir.path(), pathAndUser = "PATH=" + childSearchPath() + " USER=" + userName();
    CandidateTable table;
    const std::pair<CommandTool, std::string> tools[] = {
        {CommandTool::brew, "brew"}, {CommandTool::pnpm, "pnpm"}, {CommandTool::npm, "npm"}, {CommandTool::bun, "bun"}};
    for (const auto& [tool, name] : tools) {
        writeScript(dir / name, "echo " + name + " \"$@\" $(tr '\\000' '\\n' < /proc/$$/environ | sort)\n");
        table[static_cast<std::size_t>(tool)] = {{false, dir / name}};
    }
    const CommandRunner runner(table);
    EXPECT_EQ(runner.run(ReadOnlyCommand::brewVersion()).output,
        "brew --version " + home + " HOMEBREW_NO_ANALYTICS=1 HOMEBREW_NO_AUTO_UPDATE=1 " + pathAndUser);
    EXPECT_EQ(runner.run(ReadOnlyCommand::pnpmVersion()).output,
        "pnpm --version COREPACK_ENABLE_NETWORK=0 " + home + " " + pathAndUser);
    EXPECT_EQ(runner.run(ReadOnlyCommand::bunVersion()).output, "bun --version " + home + " " + pathAndUser);
    const std::string npmLogs = "npm_config_logs_dir=/dev/null npm_config_logs_max=0 npm_config_update_notifier=false";
    for (const auto& question :
        {ReadOnlyCommand::npmVersion(), ReadOnlyCommand::npmPrefixGlobal(), ReadOnlyCommand::npmListGlobalJSON()}) {
        std::string arguments;
        for (const auto& argument : argumentsFor(question)) arguments += argument + " ";
        EXPECT_EQ(runner.run(question).output, "npm " + arguments + "COREPACK_ENABLE_NETWORK=0 " + home + " " +
                                                   pathAndUser + " npm_config_cache=/dev/null/.npm " + npmLogs);
    }
    EXPECT_EQ(runner.run(ReadOnlyCommand::npmCacheDir()).output,
        "npm config get cache COREPACK_ENABLE_NETWORK=0 COREPACK_HOME=" + dir / ".cache/node/corepack" +
            " HOME=/dev/null " + pathAndUser + " " + npmLogs + " npm_config_userconfig=" + dir / ".npmrc");

    // That answer, given with HOME at the stand-in, is put back in the home; other paths, and other
    // questions' answers, stay as they are.
    for (const auto& [answer, expected] : {std::pair<std::string, std::string>{"$HOME/.npm", dir / ".npm"},
             {"$HOME", dir.path()}, {"/dev/nullish/.npm", "/dev/nullish/.npm"}, {"/var/cache/npm", "/var/cache/npm"}}) {
        writeScript(dir / "npm", "echo \"" + answer + "\"\n");
        EXPECT_EQ(runner.run(ReadOnlyCommand::npmCacheDir()).output, expected) << answer;
    }
    writeScript(dir / "npm", "echo /dev/null/lib\n");
    EXPECT_EQ(runner.run(ReadOnlyCommand::npmPrefixGlobal()).output, "/dev/null/lib");
}

// A tool's descendants go with it: at the limit its whole process group is killed, and one that
// holds the output pipe after the tool has exited neither hangs the call nor survives it. The
// times leave room for a busy machine: the hung tool's limit is ten times what its shell needs to
// start the descendant, and the other's is never reached, so the call returns when the tool exits.
TEST(CommandRunnerTest, HungToolsAndTheirDescendantsAreKilled) {
    TempDir dir;
    const std::string pidFile = dir / "grandchild";
    writeScript(dir / "hang", "sleep 100 &\necho $! > '" + pidFile + "'\nwait\n");
    writeScript(dir / "bg", "echo 1.0\nsleep 100 &\necho $! > '" + pidFile + "'\n");
    for (const auto& [tool, limit, output] : {std::tuple{dir / "hang", 3s, ""}, {dir / "bg", 60s, "1.0"}}) {
        std::remove(pidFile.c_str());
        const auto start = Clock::now();
        EXPECT_EQ(
            CommandRunner(tableFor(CommandTool::npm, {tool}), limit).run(ReadOnlyCommand::npmVersion()).output, output);
        EXPECT_LT(Clock::now() - start, 60s) << tool; // not until the descendant ends
        EXPECT_TRUE(processGone(pidFile)) << tool;
    }
}

TEST(CommandRunnerTest, ChildSeesNoDescriptorOfOursBeyondTheStandardThree) {
    TempDir dir;
    // Descriptors this process holds without close-on-exec must not reach the child either, and
    // with our standard input a pipe for the while, the child's must still be /dev/null.
    const int leaky = ::open("/dev/zero", O_RDONLY);
    int leakyPipe[2];
    ASSERT_EQ(::pipe(leakyPipe), 0);
    const int savedStdin = ::dup(STDIN_FILENO);
    ::dup2(leakyPipe[0], STDIN_FILENO);
    writeScript(dir / "npm", "ls -l /proc/$$/fd\n");
    const auto result = CommandRunner(tableFor(CommandTool::npm, {dir / "npm"})).run(ReadOnlyCommand::npmVersion());
    ::dup2(savedStdin, STDIN_FILENO);
    for (int fd : {savedStdin, leaky, leakyPipe[0], leakyPipe[1]}) ::close(fd);
    std::istringstream lines(result.output);
    int standard = 0;
    for (std::string line; std::getline(lines, line);) {
        if (line.find(" -> ") == std::string::npos) continue; // the "total" line
        if (std::regex_search(line, std::regex(" (0 -> /dev/null|[12] -> pipe:.*)$")))
            ++standard;
        else // the shell's own: its script and a descriptor on /dev/null
            EXPECT_TRUE(line.ends_with(" -> " + dir / "npm") || line.ends_with(" -> /dev/null")) << line;
    }
    EXPECT_EQ(standard, 3) << result.output;
}

} // namespace
} // namespace kelvo
