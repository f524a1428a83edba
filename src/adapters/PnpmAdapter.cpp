#include "adapters/PnpmAdapter.h"

#include "adapters/AdapterSupport.h"
#include "system/Platform.h"

#include <utility>

namespace kelvo {

PnpmAdapter::PnpmAdapter(std::shared_ptr<const ReadOnlyCommandRunning> runner,
    std::shared_ptr<const DirectorySizing> sizer, std::string home)
    : runner_(std::move(runner)), sizer_(std::move(sizer)), home_(std::move(home)) {}

const std::vector<QuickWin>& PnpmAdapter::quickWins() {
    static const std::vector<QuickWin> wins{QuickWin{Uuid::random(), "Prune unreferenced packages", "pnpm store prune",
        "Removes only packages no project references. pnpm decides at run time."}};
    return wins;
}

std::optional<std::string> PnpmAdapter::findStore() const {
    for (const char* suffix : {"/Library/pnpm/store", "/.local/share/pnpm/store"}) {
        std::string candidate = home_ + suffix;
        if (pathExists(candidate)) {
            return candidate;
        }
    }
    return std::nullopt;
}

std::optional<std::string> PnpmAdapter::version() const {
    // Every kind of failure, thrown or returned, means the command did not run.
    try {
        if (runner_) {
            CommandResult result = runner_->run(ReadOnlyCommand::pnpmVersion());
            if (result.ok) {
                return std::move(result.output);
            }
        }
    } catch (...) {
    }
    return std::nullopt;
}

DependencyItem PnpmAdapter::storeItem(const std::string& path, TallyScopes counted) const {
    std::optional<std::int64_t> bytes;
    try {
        if (sizer_) {
            bytes = sizer_->measure(path, counted);
        }
    } catch (...) {
        bytes.reset();
    }
    return DependencyItem{Uuid::random(), storeName, std::nullopt, path, bytes, Tier::safeByDesign,
        {Evidence::managerDefinesPrunable()}, std::string(storeIdentity), std::nullopt};
}

bool PnpmAdapter::isInstalled() const {
    try {
        return version().has_value() || findStore().has_value();
    } catch (...) {
        return false;
    }
}

ManagerReport PnpmAdapter::scan(TallyScopes counted) const {
    ManagerReport report = ManagerReport::notDetected(ManagerKind::pnpm);
    const ManagerTally tally(counted);
    try {
        report.version = version();
        if (report.version) {
            report.detected = true;
            report.quickWins = quickWins();
            if (auto store = findStore()) {
                report.items.push_back(storeItem(*store, tally.counted()));
                report.onceCountedBytes = tally.total();
            }
            return report;
        }
        if (!findStore()) {
            return report;
        }
        report.detected = true;
        report.quickWins = quickWins();
        // The store may have gone between the two looks; then there is nothing to measure.
        if (auto store = findStore()) {
            report.items.push_back(storeItem(*store, tally.counted()));
            report.onceCountedBytes = tally.total();
        }
        return report;
    } catch (...) {
        // Keep what was established; a half-built item is never returned.
        report.items.clear();
        return report;
    }
}

} // namespace kelvo
