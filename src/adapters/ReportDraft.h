#pragma once

// The one way a report is built. An adapter says what it found, step by step: each item with the
// paths that measure it and the quick win it belongs to (by title); the draft then measures every
// item in parallel into the scan's tally, fills in sizes and what removing frees, orders the items,
// sizes the quick wins and takes the once-counted total. A step that fails loses only what it added.

#include "model/ScanModel.h"
#include "system/DirectorySizer.h"

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace kelvo {

class ReportDraft {
public:
    explicit ReportDraft(ManagerKind kind) : report_(ManagerReport::notDetected(kind)) {}

    // Detection and version, as the adapter finds them.
    ManagerReport& report() { return report_; }

    enum class Keep {
        always,     // listed whatever measuring finds
        ifMeasured, // listed only when it could be measured
    };
    // An item measured from `paths` together (none: not measured), counting towards the quick win
    // titled `quickWin` (empty: none). The reference holds until the next add.
    DependencyItem& add(DependencyItem item, std::vector<std::string> paths = {}, std::string_view quickWin = {},
        Keep keep = Keep::always);

    enum class Offer {
        ifAnythingToClean, // shown when an item it covers was found and holds something (or is unmeasured)
        always,            // shown whatever its items hold: its command removes more than they show
    };
    void offer(QuickWin win, Offer when = Offer::ifAnythingToClean);

    bool empty() const { return drafts_.empty(); }

    // Runs one step of the scan; should it fail, the items it added are dropped and the scan goes on.
    template <class Step>
    void step(Step&& step) {
        const std::size_t before = drafts_.size();
        try {
            step();
        } catch (...) {
            drafts_.resize(before);
        }
    }

    // Measures, orders and sizes; what every report goes through last (no command that would not
    // name its item's bytes exactly).
    ManagerReport finish(const DirectorySizing* sizer, TallyScopes counted) &&;

private:
    struct Draft {
        DependencyItem item;
        std::vector<std::string> paths;
        std::string quickWin;
        Keep keep = Keep::always;
    };
    struct Offered {
        QuickWin win;
        Offer when = Offer::ifAnythingToClean;
    };
    ManagerReport report_;
    std::vector<Draft> drafts_;
    std::vector<Offered> offered_;
};

} // namespace kelvo
