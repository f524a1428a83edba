#include "adapters/ReportDraft.h"

#include "adapters/AdapterSupport.h"
#include "system/ParallelFor.h"

#include <utility>

namespace kelvo {

namespace {
// What one adapter's scan counts into: the whole scan's scope and the manager's own, whose total
// is the report's once-counted total.
class ManagerTally {
public:
    explicit ManagerTally(TallyScopes counted) : counted_(counted) {}
    TallyScopes counted() const { return counted_; }
    // What the manager's items occupy together; absent without a scope of its own.
    std::optional<std::int64_t> total() const {
        const DiskTally::Scopes own = counted_.scopes & ~DiskTally::wholeScan;
        if (counted_.tally == nullptr || own == 0) {
            return std::nullopt;
        }
        counted_.tally->settle(own); // the manager's measurements are over
        return counted_.tally->total(own);
    }

private:
    TallyScopes counted_;
};

} // namespace

DependencyItem& ReportDraft::add(
    DependencyItem item, std::vector<std::string> paths, std::string_view quickWin, Keep keep) {
    if (item.id == Uuid{}) {
        item.id = Uuid::random();
    }
    drafts_.push_back(Draft{std::move(item), std::move(paths), std::string(quickWin), keep});
    return drafts_.back().item;
}

void ReportDraft::offer(QuickWin win, Offer when) {
    if (win.id == Uuid{}) {
        win.id = Uuid::random();
    }
    offered_.push_back(Offered{std::move(win), when});
}

ManagerReport ReportDraft::finish(const DirectorySizing* sizer, TallyScopes counted) && {
    const ManagerTally tally(counted);
    std::vector<ItemSize> sizes(drafts_.size());
    if (sizer != nullptr) {
        parallelFor(drafts_.size(), [&](std::size_t i) {
            if (!drafts_[i].paths.empty()) {
                sizes[i] = measureItem(*sizer, drafts_[i].paths, tally.counted());
            }
        });
    }
    ManagerReport report = std::move(report_);
    report.items.clear();
    std::vector<std::string> wins; // each listed item's quick win, in the items' order
    for (std::size_t i = 0; i < drafts_.size(); ++i) {
        Draft& draft = drafts_[i];
        if (draft.keep == Keep::ifMeasured && !sizes[i].bytes) {
            continue;
        }
        if (!draft.paths.empty()) {
            draft.item.bytes = sizes[i].bytes;
            draft.item.freedBytes = sizes[i].freedBytes;
            draft.item.unreadableFolders = sizes[i].unreadable;
        }
        withholdInexactCommand(draft.item);
        report.items.push_back(std::move(draft.item));
        wins.push_back(std::move(draft.quickWin));
    }
    // Sizes decide the order; the quick wins are sized from the items they clean.
    report.quickWins.clear();
    for (const Offered& offered : offered_) {
        QuickWin win = offered.win;
        bool anything = false;
        for (std::size_t i = 0; i < report.items.size(); ++i) {
            if (wins[i] != win.title) {
                continue;
            }
            const DependencyItem& item = report.items[i];
            if (item.bytes) {
                // The items one command covers never share files: their sizes add up.
                win.bytes = win.bytes.value_or(0) + *item.bytes;
            }
            anything = anything || item.bytes.value_or(1) > 0;
        }
        if (anything || offered.when == Offer::always) {
            report.quickWins.push_back(std::move(win));
        }
    }
    sortItemsBySize(report.items);
    report.onceCountedBytes = tally.total();
    return report;
}

} // namespace kelvo
