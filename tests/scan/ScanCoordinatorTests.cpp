#include "scan/MainQueue.h"
#include "scan/ScanCoordinator.h"
#include "support/TestSupport.h"
#include "system/DirectorySizer.h"

#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <chrono>
#include <memory>
#include <semaphore>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include <unistd.h>

namespace kelvo {
namespace {

using namespace std::chrono_literals;

constexpr auto patience = 30s; // only ever reached when a test fails

// A substitute adapter. Call n of scan() waits until gate n opens, then returns a report whose
// version is "<label>:<n>"; the labels "absent", "throws" and "throws 42" behave as they say.
class FakeAdapter : public ManagerAdapter {
public:
    FakeAdapter(ManagerKind kind, std::string label) : kind_(kind), label_(std::move(label)) {}

    ManagerKind kind() const override { return kind_; }
    bool isInstalled() const override { return label_ != "absent"; }

    ManagerReport scan(TallyScopes) const override {
        const int call = calls_.fetch_add(1);
        if (call < static_cast<int>(gates_.size())) {
            (void)gates_[static_cast<std::size_t>(call)].try_acquire_for(2 * patience);
        }
        returnedAt_.store(nowSeconds());
        if (label_ == "absent") return ManagerReport::notDetected(kind_);
        if (label_ == "throws") throw std::runtime_error("adapter failed");
        if (label_ == "throws 42") throw 42;
        return ManagerReport{kind_, true, label_ + ":" + std::to_string(call), {}, {}};
    }

    void open(int call = 0) { gates_.at(static_cast<std::size_t>(call)).release(); }
    void openAll() {
        for (auto& gate : gates_) gate.release();
    }
    bool waitStarted(int calls = 1) const {
        const auto deadline = std::chrono::steady_clock::now() + patience;
        while (calls_.load() < calls && std::chrono::steady_clock::now() < deadline) std::this_thread::sleep_for(1ms);
        return calls_.load() >= calls;
    }
    double returnedAt() const { return returnedAt_.load(); }

private:
    ManagerKind kind_;
    std::string label_;
    mutable std::array<std::counting_semaphore<>, 4> gates_{std::counting_semaphore<>{0}, std::counting_semaphore<>{0},
                                                            std::counting_semaphore<>{0}, std::counting_semaphore<>{0}};
    mutable std::atomic<int> calls_{0};
    mutable std::atomic<double> returnedAt_{0};
};

// Measures its paths into the scan's tally, as the real adapters do.
class MeasuringAdapter final : public ManagerAdapter {
public:
    MeasuringAdapter(ManagerKind kind, std::vector<std::string> paths) : kind_(kind), paths_(std::move(paths)) {}
    ManagerKind kind() const override { return kind_; }
    bool isInstalled() const override { return true; }
    ManagerReport scan(TallyScopes counted) const override {
        ManagerReport report{kind_, true, std::nullopt, {}, {}};
        for (const auto& path : paths_) {
            report.items.push_back(DependencyItem{Uuid::random(), path, {}, path,
                                                  FileManagerDirectorySizer().measure(path, counted), Tier::signalOnly,
                                                  {}, {}, {}});
        }
        report.onceCountedBytes = counted.tally->total(counted.scopes & ~DiskTally::wholeScan);
        return report;
    }

private:
    ManagerKind kind_;
    std::vector<std::string> paths_;
};

// What the observers saw, in order, on the main thread.
struct Recorder {
    std::string log;

    void attach(ScanCoordinator& c) {
        c.onIsScanningChanged = [this, &c] { log += c.isScanning() ? "scanning " : "idle "; };
        c.onResultChanged = [this, &c] { log += c.result() ? "result " : "cleared "; };
        c.onProgressChanged = [this, &c] { log += "progress" + std::to_string(c.finishedKinds().size()) + " "; };
    }
};

std::string versionsOf(const ScanResult& result) {
    std::string versions;
    for (const ManagerReport& report : result.managers) {
        versions += std::string(rawValue(report.kind)) + "=" + report.version.value_or("-") + " ";
    }
    return versions;
}

class ScanCoordinatorTest : public ::testing::Test {
protected:
    void TearDown() override {
        for (auto& adapter : made_) adapter->openAll(); // let workers of a failed test end
    }

