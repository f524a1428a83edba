#include "scan/ScanCoordinator.h"

#include <array>
#include <bit>
#include <exception>
#include <map>
#include <thread>
#include <utility>

namespace kelvo {

// One scan run. Touched only on the main thread (through the executor); worker threads
// merely hold a reference so that it lives until the run's last post has been handled.
struct ScanCoordinator::Run {
    std::size_t expected = 0;
    std::size_t finished = 0;
    std::vector<ManagerReport> collected; // in finishing order
    // What every adapter of the run measured, each file counted once across all of them; it is the
    // whole total only while every report with a measured item holds its own scope's count.
    std::shared_ptr<DiskTally> tally = std::make_shared<DiskTally>();
    bool tallyHoldsAll = true;
    std::vector<std::pair<ManagerKind, DiskTally::Scopes>> scopes; // each adapter's own
};

namespace {

// Token shared with worker threads: points at the coordinator while it lives, null after.
// Read and written on the main thread only.
using AliveToken = std::shared_ptr<ScanCoordinator*>;

// The tally's bytes by the set of scopes that counted them, as sets of managers. Empty when a
// manager's scope lies beyond the eight the tally tells apart.
ManagerReport runAdapter(const ManagerAdapter& adapter, ManagerKind kind, TallyScopes counted) {
    try {
        return adapter.scan(counted);
    } catch (...) {
        // Adapters never fail; one that throws all the same counts as not detected.
        return ManagerReport::notDetected(kind);
    }
}

void postSafely(const MainExecutor& executor, std::function<void()> task) {
    try {
        executor(std::move(task));
    } catch (...) {
        // Nowhere to report to: the run simply never completes, as with an adapter that
        // never returns.
    }
}

// The tally's bytes by the set of scopes that counted them, as sets of managers. Empty when a
// manager's scope lies beyond the eight the tally tells apart.
std::vector<SharedBytes> sharedBytes(
    const DiskTally& tally, const std::vector<std::pair<ManagerKind, DiskTally::Scopes>>& scopesOfManagers) {
    std::array<ManagerSet, 8> managersOfScope{};
    for (const auto& [kind, scope] : scopesOfManagers) {
        if (scope == 0 || scope > 0xFF) {
            return {};
        }
        managersOfScope[static_cast<std::size_t>(std::countr_zero(scope))] |= managerBit(kind);
    }
    std::map<ManagerSet, std::int64_t> byManagers;
    const auto counted = tally.bytesBySharingScopes();
    for (std::size_t scopes = 1; scopes < counted.size(); ++scopes) {
        ManagerSet managers = 0;
        for (std::size_t bit = 1; bit < managersOfScope.size(); ++bit) {
            if ((scopes >> bit) & 1U) {
                managers |= managersOfScope[bit];
            }
        }
        if (managers != 0 && counted[scopes] != 0) {
            byManagers[managers] += counted[scopes];
        }
    }
    std::vector<SharedBytes> parts;
    for (const auto& [managers, bytes] : byManagers) {
        parts.push_back(SharedBytes{managers, bytes});
    }
    return parts;
}

} // namespace

ScanCoordinator::ScanCoordinator(AdapterList adapters, MainExecutor mainExecutor)
    : adapters_(std::move(adapters)), mainExecutor_(std::move(mainExecutor)),
      alive_(std::make_shared<ScanCoordinator*>(this)) {}

ScanCoordinator::~ScanCoordinator() {
    // Worker threads are detached and own what they touch; their late posts find a null token.
    *alive_ = nullptr;
}

void ScanCoordinator::scan() {
    const AliveToken token = alive_;

    setScanning(true);
    if (*token == nullptr) {
        return; // an observer destroyed the coordinator
    }

    result_.reset();
    if (onResultChanged) {
        onResultChanged();
        if (*token == nullptr) {
            return;
        }
    }

    auto run = std::make_shared<Run>();
    run->expected = adapters_.size();
    run->collected.reserve(adapters_.size());
    newestRun_ = run;
    if (!finishedKinds_.empty()) {
        finishedKinds_.clear();
        if (onProgressChanged) {
            onProgressChanged();
            if (*token == nullptr) {
                return;
            }
        }
    }

    if (adapters_.empty()) {
        postSafely(mainExecutor_, [token, run] {
            if (ScanCoordinator* self = *token) {
                self->publish(run);
            }
        });
        return;
    }

    // One worker per adapter, started in list order. A worker touches only its adapter,
    // its own report, the executor copy and the shared tokens; never the coordinator.
    for (std::shared_ptr<const ManagerAdapter> adapter : adapters_) {
        const ManagerKind kind = adapter->kind();
        const DiskTally::Scopes own = run->tally->openScope();
        run->scopes.emplace_back(kind, own);
        auto work = [adapter = std::move(adapter), kind, own, token, run, tally = run->tally,
                        executor = mainExecutor_]() mutable {
            ManagerReport report = runAdapter(*adapter, kind, {tally.get(), DiskTally::wholeScan | own});
            adapter.reset();
            postSafely(executor, [token, run, kind, own, report = std::move(report)]() mutable {
                if (ScanCoordinator* self = *token) {
                    self->adapterFinished(run, kind, own, std::move(report));
                }
            });
        };
        try {
            std::thread(std::move(work)).detach();
        } catch (const std::exception&) {
            // No thread to be had: the adapter counts as not detected so that the run still ends.
            postSafely(mainExecutor_, [token, run, kind] {
                if (ScanCoordinator* self = *token) {
                    self->adapterFinished(run, kind, 0, ManagerReport::notDetected(kind));
                }
            });
        }
    }
}

std::map<ManagerKind, ScanCoordinator::LiveCount> ScanCoordinator::liveCounts() const {
    std::map<ManagerKind, LiveCount> counts;
    if (isScanning_ && newestRun_) {
        for (std::size_t i = 0; i < newestRun_->scopes.size(); ++i) {
            const auto& [kind, scope] = newestRun_->scopes[i];
            std::string note = i < adapters_.size() ? adapters_[i]->progressNote() : std::string();
            counts.try_emplace(
                kind, LiveCount{newestRun_->tally->files(scope), newestRun_->tally->total(scope), std::move(note)});
        }
    }
    return counts;
}

void ScanCoordinator::setScanning(bool value) {
    if (isScanning_ == value) {
        return;
    }
    isScanning_ = value;
    if (onIsScanningChanged) {
        onIsScanningChanged();
    }
}

void ScanCoordinator::adapterFinished(
    const std::shared_ptr<Run>& run, ManagerKind kind, DiskTally::Scopes own, ManagerReport report) {
    // The tally is the whole only while each report holds exactly what its adapter counted into it:
    // not one made without it (read from a file, an adapter that ignores it), nor a failed one whose
    // adapter had measured before it failed.
    if (report.totalBytes() != (own == 0 ? 0 : run->tally->total(own))) {
        run->tallyHoldsAll = false;
    }
    run->collected.push_back(std::move(report));
    ++run->finished;

    if (run == newestRun_ && finishedKinds_.insert(kind).second && onProgressChanged) {
        const AliveToken token = alive_;
        onProgressChanged();
        if (*token == nullptr) {
            return;
        }
    }

    if (run->finished == run->expected) {
        keepPinned(run);
    }
}

void ScanCoordinator::keepPinned(const std::shared_ptr<Run>& run) {
    std::vector<ProjectPin> pins;
    for (const ManagerReport& report : run->collected) {
        pins.insert(pins.end(), report.pins.begin(), report.pins.end());
    }
    if (pins.empty()) {
        publish(run);
        return;
    }
    // The reports are the worker's alone until it posts: every adapter has returned.
    auto work = [token = alive_, run, adapters = adapters_, pins = std::move(pins), executor = mainExecutor_] {
        for (ManagerReport& report : run->collected) {
            for (const auto& adapter : adapters) {
                try {
                    if (adapter->kind() == report.kind) {
                        adapter->keepPinned(report, pins);
                    }
                } catch (...) {
                    // What it had kept stays kept; the rest keeps the verdicts of its scan.
                }
            }
        }
        postSafely(executor, [token, run] {
            if (ScanCoordinator* self = *token) {
                self->publish(run);
            }
        });
    };
    try {
        std::thread(work).detach();
    } catch (const std::exception&) {
        work(); // no thread to be had: a few small files read here
    }
}

void ScanCoordinator::publish(const std::shared_ptr<Run>& run) {
    const AliveToken token = alive_;

    ScanResult result;
    const std::size_t collected = run->collected.size();
    result.managers = orderReports(std::move(run->collected));
    run->collected.clear();
    // The tally's whole-scan count is the total only when it holds every published report and
    // nothing else: a report dropped for a kind met twice leaves what it measured in it.
    if (run->tallyHoldsAll && collected == result.managers.size()) {
        run->tally->settle(~DiskTally::Scopes{0}); // every adapter has returned
        result.onceCountedBytes = run->tally->total(DiskTally::wholeScan);
        result.sharedBytes = sharedBytes(*run->tally, run->scopes);
    }
    result.scannedAt = nowSeconds(); // after every adapter of this run has returned
    result_ = std::move(result);
    if (onResultChanged) {
        onResultChanged();
        if (*token == nullptr) {
            return;
        }
    }

    setScanning(false);
}

std::vector<ManagerReport> orderReports(std::vector<ManagerReport> collected) {
    std::vector<ManagerReport> ordered;
    ordered.reserve(allManagerKinds.size());
    for (ManagerKind kind : allManagerKinds) {
        for (ManagerReport& report : collected) {
            if (report.kind == kind) {
                ordered.push_back(std::move(report));
                break;
            }
        }
    }
    return ordered;
}

} // namespace kelvo
