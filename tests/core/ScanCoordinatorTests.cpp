#include "core/MainQueue.h"
#include "core/ScanCoordinator.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace kelvo {
namespace {

using namespace std::chrono_literals;

constexpr auto patience = 30s; // only ever reached when a test fails

// A one-shot gate a worker thread waits at until the test opens it.
class Gate {
public:
    void open() {
        {
            std::lock_guard lock(mutex_);
            open_ = true;
        }
        ready_.notify_all();
    }
    void wait() {
        std::unique_lock lock(mutex_);
        ready_.wait_for(lock, 2 * patience, [this] { return open_; });
    }

private:
    std::mutex mutex_;
    std::condition_variable ready_;
    bool open_ = false;
};

// A counter the test can wait on from another thread.
class Counter {
public:
    void increment() {
        {
            std::lock_guard lock(mutex_);
            ++value_;
        }
        changed_.notify_all();
    }
    bool waitFor(int atLeast) {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, patience, [&] { return value_ >= atLeast; });
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    int value_ = 0;
};

// A substitute adapter. Call n of scan() waits at gate n (when gated), then returns a report
// whose version is "<label>:<n>", or behaves as asked.
class FakeAdapter : public ManagerAdapter {
public:
    enum class Behaviour { detected, notDetected, throwsException, throwsOther };

    FakeAdapter(ManagerKind kind, std::string label, bool gated, Behaviour behaviour = Behaviour::detected,
                std::chrono::milliseconds delay = 0ms)
        : kind_(kind), label_(std::move(label)), gated_(gated), behaviour_(behaviour), delay_(delay) {}

    ManagerKind kind() const override { return kind_; }
    bool isInstalled() const override { return behaviour_ == Behaviour::detected; }

    ManagerReport scan() const override {
        const int call = calls_.fetch_add(1);
        started_.increment();
        if (gated_ && call < static_cast<int>(gates_.size())) {
            gates_[static_cast<std::size_t>(call)].wait();
        }
        if (delay_ > 0ms) {
            std::this_thread::sleep_for(delay_);
        }
        returnedAt_.store(nowSeconds());
        switch (behaviour_) {
        case Behaviour::detected: break;
        case Behaviour::notDetected: return ManagerReport::notDetected(kind_);
        case Behaviour::throwsException: throw std::runtime_error("adapter failed");
        case Behaviour::throwsOther: throw 42;
        }
        return ManagerReport{kind_, true, label_ + ":" + std::to_string(call), {}, {}};
    }

    void open(int call = 0) { gates_.at(static_cast<std::size_t>(call)).open(); }
    void openAll() {
        for (Gate& gate : gates_) {
            gate.open();
        }
    }
    bool waitStarted(int calls = 1) { return started_.waitFor(calls); }
    double returnedAt() const { return returnedAt_.load(); }

private:
    ManagerKind kind_;
    std::string label_;
    bool gated_;
    Behaviour behaviour_;
    std::chrono::milliseconds delay_;
    mutable std::array<Gate, 4> gates_;
    mutable std::atomic<int> calls_{0};
    mutable Counter started_;
    mutable std::atomic<double> returnedAt_{0};
};

using Behaviour = FakeAdapter::Behaviour;

// What the observers saw, on the main thread.
struct Recorder {
    std::vector<bool> scanning; // isScanning after each isScanning notification
    int resultNotifications = 0;
    std::vector<bool> resultPresent; // result present at each result notification
    int progressNotifications = 0;

