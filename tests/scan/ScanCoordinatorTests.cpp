#include "scan/MainQueue.h"
#include "support/TestSupport.h"
#include "system/DirectorySizer.h"

#include <gtest/gtest.h>

#include <atomic>
#include <map>
#include <thread>

#include <unistd.h>

namespace kelvo {
namespace {

using namespace std::chrono_literals;

constexpr auto patience = 30s; // only ever reached when a test fails

bool eventually(const std::function<bool()>& done) {
    const auto deadline = std::chrono::steady_clock::now() + patience;
    while (!done() && std::chrono::steady_clock::now() < deadline) std::this_thread::sleep_for(1ms);
    return done();
}

// A stand-in adapter. Call n of scan() waits until gate n opens, then measures `paths` into the
// scan's tally as the real adapters do and returns a report whose version is "<label>:<n>". The
// label "throws" throws a non-standard exception; "by hand" reports one item of 5 bytes without the
// tally, "from a file" the same with a total of its own; "measures, then throws" throws once measured;
// "measures first" measures before it waits in its first call.
struct FakeAdapter final : ManagerAdapter {
    FakeAdapter(ManagerKind kind, std::string label, std::vector<std::string> paths = {})
        : managerKind(kind), label(std::move(label)), paths(std::move(paths)) {}
    ManagerKind kind() const override { return managerKind; }
    bool isInstalled() const override { return true; }
    ManagerReport scan(TallyScopes counted) const override {
        const DiskTally::Scopes own = scope = counted.scopes & ~DiskTally::wholeScan;
        const int call = calls.fetch_add(1);
        const bool measuredFirst = label == "measures first" && call == 0;
        if (measuredFirst)
            for (const auto& path : paths) FileManagerDirectorySizer().measure(path, counted);
        eventually([&] { return (opened.load() >> call & 1) != 0; });
        returnedAt.store(nowSeconds());
        if (label == "throws") throw 42;
        ManagerReport report{managerKind, true, label + ":" + std::to_string(call), {}, {}};
        if (label == "by hand" || label == "from a file")
            report.items.push_back({Uuid::random(), "x", {}, {}, 5, Tier::signalOnly, {}, {}, {}});
        if (label == "from a file") report.onceCountedBytes = 3;
        if (label == "pins") report.pins = {{".nvmrc", "/w/a", "20"}, {".nvmrc", "/w/b", "18"}};
        if (paths.empty() || measuredFirst) return report;
        for (const auto& path : paths) {
            const auto bytes = FileManagerDirectorySizer().measure(path, counted);
            report.items.push_back({Uuid::random(), path, {}, path, bytes, Tier::signalOnly, {}, {}, {}});
        }
        if (label == "measures, then throws") throw std::runtime_error("late");
        report.onceCountedBytes = counted.tally->total(own);
        return report;
    }
    std::string progressNote() const override { return label == "notes" ? "searching ~/src" : ""; }
    // "pins" reports a pin from its scan; every other adapter adds to its version what it was shown,
    // and "throws on pins" throws midway.
    void keepPinned(ManagerReport& report, const std::vector<ProjectPin>& pins) const override {
        for (const ProjectPin& pin : pins) {
            report.version = report.version.value_or("") + " kept " + pin.text;
            if (label == "throws on pins") throw 42;
        }
    }
    void open(int call = 0) { opened |= 1u << call; }
    bool waitStarted(int count = 1) const {
        return eventually([&] { return calls.load() >= count; });
    }

    ManagerKind managerKind;
    std::string label;
    std::vector<std::string> paths;
    std::atomic<unsigned> opened{0};
    mutable std::atomic<int> calls{0};
    mutable std::atomic<DiskTally::Scopes> scope{0};
    mutable std::atomic<double> returnedAt{0};
};

std::string versionsOf(const ScanCoordinator& c) { // "kind=version" per report, "kind=-" for one not detected
    std::string versions;
    for (const ManagerReport& r : c.result().value_or(ScanResult{}).managers)
        versions += std::string(rawValue(r.kind)) + "=" + (r.detected ? r.version.value_or("?") : "-") + " ";
    return versions;
}

class ScanCoordinatorTest : public ::testing::Test {
protected:
    std::shared_ptr<FakeAdapter> adapter(
        ManagerKind kind, std::string label = "", std::vector<std::string> paths = {}) {
        if (label.empty()) label = rawValue(kind);
        return made_.emplace_back(std::make_shared<FakeAdapter>(kind, std::move(label), std::move(paths)));
    }
    MainExecutor executor() { // the queue, counting the tasks that have run on the main thread
        return [this, post = queue_.executor()](auto task) {
            post([this, task] {
                task();
                ++handled_;
            });
        };
    }
    bool drainUntilHandled(int count) {
        return queue_.runUntil([&] { return handled_ >= count; }, patience);
    }
    void openInTurn(const std::vector<std::shared_ptr<FakeAdapter>>& adapters) {
        for (const auto& next : adapters) {
            next->open();
            ASSERT_TRUE(drainUntilHandled(handled_ + 1));
        }
    }
    void record(ScanCoordinator& c) { // what the observers see from now, in order, goes to log_
        log_.clear();
        c.onIsScanningChanged = [this, &c] { log_ += c.isScanning() ? "scanning " : "idle "; };
        c.onResultChanged = [this, &c] { log_ += c.result() ? "result " : "cleared "; };
        c.onProgressChanged = [this, &c] { log_ += "progress" + std::to_string(c.finishedKinds().size()) + " "; };
    }
    ScanResult scanOpen(AdapterList adapters) { // one run whose adapters return at once
        for (auto& made : made_) made->opened = ~0u;
        ScanCoordinator coordinator(std::move(adapters), executor());
        coordinator.scan();
        EXPECT_TRUE(queue_.runUntil([&] { return coordinator.result().has_value(); }, patience));
        return coordinator.result().value_or(ScanResult{});
    }

