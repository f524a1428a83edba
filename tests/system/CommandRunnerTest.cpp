#include "system/CommandRunner.h"
#include "system/Platform.h"

#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <fstream>
#include <map>
#include <sstream>
#include <thread>

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
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

CandidateTable tableFor(CommandTool tool, std::vector<CandidatePath> candidates) {
    CandidateTable table;
    table[static_cast<std::size_t>(tool)] = std::move(candidates);
    return table;
}

CandidatePath at(const std::string& path) { return {false, path}; }

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> result;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        result.push_back(line);
    }
    return result;
}

std::string readText(const std::string& path) {
    std::ifstream in(path);
    std::stringstream buffer;
    buffer << in.rdbuf();
    return buffer.str();
}

// True once the process is gone or only a zombie waiting for a parent that is not us.
bool processGone(pid_t pid) {
    const auto limit = Clock::now() + 3s;
    while (Clock::now() < limit) {
        const std::string stat = readText("/proc/" + std::to_string(pid) + "/stat");
        const auto close = stat.rfind(')');
        if (stat.empty() || (close != std::string::npos && stat.compare(close, 4, ") Z ") == 0)) {
            return true;
        }
        std::this_thread::sleep_for(10ms);
    }
    return false;
}

std::size_t openDescriptorCount() { return listDirectory("/proc/self/fd").value_or(std::vector<std::string>{}).size(); }

class CommandRunnerTest : public ::testing::Test {
protected:
    // A runner whose only tool is npm, the given /bin/sh script body.
    CommandRunner npmScript(const std::string& body, std::chrono::milliseconds timeout = 30s,
                            std::size_t limit = CommandRunner::defaultOutputLimit) {
        writeScript(dir / "npm", body);
        return CommandRunner(tableFor(CommandTool::npm, {at(dir / "npm")}), timeout, limit);
    }

    TempDir dir;
};

TEST(ReadOnlyCommandTest, EachCommandHasItsToolAndFixedArguments) {
    struct Row {
        ReadOnlyCommand command;
        CommandTool tool;
        std::vector<std::string> arguments;
    };
    const std::vector<Row> rows = {
        {ReadOnlyCommand::brewUsesInstalled("node@20"), CommandTool::brew, {"uses", "--installed", "node@20"}},
        {ReadOnlyCommand::brewVersion(), CommandTool::brew, {"--version"}},
        {ReadOnlyCommand::brewCellarPath(), CommandTool::brew, {"--cellar"}},
        {ReadOnlyCommand::brewListFormula(), CommandTool::brew, {"list", "--formula"}},
        {ReadOnlyCommand::brewLeaves(), CommandTool::brew, {"leaves"}},
        {ReadOnlyCommand::pnpmVersion(), CommandTool::pnpm, {"--version"}},
        {ReadOnlyCommand::npmVersion(), CommandTool::npm, {"--version"}},
        {ReadOnlyCommand::npmPrefixGlobal(), CommandTool::npm, {"prefix", "-g"}},
        {ReadOnlyCommand::npmListGlobalJSON(), CommandTool::npm, {"ls", "-g", "--depth=0", "--json"}},
        {ReadOnlyCommand::npmCacheDir(), CommandTool::npm, {"config", "get", "cache"}},
        {ReadOnlyCommand::bunVersion(), CommandTool::bun, {"--version"}},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(toolFor(row.command), row.tool);
        EXPECT_EQ(argumentsFor(row.command), row.arguments);
    }
}

TEST(ReadOnlyCommandTest, StandardTableKeepsMacLocationsFirstThenLinuxOnes) {
    const auto render = [](const std::vector<CandidatePath>& candidates) {
        std::vector<std::string> out;
        for (const auto& c : candidates) {
            out.push_back((c.relativeToHome ? "HOME" : "") + c.path);
        }
        return out;
    };
    const CandidateTable table = standardCandidateTable();
    EXPECT_EQ(render(table[static_cast<std::size_t>(CommandTool::brew)]),
              (std::vector<std::string>{"/opt/homebrew/bin/brew", "/usr/local/bin/brew",
                                        "/home/linuxbrew/.linuxbrew/bin/brew", "HOME/.linuxbrew/bin/brew"}));
    EXPECT_EQ(render(table[static_cast<std::size_t>(CommandTool::pnpm)]),
              (std::vector<std::string>{"/opt/homebrew/bin/pnpm", "/usr/local/bin/pnpm", "HOME/Library/pnpm/pnpm",
                                        "HOME/.local/share/pnpm/pnpm", "/usr/bin/pnpm"}));
    EXPECT_EQ(render(table[static_cast<std::size_t>(CommandTool::npm)]),
              (std::vector<std::string>{"/opt/homebrew/bin/npm", "/usr/local/bin/npm", "/usr/bin/npm"}));
    EXPECT_EQ(render(table[static_cast<std::size_t>(CommandTool::bun)]),
              (std::vector<std::string>{"HOME/.bun/bin/bun", "/opt/homebrew/bin/bun", "/usr/local/bin/bun",
                                        "/usr/bin/bun"}));
}