    void attach(ScanCoordinator& coordinator) {
        coordinator.onIsScanningChanged = [this, &coordinator] { scanning.push_back(coordinator.isScanning()); };
        coordinator.onResultChanged = [this, &coordinator] {
            ++resultNotifications;
            resultPresent.push_back(coordinator.result().has_value());
        };
        coordinator.onProgressChanged = [this] { ++progressNotifications; };
    }
};

std::vector<ManagerKind> kindsOf(const ScanResult& result) {
    std::vector<ManagerKind> kinds;
    for (const ManagerReport& report : result.managers) {
        kinds.push_back(report.kind);
    }
    return kinds;
}

std::vector<std::string> versionsOf(const ScanResult& result) {
    std::vector<std::string> versions;
    for (const ManagerReport& report : result.managers) {
        versions.push_back(report.version.value_or("-"));
    }
    return versions;
}

const std::vector<ManagerKind> caseOrder{ManagerKind::homebrew, ManagerKind::npm, ManagerKind::pnpm, ManagerKind::nvm,
                                         ManagerKind::bun};

class ScanCoordinatorTest : public ::testing::Test {
protected:
    void TearDown() override {
        // Let any worker a failed test left waiting run to its end.
        for (auto& adapter : made_) {
            adapter->openAll();
        }
    }

    std::shared_ptr<FakeAdapter> adapter(ManagerKind kind, std::string label, bool gated = true,
                                         Behaviour behaviour = Behaviour::detected,
                                         std::chrono::milliseconds delay = 0ms) {
        auto made = std::make_shared<FakeAdapter>(kind, std::move(label), gated, behaviour, delay);
        made_.push_back(made);
        return made;
    }

    // The main executor: the queue, counting the tasks that have run on the main thread.
    MainExecutor executor() {
        return [this, post = queue_.executor()](std::function<void()> task) {
            post([this, task = std::move(task)] {
                task();
                ++handled_;
            });
        };
    }

    // Runs main-thread tasks until `done` holds.
    bool drainUntil(const std::function<bool()>& done) { return queue_.runUntil(done, patience); }
    // Runs main-thread tasks until `count` tasks in all have been handled.
    bool drainUntilHandled(int count) {
        return drainUntil([&] { return handled_ >= count; });
    }