    MainQueue queue_;
    int handled_ = 0;
    std::string log_;
    std::vector<std::shared_ptr<FakeAdapter>> made_;
};

TEST_F(ScanCoordinatorTest, KindOrderWhateverTheFinishingOrderFirstOfAKindWinsTakenAfterTheSlowest) {
    // Kinds 0-4 finish in orders where each is first once and last once; of the npm adapters B (5)
    // returns first and C (6) last, so that neither the first listed nor the last finisher may win.
    for (const std::string finishing : {"5012346", "5432106", "5240316", "5134026", "5301246"}) {
        SCOPED_TRACE(finishing);
        const std::vector<std::shared_ptr<FakeAdapter>> adapters{adapter(ManagerKind::bun, "throws"),
            adapter(ManagerKind::nvm), adapter(ManagerKind::homebrew), adapter(ManagerKind::pnpm),
            adapter(ManagerKind::npm), adapter(ManagerKind::npm, "B"), adapter(ManagerKind::npm, "C")};
        ScanCoordinator coordinator(AdapterList(adapters.begin(), adapters.end()), executor());
        record(coordinator);
        coordinator.scan(); // returns at once; the adapters run side by side
        for (const char next : finishing) openInTurn({adapters.at(static_cast<std::size_t>(next - '0'))});
        EXPECT_EQ(versionsOf(coordinator), "homebrew=homebrew:0 npm=B:0 pnpm=pnpm:0 nvm=nvm:0 bun=- ");
        EXPECT_GE(coordinator.result()->scannedAt, adapters[6]->returnedAt.load());
        EXPECT_EQ(log_, "scanning cleared progress1 progress2 progress3 progress4 progress5 result idle ");
    }
}

TEST_F(ScanCoordinatorTest, TotalsCountEveryFileOnceAcrossAllReportsAsOneDuDoes) {
    test::TempDir dir;
    test::writeFile(dir / "a/big", std::string(1'000'000, 'a'));
    test::writeFile(dir / "c/other", std::string(300'000, 'c'));
    test::makeDirs(dir / "b");
    ASSERT_EQ(::link((dir / "a/big").c_str(), (dir / "b/big").c_str()), 0);
    const auto npm = adapter(ManagerKind::npm, "", {dir / "a"}), nvm = adapter(ManagerKind::nvm, "", {dir / "b"});
    ScanCoordinator coordinator({npm, nvm}, executor());
    coordinator.scan();
    ASSERT_TRUE(npm->waitStarted() && nvm->waitStarted());
    // The owner of the first scope opened returns last: its scope must be its own, not the whole scan's.
    openInTurn(npm->scope < nvm->scope ? std::vector{nvm, npm} : std::vector{npm, nvm});
    const ScanResult both = coordinator.result().value_or(ScanResult{});
    EXPECT_EQ(both.totalBytes(), test::duTotal({dir / "a", dir / "b"}));
    EXPECT_EQ(both.managers.at(0).totalBytes(), test::duBytes(dir / "a"));
    EXPECT_EQ(both.managers.at(1).totalBytes(), test::duBytes(dir / "b"));
    // Any choice of managers counts each file once too: the window's headline with some left out.
    const ScanResult three = scanOpen({npm, nvm, adapter(ManagerKind::bun, "", {dir / "c", dir / "a"})});
    EXPECT_EQ(three.totalBytes({ManagerKind::npm, ManagerKind::bun}), test::duTotal({dir / "a", dir / "c"}));
    EXPECT_EQ(three.totalBytes({ManagerKind::nvm, ManagerKind::bun}), test::duTotal({dir / "b", dir / "c", dir / "a"}));
    EXPECT_EQ(three.totalBytes({ManagerKind::nvm, ManagerKind::homebrew}), test::duBytes(dir / "b"));

    // The whole total is the sum of the reports when one was made without the tally, or when a
    // second report of a kind was dropped (the tally holds its files too). An adapter that measured
    // and then failed shows nothing; neither does the total. With no adapters the scan still ends.
    const std::int64_t a = *test::duBytes(dir / "a");
    const std::pair<AdapterList, std::int64_t> runs[] = {{{npm, adapter(ManagerKind::bun, "by hand")}, a + 5},
        {{npm, adapter(ManagerKind::bun, "from a file")}, a + 3},
        {{npm, adapter(ManagerKind::bun, "measures, then throws", {dir / "c"})}, a}};
    for (const auto& [adapters, total] : runs) EXPECT_EQ(scanOpen(adapters).totalBytes(), total);
    const ScanResult twice = scanOpen({npm, adapter(ManagerKind::npm, "", {dir / "c"})});
    ASSERT_EQ(twice.managers.size(), 1u);
    EXPECT_EQ(twice.totalBytes(), twice.managers[0].totalBytes()); // whichever finished first
    EXPECT_EQ(scanOpen(runs[0].first).totalBytes({ManagerKind::bun, ManagerKind::pnpm}), 5);
    EXPECT_TRUE(scanOpen({}).managers.empty());
}

TEST_F(ScanCoordinatorTest, EveryAdapterIsShownThePinsOfEveryReportBeforeTheResult) {
    ScanCoordinator coordinator({adapter(ManagerKind::nvm), adapter(ManagerKind::projects, "pins"),
                                    adapter(ManagerKind::bun, "throws on pins")},
        executor());
    record(coordinator);
    coordinator.scan();
    openInTurn(made_);
    ASSERT_TRUE(queue_.runUntil([&] { return coordinator.result().has_value(); }, patience));
    EXPECT_EQ(versionsOf(coordinator),
        "nvm=nvm:0 kept 20 kept 18 bun=throws on pins:0 kept 20 projects=pins:0 kept 20 kept 18 ");
    EXPECT_EQ(log_, "scanning cleared progress1 progress2 progress3 result idle ");
}

TEST_F(ScanCoordinatorTest, LiveCountsAreTheNewestRunsAndEndWithTheScan) {
    test::TempDir dir;
    test::writeFile(dir / "a/one", std::string(70'000, 'a'));
    test::writeFile(dir / "a/b/two", std::string(9'000, 'b'));
    auto counting = adapter(ManagerKind::pnpm, "measures first", {dir / "a"});
    auto waiting = adapter(ManagerKind::bun, "notes");
    ScanCoordinator c({counting, waiting}, executor());
    using Counts = std::map<ManagerKind, ScanCoordinator::LiveCount>;
    EXPECT_EQ(c.liveCounts(), Counts{});
    c.scan();
    // The adapter's own words ride along: what it searches before it measures anything.
    const Counts measured{
        {ManagerKind::pnpm, {2, *test::duBytes(dir / "a")}}, {ManagerKind::bun, {0, 0, "searching ~/src"}}};
    EXPECT_TRUE(eventually([&] { return c.liveCounts() == measured; }));

    c.scan(); // a second run, whose pnpm waits before it measures: the first run's counts are gone
    const Counts fresh{{ManagerKind::pnpm, {}}, {ManagerKind::bun, {0, 0, "searching ~/src"}}};
    EXPECT_EQ(c.liveCounts(), fresh);
    counting->open(1);
    EXPECT_TRUE(eventually([&] { return c.liveCounts() == measured; }));
    counting->open(0);
    waiting->opened = ~0u;
    ASSERT_TRUE(queue_.runUntil([&] { return !c.isScanning(); }, patience));
    EXPECT_EQ(c.liveCounts(), Counts{}) << "nothing once the scan has ended";
}

TEST_F(ScanCoordinatorTest, EachRunPublishesTheLaterLastAndOneOutlivingTheCoordinatorDoesNothing) {
    auto npm = std::make_shared<FakeAdapter>(ManagerKind::npm, "npm");
    const std::weak_ptr<FakeAdapter> released = npm;
    auto coordinator = std::make_unique<ScanCoordinator>(AdapterList{npm}, executor());
    coordinator->scan();
    npm->open(0);
    ASSERT_TRUE(drainUntilHandled(1));
    record(*coordinator);
    for (int call = 1; call <= 3; ++call) {
        coordinator->scan();
        ASSERT_TRUE(npm->waitStarted(call + 1));
    }
    for (const int call : {2, 1}) {
        npm->open(call);
        ASSERT_TRUE(drainUntilHandled(handled_ + 1));
        EXPECT_EQ(versionsOf(*coordinator), "npm=npm:" + std::to_string(call) + " ");
    }
    coordinator.reset(); // while call 3 runs
    npm->open(3);
    npm.reset();
    ASSERT_TRUE(drainUntilHandled(handled_ + 1)); // the late post arrives and does nothing
    EXPECT_TRUE(released.expired());              // the worker let go of its adapter before posting
    // isScanning is told only of real changes, result of every assignment, progress of the newest run only.
    EXPECT_EQ(log_, "scanning cleared progress0 cleared cleared result idle result ");
}

// Workers may post after the front end has gone: the post is dropped, never run on freed memory.
TEST(MainQueue, PostsOutlivingTheQueueAreDropped) {
    auto queue = std::make_unique<MainQueue>();
    const MainExecutor post = queue->executor();
    queue.reset();
    bool ran = false;
    post([&] { ran = true; });
    EXPECT_FALSE(ran);
}

} // namespace
} // namespace kelvo