TEST(CommandRunnerDefaults, TimeoutAndOutputLimit) {
    EXPECT_EQ(CommandRunner::defaultTimeout, 120s);
    EXPECT_EQ(CommandRunner::defaultOutputLimit, 64u * 1024 * 1024);
    EXPECT_EQ(childSearchPath(),
              "/opt/homebrew/bin:/usr/local/bin:/home/linuxbrew/.linuxbrew/bin:/usr/bin:/bin:/usr/sbin:/sbin");
}

TEST_F(CommandRunnerTest, ChildEnvironmentIsExactlyPathHomeAndUser) {
    ScopedEnv home("HOME", dir.path());
    ScopedEnv extra("KELVO_SHOULD_NOT_LEAK", "1");
    // The shell's own initial environment, before it adds anything such as PWD.
    const auto result = npmScript("tr '\\000' '\\n' < /proc/$$/environ\n").run(ReadOnlyCommand::npmVersion());
    ASSERT_TRUE(result.ok);
    auto variables = lines(result.output);
    std::sort(variables.begin(), variables.end());
    EXPECT_EQ(variables, (std::vector<std::string>{"HOME=" + dir.path(), "PATH=" + childSearchPath(),
                                                   "USER=" + userName()}));
}

TEST_F(CommandRunnerTest, ArgumentWithSpacesArrivesAsOneArgument) {
    writeScript(dir / "brew", "for a in \"$@\"; do printf '<%s>\\n' \"$a\"; done\n");
    const CommandRunner runner(tableFor(CommandTool::brew, {at(dir / "brew")}));
    const auto result = runner.run(ReadOnlyCommand::brewUsesInstalled("a b c"));
    ASSERT_TRUE(result.ok);
    EXPECT_EQ(result.output, "<uses>\n<--installed>\n<a b c>");
}

TEST_F(CommandRunnerTest, StandardErrorIsIgnoredOnSuccessAndOutputTrimmed) {
    const auto result = npmScript("echo warning >&2\nprintf '  1.2.3\\n'\n").run(ReadOnlyCommand::npmVersion());
    ASSERT_TRUE(result.ok);
    EXPECT_EQ(result.output, "1.2.3");
}

TEST_F(CommandRunnerTest, NonZeroExitFailsWithStatusAndUntrimmedStandardError) {
    const auto result = npmScript("echo ignored\nprintf '  bad thing\\n' >&2\nexit 3\n").run(ReadOnlyCommand::npmVersion());
    ASSERT_FALSE(result.ok);
    EXPECT_EQ(result.error.kind, Kind::failed);
    EXPECT_EQ(result.error.status, 3);
    EXPECT_EQ(result.error.stderrText, "  bad thing\n");
}

TEST_F(CommandRunnerTest, DeathBySignalFailsWith128PlusSignal) {
    const auto result = npmScript("kill -TERM $$\n").run(ReadOnlyCommand::npmVersion());
    ASSERT_FALSE(result.ok);
    EXPECT_EQ(result.error.kind, Kind::failed);
    EXPECT_EQ(result.error.status, 128 + SIGTERM);
}

TEST_F(CommandRunnerTest, LargeOutputOnBothStreamsDoesNotDeadlock) {
    // Standard error is filled first: a reader that drained standard output alone would hang.
    const std::string body = "head -c 4194304 /dev/zero | tr '\\000' e >&2\n"
                             "head -c 4194304 /dev/zero | tr '\\000' o\n";
    const auto ok = npmScript(body).run(ReadOnlyCommand::npmVersion());
    ASSERT_TRUE(ok.ok);
    EXPECT_EQ(ok.output, std::string(4u << 20, 'o'));

    const auto failed = npmScript(body + "exit 1\n").run(ReadOnlyCommand::npmVersion());
    ASSERT_FALSE(failed.ok);
    EXPECT_EQ(failed.error.stderrText, std::string(4u << 20, 'e'));
}

