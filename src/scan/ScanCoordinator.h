#pragma once

#include "model/ManagerAdapter.h"

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace kelvo {

using AdapterList = std::vector<std::shared_ptr<const ManagerAdapter>>;

// Runs a function on the front end's main thread (the window: the Qt event loop;
// the terminal and tests: a MainQueue drained by the caller). Must be callable from any thread.
using MainExecutor = std::function<void(std::function<void()>)>;

// Runs every adapter concurrently and publishes one ScanResult. All state is confined to
// the main thread: scan() and the getters are called there, and the callbacks fire there.
class ScanCoordinator {
public:
    ScanCoordinator(AdapterList adapters, MainExecutor mainExecutor);
    ~ScanCoordinator();

    ScanCoordinator(const ScanCoordinator&) = delete;
    ScanCoordinator& operator=(const ScanCoordinator&) = delete;

    // Starts a run and returns at once. A second call while a run is in flight starts an
    // independent run; each run publishes its own result and clears isScanning when it ends.
    void scan();

    bool isScanning() const { return isScanning_; }
    const std::optional<ScanResult>& result() const { return result_; }
    const AdapterList& adapters() const { return adapters_; }

    // Kinds whose adapter has returned in the newest run (live progress): emptied when a run
    // starts, grown as its adapters return, left as it is when result or isScanning change
    // (empty before the first scan).
    const std::set<ManagerKind>& finishedKinds() const { return finishedKinds_; }

    // How far each adapter of the newest run has measured: the files (not directories) and bytes
    // it has counted so far, each file once. Every kind of the run is there, at zero until it
    // measures; empty while no scan is running, so a run that is over or replaced shows nothing.
    // Cheap enough to poll several times a second.
    struct LiveCount {
        std::int64_t files = 0;
        std::int64_t bytes = 0;
        std::string note = {}; // the adapter's own words on what it is doing, when it has any
        bool operator==(const LiveCount&) const = default;
    };
    std::map<ManagerKind, LiveCount> liveCounts() const;

    // Observers, called on the main thread. isScanning notifies only on a real change;
    // result on every assignment; progress whenever finishedKinds changes.
    std::function<void()> onIsScanningChanged;
    std::function<void()> onResultChanged;
    std::function<void()> onProgressChanged;

private:
    struct Run;
    void setScanning(bool value);
    void adapterFinished(
        const std::shared_ptr<Run>& run, ManagerKind kind, DiskTally::Scopes own, ManagerReport report);
    // Lets every adapter keep what the projects' version files pin (on a worker thread, since it
    // reads files), then publishes.
    void keepPinned(const std::shared_ptr<Run>& run);
    void publish(const std::shared_ptr<Run>& run);

    AdapterList adapters_;
    MainExecutor mainExecutor_;
    bool isScanning_ = false;
    std::optional<ScanResult> result_;
    std::set<ManagerKind> finishedKinds_;
    std::shared_ptr<Run> newestRun_;
    // Handed to worker threads so that a run finishing after the coordinator is gone does nothing.
    std::shared_ptr<ScanCoordinator*> alive_;
};

// Orders reports by ManagerKind, keeping the first report collected for each kind.
std::vector<ManagerReport> orderReports(std::vector<ManagerReport> collected);

} // namespace kelvo