    std::shared_ptr<FakeAdapter> adapter(ManagerKind kind, std::string label = "") {
        made_.push_back(std::make_shared<FakeAdapter>(kind, label.empty() ? std::string(rawValue(kind)) : label));
        return made_.back();
    }

    // The queue, counting the tasks that have run on the main thread.
    MainExecutor executor() {
        return [this, post = queue_.executor()](std::function<void()> task) {
            post([this, task = std::move(task)] {
                task();
                ++handled_;
            });
        };
    }
    bool drainUntil(const std::function<bool()>& done) { return queue_.runUntil(done, patience); }
    bool drainUntilHandled(int count) {
        return drainUntil([&] { return handled_ >= count; });
    }
    bool drainUntilResult(const ScanCoordinator& coordinator) {
        return drainUntil([&] { return coordinator.result().has_value(); });
    }

    MainQueue queue_;
    int handled_ = 0;
    std::vector<std::shared_ptr<FakeAdapter>> made_;
};

TEST_F(ScanCoordinatorTest, ConcurrentAdaptersGiveCaseOrderWhateverTheFinishingOrder) {
    // List order bun, nvm, homebrew, pnpm, npm; finishing orders chosen so each kind finishes first and last.
    const std::vector<ManagerKind> listOrder{ManagerKind::bun, ManagerKind::nvm, ManagerKind::homebrew,
                                             ManagerKind::pnpm, ManagerKind::npm};
    for (const std::vector<int>& finishing : std::vector<std::vector<int>>{
             {0, 1, 2, 3, 4}, {4, 3, 2, 1, 0}, {2, 4, 0, 3, 1}, {1, 3, 4, 0, 2}, {3, 0, 1, 2, 4}}) {
        SCOPED_TRACE(::testing::PrintToString(finishing));
        std::vector<std::shared_ptr<FakeAdapter>> adapters;
        for (ManagerKind kind : listOrder) adapters.push_back(adapter(kind));
        ScanCoordinator coordinator(AdapterList(adapters.begin(), adapters.end()), executor());
        Recorder recorder;
        recorder.attach(coordinator);
        coordinator.scan(); // returns at once; every adapter starts while none may return
        for (auto& started : adapters) ASSERT_TRUE(started->waitStarted());
        const int base = handled_;
        for (std::size_t step = 0; step < finishing.size(); ++step) {
            EXPECT_TRUE(coordinator.isScanning());
            adapters[static_cast<std::size_t>(finishing[step])]->open();
            ASSERT_TRUE(drainUntilHandled(base + static_cast<int>(step) + 1));
            EXPECT_EQ(coordinator.result().has_value(), step + 1 == finishing.size());
        }
        ASSERT_TRUE(coordinator.result());
        EXPECT_EQ(versionsOf(*coordinator.result()),
                  "homebrew=homebrew:0 npm=npm:0 pnpm=pnpm:0 nvm=nvm:0 bun=bun:0 ");
        EXPECT_EQ(recorder.log, "scanning cleared progress1 progress2 progress3 progress4 progress5 result idle ");
    }
}

TEST_F(ScanCoordinatorTest, ThrowingAdaptersCountAsNotDetectedAndMissingKindsAreAbsent) {
    ScanCoordinator coordinator({adapter(ManagerKind::bun, "throws 42"), adapter(ManagerKind::homebrew, "throws"),
                                 adapter(ManagerKind::npm), adapter(ManagerKind::pnpm, "absent")},
                                executor());
    for (auto& made : made_) made->open();
    coordinator.scan();
    ASSERT_TRUE(drainUntilResult(coordinator));
    const ScanResult& result = *coordinator.result();
    EXPECT_EQ(versionsOf(result), "homebrew=- npm=npm:0 pnpm=- bun=- ");
    for (const ManagerReport& report : result.managers) {
        EXPECT_EQ(report.detected, report.kind == ManagerKind::npm) << rawValue(report.kind);
    }
    EXPECT_FALSE(coordinator.isScanning());
}

TEST_F(ScanCoordinatorTest, TotalsCountEveryFileOnceAcrossAllReportsAsOneDuDoes) {
    test::TempDir dir;
    test::writeFile(dir / "a/big", std::string(1'000'000, 'a'));
    test::writeFile(dir / "a/sub/x", std::string(100'000, 'x'));
    test::makeDirs(dir / "b");
    ASSERT_EQ(::link((dir / "a/big").c_str(), (dir / "b/big").c_str()), 0);
    const AdapterList measuring{std::make_shared<MeasuringAdapter>(ManagerKind::npm, std::vector{dir / "a", dir / "a/sub"}),
                                std::make_shared<MeasuringAdapter>(ManagerKind::nvm, std::vector{dir / "b"})};
    ScanCoordinator coordinator(measuring, executor());
    coordinator.scan();
    ASSERT_TRUE(drainUntilResult(coordinator));
    const ScanResult& result = *coordinator.result();
    EXPECT_EQ(result.totalBytes(), test::duTotal({dir / "a", dir / "a/sub", dir / "b"}));
    EXPECT_EQ(result.managers.at(0).totalBytes(), test::duTotal({dir / "a", dir / "a/sub"}));
    EXPECT_EQ(result.managers.at(1).totalBytes(), test::duBytes(dir / "b"));

    // A report made without the tally keeps its own total (a sum, or one read from a file), and
    // the whole total is then the sum of the reports' totals.
    struct HandMade final : ManagerAdapter {
        std::optional<std::int64_t> total;
        explicit HandMade(std::optional<std::int64_t> t) : total(t) {}
        ManagerKind kind() const override { return ManagerKind::bun; }
        bool isInstalled() const override { return true; }
        ManagerReport scan(TallyScopes) const override {
            return {ManagerKind::bun, true, {}, {DependencyItem{Uuid::random(), "x", {}, {}, 5, Tier::signalOnly, {}, {}, {}}},
                    {}, total};
        }
    };
    for (const std::optional<std::int64_t> total : {std::optional<std::int64_t>(), std::optional<std::int64_t>(3)}) {
        ScanCoordinator mixed({measuring[0], std::make_shared<HandMade>(total)}, executor());
        mixed.scan();
        ASSERT_TRUE(drainUntilResult(mixed));
        EXPECT_EQ(mixed.result()->totalBytes(), *test::duTotal({dir / "a", dir / "a/sub"}) + total.value_or(5));
    }
}

TEST_F(ScanCoordinatorTest, NoAdaptersStillEndTheScan) {
    ScanCoordinator coordinator({}, executor());
    coordinator.scan();
    EXPECT_TRUE(coordinator.isScanning());
    ASSERT_TRUE(drainUntilResult(coordinator));
    EXPECT_TRUE(coordinator.result()->managers.empty());
    EXPECT_FALSE(coordinator.isScanning());
}

TEST_F(ScanCoordinatorTest, TwoAdaptersOfOneKindKeepTheFirstFinisher) {
    // B finishes first: neither the first listed (A) nor the last finisher (C) may win.
    auto a = adapter(ManagerKind::npm, "A");
    auto b = adapter(ManagerKind::npm, "B");
    auto c = adapter(ManagerKind::npm, "C");
    ScanCoordinator coordinator({a, b, c}, executor());
    coordinator.scan();
    for (int step = 1; auto& next : {b, a, c}) {
        next->open();
        ASSERT_TRUE(drainUntilHandled(step++));
    }
    ASSERT_TRUE(coordinator.result());
    EXPECT_EQ(versionsOf(*coordinator.result()), "npm=B:0 ");
}

TEST_F(ScanCoordinatorTest, ScannedAtIsTakenAfterTheSlowestAdapter) {
    auto fast = adapter(ManagerKind::npm);
    auto slow = adapter(ManagerKind::homebrew);
    ScanCoordinator coordinator({slow, fast}, executor());
    coordinator.scan();
    fast->open();
    ASSERT_TRUE(drainUntilHandled(1));
    std::this_thread::sleep_for(20ms);
    slow->open();
    ASSERT_TRUE(drainUntilResult(coordinator));
    EXPECT_GT(slow->returnedAt(), fast->returnedAt() + 0.015);
    EXPECT_GE(coordinator.result()->scannedAt, slow->returnedAt());
}

TEST_F(ScanCoordinatorTest, RescanClearsResultAndProgressAtOnce) {
    auto brew = adapter(ManagerKind::homebrew);
    auto pnpm = adapter(ManagerKind::pnpm);
    ScanCoordinator coordinator({brew, pnpm}, executor());
    coordinator.scan();
    brew->open();
    pnpm->open();
    ASSERT_TRUE(drainUntilResult(coordinator));
    Recorder recorder;
    recorder.attach(coordinator);
    coordinator.scan();
    EXPECT_FALSE(coordinator.result());
    EXPECT_TRUE(coordinator.finishedKinds().empty());
    brew->open(1);
    ASSERT_TRUE(drainUntilHandled(3));
    EXPECT_EQ(coordinator.finishedKinds(), std::set<ManagerKind>{ManagerKind::homebrew});
    pnpm->open(1);
    ASSERT_TRUE(drainUntilResult(coordinator));
    EXPECT_EQ(versionsOf(*coordinator.result()), "homebrew=homebrew:1 pnpm=pnpm:1 ");
    EXPECT_EQ(recorder.log, "scanning cleared progress0 progress1 progress2 result idle ");
}

class OverlappingScans : public ScanCoordinatorTest, public ::testing::WithParamInterface<bool> {};

TEST_P(OverlappingScans, EachRunPublishesAndTheLaterFinisherIsLast) {
    const bool olderFinishesFirst = GetParam();
    auto npm = adapter(ManagerKind::npm);
    ScanCoordinator coordinator({npm}, executor());
    Recorder recorder;
    recorder.attach(coordinator);
    coordinator.scan();
    ASSERT_TRUE(npm->waitStarted(1)); // call 0 belongs to the older run
    coordinator.scan();
    ASSERT_TRUE(npm->waitStarted(2)); // call 1 to the newer run

    const int first = olderFinishesFirst ? 0 : 1;
    npm->open(first);
    ASSERT_TRUE(drainUntilHandled(1));
    ASSERT_TRUE(coordinator.result());
    EXPECT_EQ(versionsOf(*coordinator.result()), "npm=npm:" + std::to_string(first) + " ");
    npm->open(1 - first);
    ASSERT_TRUE(drainUntilHandled(2));
    EXPECT_EQ(versionsOf(*coordinator.result()), "npm=npm:" + std::to_string(1 - first) + " ");
    EXPECT_FALSE(coordinator.isScanning());
    // Progress is the newest run's; isScanning is told only of real changes, result of every assignment.
    EXPECT_EQ(recorder.log, olderFinishesFirst ? "scanning cleared cleared result idle progress1 result "
                                               : "scanning cleared cleared progress1 result idle result ");
}

INSTANTIATE_TEST_SUITE_P(ScanCoordinatorTest, OverlappingScans, ::testing::Bool());

TEST_F(ScanCoordinatorTest, DestroyingTheCoordinatorMidRunIsSafe) {
    auto nvm = std::make_shared<FakeAdapter>(ManagerKind::nvm, "nvm");
    std::weak_ptr<FakeAdapter> released = nvm;
    Recorder recorder;
    {
        ScanCoordinator coordinator(AdapterList{adapter(ManagerKind::npm), nvm}, executor());
        recorder.attach(coordinator);
        coordinator.scan();
        ASSERT_TRUE(nvm->waitStarted());
        made_.back()->open();
        ASSERT_TRUE(drainUntilHandled(1));
    }
    nvm->open();
    nvm.reset();
    ASSERT_TRUE(drainUntilHandled(2)); // the late post arrives and does nothing
    EXPECT_EQ(recorder.log, "scanning cleared progress1 ");
    EXPECT_TRUE(released.expired()); // the worker let go of its adapter before posting
}

TEST(MainQueue, RunsPostsInOrderOnTheCallingThreadAndOutlivesItsExecutors) {
    std::vector<std::thread::id> ran;
    MainExecutor executor;
    {
        MainQueue queue;
        EXPECT_TRUE(queue.runUntil([] { return true; }, std::chrono::steady_clock::duration::max()));
        std::thread poster([&, post = queue.executor()] {
            std::this_thread::sleep_for(5ms); // runUntil must wait, not give up
            for (int i = 0; i < 3; ++i) post([&ran] { ran.push_back(std::this_thread::get_id()); });
        });
        EXPECT_TRUE(queue.runUntil([&] { return ran.size() == 3; }, patience));
        poster.join();
        EXPECT_FALSE(queue.runUntil([] { return false; }, 10ms));
        executor = queue.executor();
    }
    for (auto id : ran) EXPECT_EQ(id, std::this_thread::get_id());
    executor([&ran] { ran.clear(); }); // the queue is gone: dropped, not run, no crash
    EXPECT_EQ(ran.size(), 3u);
}

} // namespace
} // namespace kelvo