TEST_F(CommandRunnerTest, OutputOverTheLimitIsTruncatedNotAnError) {
    auto runner = npmScript("head -c 100000 /dev/zero | tr '\\000' x\n", 30s, 1000);
    const auto result = runner.run(ReadOnlyCommand::npmVersion());
    ASSERT_TRUE(result.ok);
    EXPECT_EQ(result.output, std::string(1000, 'x'));
}

TEST_F(CommandRunnerTest, PassesOverNonExecutableAndDirectoryCandidates) {
    writeFile(dir / "plain", "#!/bin/sh\ntouch '" + (dir / "marker") + "'\n"); // 0644
    test::makeDirs(dir / "folder");
    writeScript(dir / "real", "echo chosen\n");
    const CommandRunner runner(tableFor(
        CommandTool::npm, {at(dir / "missing"), at(dir / "plain"), at(dir / "folder"), at(dir / "real")}));
    EXPECT_EQ(runner.resolve(CommandTool::npm), dir / "real");
    const auto result = runner.run(ReadOnlyCommand::npmVersion());
    ASSERT_TRUE(result.ok);
    EXPECT_EQ(result.output, "chosen");
    EXPECT_FALSE(pathExists(dir / "marker"));
}

TEST_F(CommandRunnerTest, FirstOfTwoExecutableCandidatesWins) {
    writeScript(dir / "first", "echo first\n");
    writeScript(dir / "second", "echo second\n");
    const CommandRunner runner(tableFor(CommandTool::brew, {at(dir / "first"), at(dir / "second")}));
    const auto result = runner.run(ReadOnlyCommand::brewVersion());
    ASSERT_TRUE(result.ok);
    EXPECT_EQ(result.output, "first");
}

TEST_F(CommandRunnerTest, SymbolicLinksAreFollowedAndDanglingOnesSkipped) {
    writeScript(dir / "target", "echo linked\n");
    ASSERT_EQ(::symlink((dir / "nowhere").c_str(), (dir / "dangling").c_str()), 0);
    ASSERT_EQ(::symlink((dir / "target").c_str(), (dir / "link").c_str()), 0);
    const CommandRunner runner(tableFor(CommandTool::pnpm, {at(dir / "dangling"), at(dir / "link")}));
    EXPECT_EQ(runner.resolve(CommandTool::pnpm), dir / "link");
    const auto result = runner.run(ReadOnlyCommand::pnpmVersion());
    ASSERT_TRUE(result.ok);
    EXPECT_EQ(result.output, "linked");
}

TEST_F(CommandRunnerTest, HomeRelativeCandidatesFollowHomeAtEachCall) {
    TempDir otherHome;
    writeScript(dir / ".bun/bin/bun", "echo first-home\n");
    writeScript(otherHome / ".bun/bin/bun", "echo second-home\n");
    writeScript(dir / "system-bun", "echo system\n");
    const CommandRunner runner(tableFor(CommandTool::bun, {{true, "/.bun/bin/bun"}, at(dir / "system-bun")}));
    {
        ScopedEnv home("HOME", dir.path());
        EXPECT_EQ(runner.run(ReadOnlyCommand::bunVersion()).output, "first-home");
    }
    {
        ScopedEnv home("HOME", otherHome.path());
        EXPECT_EQ(runner.run(ReadOnlyCommand::bunVersion()).output, "second-home");
    }
    {
        TempDir emptyHome;
        ScopedEnv home("HOME", emptyHome.path());
        EXPECT_EQ(runner.run(ReadOnlyCommand::bunVersion()).output, "system");
    }
}

TEST_F(CommandRunnerTest, WithoutAnyCandidateNothingIsStarted) {
    writeFile(dir / "npm", "#!/bin/sh\ntouch '" + (dir / "marker") + "'\n"); // present but not executable
    const CommandRunner runner(tableFor(CommandTool::npm, {at(dir / "absent"), at(dir / "npm")}));
    const auto result = runner.run(ReadOnlyCommand::npmCacheDir());
    ASSERT_FALSE(result.ok);
    EXPECT_EQ(result.error.kind, Kind::toolNotFound);
    EXPECT_FALSE(pathExists(dir / "marker"));

    const CommandRunner empty(CandidateTable{});
    for (const auto& command : {ReadOnlyCommand::brewLeaves(), ReadOnlyCommand::pnpmVersion(),
                                ReadOnlyCommand::npmVersion(), ReadOnlyCommand::bunVersion()}) {
        EXPECT_EQ(empty.run(command).error.kind, Kind::toolNotFound);
    }
}