    MainQueue queue_;
    int handled_ = 0;
    std::vector<std::shared_ptr<FakeAdapter>> made_;
};

TEST_F(ScanCoordinatorTest, StartsIdleWithoutResult) {
    auto npm = adapter(ManagerKind::npm, "npm");
    auto brew = adapter(ManagerKind::homebrew, "brew");
    ScanCoordinator coordinator({npm, brew}, executor());
    EXPECT_FALSE(coordinator.isScanning());
    EXPECT_FALSE(coordinator.result());
    EXPECT_TRUE(coordinator.finishedKinds().empty());
    ASSERT_EQ(coordinator.adapters().size(), 2u);
    EXPECT_EQ(coordinator.adapters()[0], npm);
    EXPECT_EQ(coordinator.adapters()[1], brew);
}

TEST_F(ScanCoordinatorTest, ScanReturnsAtOnceAndPublishesWhenTheLastAdapterReturns) {
    auto npm = adapter(ManagerKind::npm, "npm");
    auto bun = adapter(ManagerKind::bun, "bun");
    ScanCoordinator coordinator({npm, bun}, executor());
    Recorder recorder;
    recorder.attach(coordinator);

    coordinator.scan();
    EXPECT_TRUE(coordinator.isScanning());
    EXPECT_FALSE(coordinator.result());
    EXPECT_EQ(recorder.scanning, std::vector<bool>{true});
    EXPECT_EQ(recorder.resultPresent, std::vector<bool>{false});

    // Every adapter runs at the same time: both have started while neither may return.
    ASSERT_TRUE(npm->waitStarted());
    ASSERT_TRUE(bun->waitStarted());

    bun->open();
    ASSERT_TRUE(drainUntilHandled(1));
    EXPECT_TRUE(coordinator.isScanning());
    EXPECT_FALSE(coordinator.result());

    npm->open();
    ASSERT_TRUE(drainUntil([&] { return coordinator.result().has_value(); }));
    EXPECT_FALSE(coordinator.isScanning());
    EXPECT_EQ(kindsOf(*coordinator.result()), (std::vector<ManagerKind>{ManagerKind::npm, ManagerKind::bun}));
    EXPECT_EQ(versionsOf(*coordinator.result()), (std::vector<std::string>{"npm:0", "bun:0"}));
    EXPECT_EQ(recorder.scanning, (std::vector<bool>{true, false}));
    EXPECT_EQ(recorder.resultPresent, (std::vector<bool>{false, true}));
}

TEST_F(ScanCoordinatorTest, AnyFinishingOrderGivesCaseOrder) {
    // The list order is deliberately not the case order.
    const std::vector<ManagerKind> listOrder{ManagerKind::bun, ManagerKind::nvm, ManagerKind::homebrew,
                                             ManagerKind::pnpm, ManagerKind::npm};
    std::vector<int> finishing{0, 1, 2, 3, 4};
    do {
        std::vector<std::shared_ptr<FakeAdapter>> adapters;
        AdapterList list;
        for (ManagerKind kind : listOrder) {
            adapters.push_back(adapter(kind, std::string(rawValue(kind))));
            list.push_back(adapters.back());
        }
        ScanCoordinator coordinator(list, executor());
        coordinator.scan();
        const int base = handled_;
        for (std::size_t step = 0; step < finishing.size(); ++step) {
            adapters[static_cast<std::size_t>(finishing[step])]->open();
            ASSERT_TRUE(drainUntilHandled(base + static_cast<int>(step) + 1));
            EXPECT_EQ(coordinator.result().has_value(), step + 1 == finishing.size());
        }
        ASSERT_TRUE(coordinator.result());
        EXPECT_EQ(kindsOf(*coordinator.result()), caseOrder);
        EXPECT_EQ(versionsOf(*coordinator.result()),
                  (std::vector<std::string>{"homebrew:0", "npm:0", "pnpm:0", "nvm:0", "bun:0"}));
        EXPECT_FALSE(coordinator.isScanning());
    } while (std::next_permutation(finishing.begin(), finishing.end()));
}

TEST_F(ScanCoordinatorTest, AllManagersMissingStillGiveFiveReports) {
    AdapterList list;
    for (ManagerKind kind : {ManagerKind::nvm, ManagerKind::bun, ManagerKind::npm, ManagerKind::homebrew,
                             ManagerKind::pnpm}) {
        list.push_back(adapter(kind, "x", false, Behaviour::notDetected));
    }
    ScanCoordinator coordinator(list, executor());
    coordinator.scan();
    ASSERT_TRUE(drainUntil([&] { return coordinator.result().has_value(); }));
    EXPECT_EQ(kindsOf(*coordinator.result()), caseOrder);
    for (const ManagerReport& report : coordinator.result()->managers) {
        EXPECT_FALSE(report.detected);
    }
    EXPECT_EQ(coordinator.result()->totalBytes(), 0);
}

TEST_F(ScanCoordinatorTest, TwoAdaptersOfOneKindKeepTheFirstFinisher) {
    for (bool secondFinishesFirst : {true, false}) {
        auto first = adapter(ManagerKind::npm, "A");
        auto second = adapter(ManagerKind::npm, "B");
        auto bun = adapter(ManagerKind::bun, "bun");
        ScanCoordinator coordinator({first, second, bun}, executor());
        coordinator.scan();
        const int base = handled_;
        (secondFinishesFirst ? second : first)->open();
        ASSERT_TRUE(drainUntilHandled(base + 1));
        bun->open();
        ASSERT_TRUE(drainUntilHandled(base + 2));
        (secondFinishesFirst ? first : second)->open();
        ASSERT_TRUE(drainUntil([&] { return coordinator.result().has_value(); }));
        EXPECT_EQ(versionsOf(*coordinator.result()),
                  (std::vector<std::string>{secondFinishesFirst ? "B:0" : "A:0", "bun:0"}));
    }
}

TEST_F(ScanCoordinatorTest, AMissingKindIsSimplyAbsent) {
    ScanCoordinator coordinator({adapter(ManagerKind::bun, "bun", false), adapter(ManagerKind::npm, "npm", false)},
                                executor());
    coordinator.scan();
    ASSERT_TRUE(drainUntil([&] { return coordinator.result().has_value(); }));
    EXPECT_EQ(kindsOf(*coordinator.result()), (std::vector<ManagerKind>{ManagerKind::npm, ManagerKind::bun}));
}

TEST_F(ScanCoordinatorTest, NoAdaptersGiveAnEmptyResult) {
    ScanCoordinator coordinator({}, executor());
    Recorder recorder;
    recorder.attach(coordinator);
    coordinator.scan();
    EXPECT_TRUE(coordinator.isScanning());
    ASSERT_TRUE(drainUntil([&] { return coordinator.result().has_value(); }));
    EXPECT_TRUE(coordinator.result()->managers.empty());
    EXPECT_FALSE(coordinator.isScanning());
    EXPECT_EQ(recorder.scanning, (std::vector<bool>{true, false}));
}

TEST_F(ScanCoordinatorTest, ResultIsAbsentWhileARescanRuns) {
    auto npm = adapter(ManagerKind::npm, "npm");
    auto nvm = adapter(ManagerKind::nvm, "nvm");
    ScanCoordinator coordinator({npm, nvm}, executor());
    Recorder recorder;
    recorder.attach(coordinator);

    coordinator.scan();
    npm->open(0);
    nvm->open(0);
    ASSERT_TRUE(drainUntil([&] { return coordinator.result().has_value(); }));
    EXPECT_EQ(versionsOf(*coordinator.result()), (std::vector<std::string>{"npm:0", "nvm:0"}));

    coordinator.scan();
    EXPECT_TRUE(coordinator.isScanning());
    EXPECT_FALSE(coordinator.result());
    EXPECT_EQ(recorder.resultPresent, (std::vector<bool>{false, true, false}));

    nvm->open(1);
    const int base = handled_;
    ASSERT_TRUE(drainUntilHandled(base + 1));
    EXPECT_FALSE(coordinator.result());
    EXPECT_TRUE(coordinator.isScanning());

    npm->open(1);
    ASSERT_TRUE(drainUntil([&] { return coordinator.result().has_value(); }));
    EXPECT_EQ(versionsOf(*coordinator.result()), (std::vector<std::string>{"npm:1", "nvm:1"}));
    EXPECT_EQ(recorder.scanning, (std::vector<bool>{true, false, true, false}));
    EXPECT_EQ(recorder.resultPresent, (std::vector<bool>{false, true, false, true}));
}

TEST_F(ScanCoordinatorTest, ScannedAtIsAfterTheSlowestAdapter) {
    auto fast = adapter(ManagerKind::npm, "fast");
    auto slow = adapter(ManagerKind::homebrew, "slow", true, Behaviour::detected, 50ms);
    ScanCoordinator coordinator({slow, fast}, executor());
    const double startedAt = nowSeconds();
    coordinator.scan();
    fast->open();
    ASSERT_TRUE(drainUntilHandled(1));
    slow->open();
    ASSERT_TRUE(drainUntil([&] { return coordinator.result().has_value(); }));
    const double scannedAt = coordinator.result()->scannedAt;
    EXPECT_GE(scannedAt, slow->returnedAt());
    EXPECT_GE(slow->returnedAt(), fast->returnedAt());
    EXPECT_GE(scannedAt - startedAt, 0.05); // the slow adapter slept at least that long
}

TEST_F(ScanCoordinatorTest, IsScanningNotifiesOnlyOnARealChange) {
    auto pnpm = adapter(ManagerKind::pnpm, "pnpm");
    ScanCoordinator coordinator({pnpm}, executor());
    Recorder recorder;
    recorder.attach(coordinator);

    coordinator.scan();
    ASSERT_TRUE(pnpm->waitStarted(1));
    coordinator.scan(); // already scanning: no isScanning notification, but result is assigned
    ASSERT_TRUE(pnpm->waitStarted(2));
    EXPECT_EQ(recorder.scanning, std::vector<bool>{true});
    EXPECT_EQ(recorder.resultNotifications, 2);

    pnpm->open(0);
    ASSERT_TRUE(drainUntilHandled(1));
    EXPECT_EQ(recorder.scanning, (std::vector<bool>{true, false}));
    pnpm->open(1);
    ASSERT_TRUE(drainUntilHandled(2));
    EXPECT_EQ(recorder.scanning, (std::vector<bool>{true, false})); // false again: nobody told
    EXPECT_EQ(recorder.resultNotifications, 4);
    EXPECT_EQ(recorder.progressNotifications, 1); // the newest run's pnpm; the older run is not progress
}

TEST_F(ScanCoordinatorTest, AThrowingAdapterBecomesNotDetectedAndTheOthersSurvive) {
    auto brew = adapter(ManagerKind::homebrew, "brew", false, Behaviour::throwsException);
    auto npm = adapter(ManagerKind::npm, "npm", false);
    auto bun = adapter(ManagerKind::bun, "bun", false, Behaviour::throwsOther);
    auto pnpm = adapter(ManagerKind::pnpm, "pnpm", false);
    ScanCoordinator coordinator({bun, brew, npm, pnpm}, executor());
    coordinator.scan();
    ASSERT_TRUE(drainUntil([&] { return coordinator.result().has_value(); }));
    const ScanResult& result = *coordinator.result();
    EXPECT_EQ(kindsOf(result),
              (std::vector<ManagerKind>{ManagerKind::homebrew, ManagerKind::npm, ManagerKind::pnpm, ManagerKind::bun}));
    EXPECT_FALSE(result.managers[0].detected);
    EXPECT_TRUE(result.managers[0].items.empty());
    EXPECT_TRUE(result.managers[1].detected);
    EXPECT_TRUE(result.managers[2].detected);
    EXPECT_FALSE(result.managers[3].detected);
    EXPECT_FALSE(coordinator.isScanning());
}

class OverlappingScans : public ScanCoordinatorTest, public ::testing::WithParamInterface<bool> {};

TEST_P(OverlappingScans, EachRunPublishesAndTheLaterFinisherIsLast) {
    const bool olderFinishesFirst = GetParam();
    auto npm = adapter(ManagerKind::npm, "npm");
    ScanCoordinator coordinator({npm}, executor());
    Recorder recorder;
    recorder.attach(coordinator);

    coordinator.scan();
    ASSERT_TRUE(npm->waitStarted(1)); // call 0 belongs to the older run
    coordinator.scan();
    ASSERT_TRUE(npm->waitStarted(2)); // call 1 to the newer run
    EXPECT_TRUE(coordinator.isScanning());
    EXPECT_FALSE(coordinator.result());

    const int first = olderFinishesFirst ? 0 : 1;
    const int second = 1 - first;

    npm->open(first);
    ASSERT_TRUE(drainUntilHandled(1));
    ASSERT_TRUE(coordinator.result());
    EXPECT_EQ(versionsOf(*coordinator.result()), std::vector<std::string>{"npm:" + std::to_string(first)});
    EXPECT_FALSE(coordinator.isScanning());
    // Progress belongs to the newest run only.
    EXPECT_EQ(coordinator.finishedKinds().size(), olderFinishesFirst ? 0u : 1u);

    npm->open(second);
    ASSERT_TRUE(drainUntilHandled(2));
    ASSERT_TRUE(coordinator.result());
    EXPECT_EQ(versionsOf(*coordinator.result()), std::vector<std::string>{"npm:" + std::to_string(second)});
    EXPECT_FALSE(coordinator.isScanning());
    EXPECT_EQ(coordinator.finishedKinds(), std::set<ManagerKind>{ManagerKind::npm});

    EXPECT_EQ(recorder.scanning, (std::vector<bool>{true, false}));
    EXPECT_EQ(recorder.resultPresent, (std::vector<bool>{false, false, true, true}));
}

INSTANTIATE_TEST_SUITE_P(ScanCoordinatorTest, OverlappingScans, ::testing::Values(true, false),
                         [](const ::testing::TestParamInfo<bool>& info) {
                             return info.param ? std::string("OlderFinishesFirst") : std::string("NewerFinishesFirst");
                         });

TEST_F(ScanCoordinatorTest, FinishedKindsGrowAsAdaptersFinish) {
    auto brew = adapter(ManagerKind::homebrew, "brew");
    auto pnpm = adapter(ManagerKind::pnpm, "pnpm");
    auto bun = adapter(ManagerKind::bun, "bun");
    ScanCoordinator coordinator({brew, pnpm, bun}, executor());
    Recorder recorder;
    recorder.attach(coordinator);

    coordinator.scan();
    EXPECT_TRUE(coordinator.finishedKinds().empty());
    EXPECT_EQ(recorder.progressNotifications, 0);

    pnpm->open();
    ASSERT_TRUE(drainUntilHandled(1));
    EXPECT_EQ(coordinator.finishedKinds(), std::set<ManagerKind>{ManagerKind::pnpm});
    EXPECT_EQ(recorder.progressNotifications, 1);

    brew->open();
    ASSERT_TRUE(drainUntilHandled(2));
    EXPECT_EQ(coordinator.finishedKinds(), (std::set<ManagerKind>{ManagerKind::homebrew, ManagerKind::pnpm}));
    EXPECT_EQ(recorder.progressNotifications, 2);
    EXPECT_TRUE(coordinator.isScanning());

    bun->open();
    ASSERT_TRUE(drainUntilHandled(3));
    ASSERT_TRUE(coordinator.result());
    EXPECT_EQ(coordinator.finishedKinds(),
              (std::set<ManagerKind>{ManagerKind::homebrew, ManagerKind::pnpm, ManagerKind::bun}));
    // Publishing the result and clearing isScanning are not progress.
    EXPECT_EQ(recorder.progressNotifications, 3);

    // A new run starts from nothing.
    coordinator.scan();
    EXPECT_TRUE(coordinator.finishedKinds().empty());
    EXPECT_EQ(recorder.progressNotifications, 4);
    brew->open(1);
    pnpm->open(1);
    bun->open(1);
    ASSERT_TRUE(drainUntil([&] { return coordinator.result().has_value(); }));
    EXPECT_EQ(coordinator.finishedKinds().size(), 3u);
    EXPECT_EQ(recorder.progressNotifications, 7);
}

TEST_F(ScanCoordinatorTest, DestroyingTheCoordinatorMidRunIsSafe) {
    auto npm = std::make_shared<FakeAdapter>(ManagerKind::npm, "npm", true);
    auto nvm = std::make_shared<FakeAdapter>(ManagerKind::nvm, "nvm", true);
    std::weak_ptr<FakeAdapter> npmWeak = npm;
    std::weak_ptr<FakeAdapter> nvmWeak = nvm;
    Recorder recorder;
    {
        auto coordinator = std::make_unique<ScanCoordinator>(AdapterList{npm, nvm}, executor());
        recorder.attach(*coordinator);
        coordinator->scan();
        ASSERT_TRUE(npm->waitStarted());
        ASSERT_TRUE(nvm->waitStarted());
        npm->open();
        ASSERT_TRUE(drainUntilHandled(1)); // one adapter finished while the coordinator lived
        EXPECT_EQ(recorder.progressNotifications, 1);
    }
    const Recorder before = recorder;

    nvm->open();
    npm.reset();
    nvm.reset();
    // The late post arrives and does nothing.
    ASSERT_TRUE(drainUntilHandled(2));
    EXPECT_EQ(recorder.scanning, before.scanning);
    EXPECT_EQ(recorder.resultNotifications, before.resultNotifications);
    EXPECT_EQ(recorder.progressNotifications, before.progressNotifications);
    // The workers have let go of the adapters before posting.
    EXPECT_TRUE(npmWeak.expired());
    EXPECT_TRUE(nvmWeak.expired());
}

TEST_F(ScanCoordinatorTest, DestroyingTheCoordinatorAndItsQueueMidRunIsSafe) {
    auto bun = std::make_shared<FakeAdapter>(ManagerKind::bun, "bun", true);
    std::weak_ptr<FakeAdapter> bunWeak = bun;
    {
        auto queue = std::make_unique<MainQueue>();
        auto coordinator = std::make_unique<ScanCoordinator>(AdapterList{bun}, queue->executor());
        coordinator->scan();
        ASSERT_TRUE(bun->waitStarted());
        coordinator.reset();
        queue.reset();
    }
    bun->open();
    bun.reset();
    // Wait for the worker to finish with the adapter; its post then goes nowhere.
    const auto deadline = std::chrono::steady_clock::now() + patience;
    while (!bunWeak.expired() && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(1ms);
    }
    EXPECT_TRUE(bunWeak.expired());
}

TEST(OrderReports, KeepsTheFirstReportOfEachKindInCaseOrder) {
    std::vector<ManagerReport> collected{
        ManagerReport{ManagerKind::bun, true, "bun-1", {}, {}},
        ManagerReport{ManagerKind::npm, true, "npm-1", {}, {}},
        ManagerReport{ManagerKind::bun, true, "bun-2", {}, {}},
        ManagerReport{ManagerKind::homebrew, false, std::nullopt, {}, {}},
        ManagerReport{ManagerKind::npm, false, "npm-2", {}, {}},
    };
    const std::vector<ManagerReport> ordered = orderReports(collected);
    ASSERT_EQ(ordered.size(), 3u);
    EXPECT_EQ(ordered[0].kind, ManagerKind::homebrew);
    EXPECT_EQ(ordered[1].version, "npm-1");
    EXPECT_EQ(ordered[2].version, "bun-1");
    EXPECT_TRUE(orderReports({}).empty());
}

// ---- MainQueue ----------------------------------------------------------------------------

TEST(MainQueue, RunsPostedTasksInOrderOnTheCallingThread) {
    MainQueue queue;
    std::vector<int> order;
    std::vector<std::thread::id> threads;
    const MainExecutor executor = queue.executor();
    std::thread poster([&] {
        for (int i = 0; i < 5; ++i) {
            executor([&order, &threads, i] {
                order.push_back(i);
                threads.push_back(std::this_thread::get_id());
            });
        }
    });
    poster.join();
    queue.post([&order] { order.push_back(5); });
    EXPECT_TRUE(queue.runUntil([&] { return order.size() == 6; }, patience));
    EXPECT_EQ(order, (std::vector<int>{0, 1, 2, 3, 4, 5}));
    for (auto id : threads) {
        EXPECT_EQ(id, std::this_thread::get_id());
    }
}

TEST(MainQueue, WaitsForTasksFromOtherThreads) {
    MainQueue queue;
    int value = 0;
    std::thread poster([executor = queue.executor(), &value] {
        std::this_thread::sleep_for(5ms);
        executor([&value] { value = 7; });
    });
    EXPECT_TRUE(queue.runUntil([&] { return value == 7; }, patience));
    poster.join();
}

TEST(MainQueue, ChecksDoneBeforeTheFirstTaskAndTimesOut) {
    MainQueue queue;
    bool ran = false;
    queue.post([&ran] { ran = true; });
    EXPECT_TRUE(queue.runUntil([] { return true; }, 0ms));
    EXPECT_FALSE(ran);
    EXPECT_TRUE(queue.runUntil([&] { return ran; }, patience));
    EXPECT_FALSE(queue.runUntil([] { return false; }, 10ms)); // nothing left to run
    EXPECT_TRUE(queue.runUntil([] { return true; }, std::chrono::steady_clock::duration::max()));
}

TEST(MainQueue, AnExecutorOutlivesItsQueue) {
    MainExecutor executor;
    {
        MainQueue queue;
        executor = queue.executor();
    }
    bool ran = false;
    executor([&ran] { ran = true; });
    EXPECT_FALSE(ran);
}

} // namespace
} // namespace kelvo
