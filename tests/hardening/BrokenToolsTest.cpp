// Tools that misbehave in every way a process can: the runner must come back within its limit,
// keep at most its output limit, leave no child behind, and the scan must still build every report.

#include "hardening/HostileHome.h"

#include "adapters/BunAdapter.h"
#include "adapters/Substitutes.h"
#include "model/Utf8.h"
#include "system/CommandRunner.h"

#include <gtest/gtest.h>

#include <csignal>
#include <fstream>
#include <iostream>

#include <sys/stat.h>
#include <unistd.h>

namespace kelvo {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using Kind = CommandError::Kind;

constexpr auto limit = 400ms;

struct BrokenTool {
    const char* name;
    std::string body;                  // script after the call log; empty: not a script (see setUp)
    std::optional<Kind> expected;      // absent: success
};

// Installs the broken tool as every one of the four tools.
void install(test::FakeTools& tools, const BrokenTool& broken) {
    for (const std::string tool : {"brew", "npm", "pnpm", "bun"}) {
        const std::string path = tools.path(tool);
        const std::string name = broken.name;
        if (name == "directory" || name == "dangling link" || name == "not a program") {
            ::unlink(path.c_str());
            ::rmdir(path.c_str());
            if (name == "directory") {
                test::makeDirs(path);
            } else if (name == "dangling link") {
                ASSERT_EQ(::symlink("/nonexistent/tool", path.c_str()), 0);
            } else {
                test::writeFile(path, std::string("\x7F" "ELF\x02\x01\x01 garbage", 15));
                ASSERT_EQ(::chmod(path.c_str(), 0755), 0);
            }
        } else {
            ::rmdir(path.c_str());
            ::unlink(path.c_str());
            tools.replace(tool, broken.body);
        }
    }
}

std::vector<BrokenTool> brokenTools(const test::FakeTools& tools) {
    const std::string escaped = tools.directory() + "/escaped.pid";
    return {
        {"hangs", "exec sleep 1000\n", Kind::timedOut},
        {"prints 200 MiB", "yes 0123456789abcdef0123456789abcde | head -c 209715200\n", std::nullopt},
        {"prints forever", "exec yes\n", Kind::timedOut},
        {"closes its output and keeps running", "exec >&- 2>&-\nexec sleep 1000\n", Kind::timedOut},
        {"leaves a child holding the pipes", "sleep 1000 &\necho 1.2.3\n", std::nullopt},
        {"leaves a child in a session of its own", "setsid sleep 1000 &\necho $! >> '" + escaped + "'\necho 1.2.3\n",
         std::nullopt},
        {"exits by a signal", "kill -SEGV $$\n", Kind::failed},
        {"stops itself", "kill -STOP $$\necho never\n", Kind::timedOut},
        {"reads standard input", "cat\necho 1.0.0\n", std::nullopt},
        {"floods standard error and fails", "yes error | head -c 209715200 >&2\nexit 1\n", Kind::failed},
        {"prints invalid UTF-8 and NULs", "printf '\\377\\376 1.\\000\\0002\\033[2J\\342\\200\\256\\n'\n", std::nullopt},
        {"directory", "", Kind::toolNotFound},
        {"dangling link", "", Kind::toolNotFound},
        {"not a program", "", Kind::launchFailed},
    };
}

void killEscaped(const test::FakeTools& tools) {
    std::ifstream pids(tools.directory() + "/escaped.pid");
    pid_t pid = 0;
    while (pids >> pid) {
        if (pid > 0) {
            ::kill(pid, SIGKILL);
        }
    }
}

TEST(BrokenTools, TheRunnerComesBackWithinItsLimitWithAnErrorOrBoundedOutput) {
    test::FakeTools tools;
    constexpr std::size_t outputLimit = 1 << 20;
    const CommandRunner runner(tools.candidates(), limit, outputLimit);
    // Reading 200 MiB through a pipe may take longer than the short limit on a busy machine.
    const CommandRunner patientRunner(tools.candidates(), 60s, outputLimit);
    const int descriptorsBefore = test::openDescriptorCount();
    for (const auto& broken : brokenTools(tools)) {
        SCOPED_TRACE(broken.name);
        install(tools, broken);
        const bool floods = std::string(broken.name).find("200 MiB") != std::string::npos ||
                            std::string(broken.name).starts_with("floods");
        const auto start = Clock::now();
        const CommandResult result = (floods ? patientRunner : runner).run(ReadOnlyCommand::npmVersion());
        const auto took = Clock::now() - start;
        // The limit plus the grace for descendants, plus slack for a loaded machine.
        EXPECT_LT(took, (floods ? 60s : limit) + 3s);
        if (broken.expected) {
            ASSERT_FALSE(result.ok);
            EXPECT_EQ(result.error.kind, *broken.expected);
            EXPECT_LE(result.error.stderrText.size(), outputLimit);
        } else {
            ASSERT_TRUE(result.ok) << static_cast<int>(result.error.kind);
            EXPECT_LE(result.output.size(), outputLimit);
            EXPECT_EQ(repairUtf8(result.output), result.output);
        }
        if (std::string(broken.name) == "exits by a signal") {
            EXPECT_EQ(result.error.status, 128 + SIGSEGV);
        }
        if (std::string(broken.name).starts_with("leaves a child")) {
            EXPECT_EQ(result.output, "1.2.3");
        }
        EXPECT_EQ(test::zombieChildCount(), 0);
    }
    killEscaped(tools);
    EXPECT_EQ(test::openDescriptorCount(), descriptorsBefore);
}

TEST(BrokenTools, EveryScanFinishesAndBuildsEveryReportWhateverTheToolsDo) {
    test::HostileHome home(false);
    test::FakeTools tools;
    tools.answerFor(home);
    auto runner = std::make_shared<CommandRunner>(tools.candidates(), limit, 1 << 20);
    const test::Adapters adapters = test::hostileAdapters(runner, home.home());
    int tried = 0;
    for (const auto& broken : brokenTools(tools)) {
        SCOPED_TRACE(broken.name);
        install(tools, broken);
        const auto start = Clock::now();
        const ScanResult result = test::scanAll(adapters);
        const auto took = Clock::now() - start;
        // Adapters run side by side; none runs more than four commands in a row, each bounded.
        EXPECT_LT(took, 4 * (limit + 300ms) + 5s);
        ASSERT_EQ(result.managers.size(), 5u);
        for (std::size_t i = 0; i < allManagerKinds.size(); ++i) {
            EXPECT_EQ(result.managers[i].kind, allManagerKinds[i]);
        }
        // nvm runs no tool; bun and pnpm are found from their directories whatever their tool does.
        EXPECT_TRUE(result.managers[3].detected);
        EXPECT_TRUE(result.managers[4].detected);
        EXPECT_TRUE(result.managers[2].detected);
        ++tried;
    }
    killEscaped(tools);
    std::cout << "[ BROKEN TOOLS ] " << tried << " kinds, each as all four tools\n";
    EXPECT_EQ(test::zombieChildCount(), 0);
}

// Each adapter stops at its first failing command, so a hung tool costs one time limit per
// adapter. bun asks for its version twice; after a time-out it must not wait a second time.
TEST(BrokenTools, AHungBunIsWaitedForOnce) {
    test::TempDir home;
    test::makeDirs(home / ".bun/install/global/node_modules/a");
    auto runner = std::make_shared<test::FakeRunner>();
    runner->on(ReadOnlyCommand::Case::bunVersion, test::failed(Kind::timedOut));
    const ManagerReport report = BunAdapter(runner, std::make_shared<test::FakeSizer>(),
                                            std::make_shared<test::FakeProber>(), {}, home.path())
                                     .scan();
    EXPECT_TRUE(report.detected) << "found from its directory";
    EXPECT_EQ(test::itemNames(report), std::vector<std::string>{"a"});
    EXPECT_EQ(runner->callKinds().size(), 1u);

    auto failing = std::make_shared<test::FakeRunner>();
    failing->on(ReadOnlyCommand::Case::bunVersion, test::failed(Kind::failed));
    BunAdapter(failing, std::make_shared<test::FakeSizer>(), std::make_shared<test::FakeProber>(), {}, home.path()).scan();
    EXPECT_EQ(failing->callKinds().size(), 2u) << "other failures are asked again, as before";
}

TEST(BrokenTools, A200MiBToolGrowsMemoryByNoMoreThanTheOutputLimit) {
    test::FakeTools tools;
    constexpr std::size_t outputLimit = 8 << 20;
    const CommandRunner runner(tools.candidates(), 60s, outputLimit);
    install(tools, {"prints 200 MiB", "yes 0123456789abcdef0123456789abcde | head -c 209715200\n", std::nullopt});
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    GTEST_SKIP() << "sanitizers keep freed memory in quarantine; resident size says nothing here";
#endif
    if (!test::resetPeakResident()) {
        GTEST_SKIP() << "the peak resident size cannot be reset on this system";
    }
    const long before = test::peakResidentKiB();
    const CommandResult result = runner.run(ReadOnlyCommand::npmListGlobalJSON());
    const long grown = test::peakResidentKiB() - before;
    ASSERT_TRUE(result.ok);
    EXPECT_GE(result.output.size(), outputLimit - 1) << "only the final line feed is trimmed";
    EXPECT_LE(result.output.size(), outputLimit);
    // Transiently up to four copies' worth of what was kept: the buffer (which may double while
    // growing), its repaired and its trimmed copy; never anything near the 200 MiB printed.
    EXPECT_LT(grown, static_cast<long>(4 * outputLimit / 1024) + 8 * 1024) << grown << " KiB";
    std::cout << "[ MEMORY ] 200 MiB of output, limit " << outputLimit / 1024 << " KiB, peak grew by " << grown
              << " KiB\n";
}

} // namespace
} // namespace kelvo