TEST_F(CommandRunnerTest, ToolThatCannotStartIsALaunchFailure) {
    writeFile(dir / "npm", "#!/nonexistent/interpreter\n");
    ::chmod((dir / "npm").c_str(), 0755);
    const CommandRunner runner(tableFor(CommandTool::npm, {at(dir / "npm")}));
    const auto result = runner.run(ReadOnlyCommand::npmVersion());
    ASSERT_FALSE(result.ok);
    EXPECT_EQ(result.error.kind, Kind::launchFailed);
    EXPECT_EQ(result.error.errnoValue, ENOENT);
}

TEST_F(CommandRunnerTest, InvalidUtf8OutputIsRepaired) {
    const auto result = npmScript("printf 'a\\377b\\300\\257c\\n'\n").run(ReadOnlyCommand::npmVersion());
    ASSERT_TRUE(result.ok);
    EXPECT_EQ(result.output, "a\xEF\xBF\xBD" "b\xEF\xBF\xBD\xEF\xBF\xBD" "c");
}

TEST_F(CommandRunnerTest, ToolThatNeverExitsIsKilledWithItsProcessGroup) {
    const std::string pidFile = dir / "grandchild";
    auto runner = npmScript("sleep 100 &\necho $! > '" + pidFile + "'\nwait\n", 300ms);
    const auto start = Clock::now();
    const auto result = runner.run(ReadOnlyCommand::npmVersion());
    const auto elapsed = Clock::now() - start;
    ASSERT_FALSE(result.ok);
    EXPECT_EQ(result.error.kind, Kind::timedOut);
    EXPECT_GE(elapsed, 300ms);
    EXPECT_LT(elapsed, 3s);
    const std::string pid = readText(pidFile);
    ASSERT_FALSE(pid.empty());
    EXPECT_TRUE(processGone(static_cast<pid_t>(std::stol(pid))));
}

TEST_F(CommandRunnerTest, BackgroundGrandchildHoldingOutputDoesNotHang) {
    const std::string pidFile = dir / "grandchild";
    auto runner = npmScript("echo 1.0\nsleep 100 &\necho $! > '" + pidFile + "'\n");
    const auto start = Clock::now();
    const auto result = runner.run(ReadOnlyCommand::npmVersion());
    EXPECT_LT(Clock::now() - start, 3s);
    ASSERT_TRUE(result.ok);
    EXPECT_EQ(result.output, "1.0");
    EXPECT_TRUE(processGone(static_cast<pid_t>(std::stol(readText(pidFile)))));
}

TEST_F(CommandRunnerTest, LeavesNoZombieAndNoDescriptorBehind) {
    writeScript(dir / "ok", "echo fine\n");
    writeScript(dir / "bad", "echo no >&2\nexit 2\n");
    writeScript(dir / "slow", "sleep 100\n");
    const CommandRunner ok(tableFor(CommandTool::npm, {at(dir / "ok")}));
    const CommandRunner bad(tableFor(CommandTool::npm, {at(dir / "bad")}));
    const CommandRunner slow(tableFor(CommandTool::npm, {at(dir / "slow")}), 50ms);
    const CommandRunner none(CandidateTable{});

    const std::size_t before = openDescriptorCount();
    for (int i = 0; i < 50; ++i) {
        const auto& runner = i % 10 == 0 ? slow : i % 3 == 0 ? bad : i % 7 == 0 ? none : ok;
        runner.run(ReadOnlyCommand::npmVersion());
    }
    EXPECT_EQ(openDescriptorCount(), before);
    int status = 0;
    EXPECT_LE(::waitpid(-1, &status, WNOHANG), 0) << "a child was left unreaped";
}

TEST_F(CommandRunnerTest, ChildSeesNoDescriptorOfOursBeyondTheStandardThree) {
    // Descriptors that this process holds without close-on-exec must not reach the child either.
    writeFile(dir / "probe", "x");
    const int leaky = ::open((dir / "probe").c_str(), O_RDONLY);
    int leakyPipe[2];
    ASSERT_EQ(::pipe(leakyPipe), 0);

    // Our standard input is a pipe for the while; the child's must still be /dev/null.
    const int savedStdin = ::dup(STDIN_FILENO);
    ::dup2(leakyPipe[0], STDIN_FILENO);

    const std::string script = dir / "npm";
    const auto result = npmScript("ls -l /proc/$$/fd\n").run(ReadOnlyCommand::npmVersion());
    ::dup2(savedStdin, STDIN_FILENO);
    ::close(savedStdin);
    ::close(leaky);
    ::close(leakyPipe[0]);
    ::close(leakyPipe[1]);
    ASSERT_TRUE(result.ok);

    std::map<int, std::string> targets;
    for (const std::string& line : lines(result.output)) {
        const auto arrow = line.find(" -> ");
        if (arrow == std::string::npos) {
            continue;
        }
        const auto space = line.rfind(' ', arrow - 1);
        targets[std::stoi(line.substr(space + 1, arrow - space - 1))] = line.substr(arrow + 4);
    }
    ASSERT_EQ(targets.count(0), 1u);
    EXPECT_EQ(targets[0], "/dev/null");
    EXPECT_EQ(targets[1].rfind("pipe:", 0), 0u);
    EXPECT_EQ(targets[2].rfind("pipe:", 0), 0u);
    for (const auto& [fd, target] : targets) {
        if (fd > 2) { // the shell's own: its script and a descriptor on /dev/null
            EXPECT_TRUE(target == script || target == "/dev/null") << fd << " -> " << target;
        }
    }
}

TEST_F(CommandRunnerTest, ConcurrentRunsKeepTheirOwnArgumentsAndOutput) {
    writeScript(dir / "brew", "echo \"$3\"\necho noise >&2\n");
    const CommandRunner runner(tableFor(CommandTool::brew, {at(dir / "brew")}));
    std::vector<std::thread> threads;
    std::vector<int> mismatches(8, 0);
    for (int t = 0; t < 8; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < 10; ++i) {
                const std::string formula = "formula-" + std::to_string(t) + "-" + std::to_string(i);
                const auto result = runner.run(ReadOnlyCommand::brewUsesInstalled(formula));
                mismatches[t] += !(result.ok && result.output == formula);
            }
        });
    }
    for (auto& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(mismatches, std::vector<int>(8, 0));
}

TEST(RepairUtf8Test, KeepsValidTextAndReplacesEachInvalidSequence) {
    const std::string fffd = "\xEF\xBF\xBD";
    EXPECT_EQ(repairUtf8("plain"), "plain");
    EXPECT_EQ(repairUtf8("\xC3\xA9 \xE2\x82\xAC \xF0\x9D\x84\x9E"), "\xC3\xA9 \xE2\x82\xAC \xF0\x9D\x84\x9E");
    EXPECT_EQ(repairUtf8("a\x80z"), "a" + fffd + "z");                         // lone continuation
    EXPECT_EQ(repairUtf8("a\xE2\x82"), "a" + fffd);                           // cut short at the end
    EXPECT_EQ(repairUtf8("\xF0\x9F\x98" "A"), fffd + "A");                    // cut short before ASCII
    EXPECT_EQ(repairUtf8("\xC0\xAF"), fffd + fffd);                           // overlong "/"
    EXPECT_EQ(repairUtf8("\xE0\x80\xAF"), fffd + fffd + fffd);                // overlong, three bytes
    EXPECT_EQ(repairUtf8("\xED\xA0\x80"), fffd + fffd + fffd);                // surrogate U+D800
    EXPECT_EQ(repairUtf8("\xF4\x90\x80\x80"), fffd + fffd + fffd + fffd);     // above U+10FFFF
    EXPECT_EQ(repairUtf8("\xF5\xFF"), fffd + fffd);
    EXPECT_EQ(repairUtf8(std::string("a\0b", 3)), std::string("a\0b", 3));
}

TEST(TrimWhitespaceTest, RemovesWhiteSpaceAndLineBreaksAtBothEndsOnly) {
    EXPECT_EQ(trimWhitespace(" \t\r\n 1.2.3 \n"), "1.2.3");
    EXPECT_EQ(trimWhitespace("a b\n c"), "a b\n c");
    EXPECT_EQ(trimWhitespace("\xC2\xA0x\xE3\x80\x80"), "x"); // no-break and ideographic spaces
    EXPECT_EQ(trimWhitespace(" \n\t "), "");
    EXPECT_EQ(trimWhitespace(""), "");
}

} // namespace
} // namespace kelvo
