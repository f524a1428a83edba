#include "inventory/Inventory.h"

#include "adapters/Sources.h"
#include "model/NodeVersion.h"

#include <algorithm>
#include <cctype>
#include <map>
#include <set>
#include <utility>

namespace kelvo {

std::string_view rawValue(VerdictTag tag) {
    switch (tag) {
    case VerdictTag::safe: return "safe";
    case VerdictTag::likelyUnused: return "likelyUnused";
    case VerdictTag::inUse: return "inUse";
    case VerdictTag::dependency: return "dependency";
    }
    return "inUse";
}

std::string_view verdictLabel(VerdictTag tag) {
    switch (tag) {
    case VerdictTag::safe: return "SAFE";
    case VerdictTag::likelyUnused: return "LIKELY UNUSED";
    case VerdictTag::inUse: return "IN USE";
    case VerdictTag::dependency: return "DEPENDENCY";
    }
    return "IN USE";
}

std::string_view verdictColorName(VerdictTag tag) {
    switch (tag) {
    case VerdictTag::safe: return "safe";
    case VerdictTag::likelyUnused: return "caution";
    case VerdictTag::inUse:
    case VerdictTag::dependency: return "essential";
    }
    return "essential";
}

std::string_view displayName(ManagerKind kind) { return descriptor(kind).displayName; }

std::string_view shortLabel(ManagerKind kind) { return descriptor(kind).shortLabel; }

std::int64_t VersionGroup::totalBytes() const {
    std::int64_t total = keep.bytes.value_or(0);
    for (const auto& item : superseded) {
        if (item.bytes) {
            total += *item.bytes;
        }
    }
    return total;
}

std::optional<std::string> VersionGroup::pinnedBy(const DependencyItem& item) {
    for (const Evidence& evidence : item.evidence) {
        if (evidence.kind == Evidence::Kind::pinnedByProject) {
            return evidence.summary();
        }
    }
    return std::nullopt;
}

std::string VersionGroup::summary() const {
    const auto pinned = std::count_if(
        superseded.begin(), superseded.end(), [](const DependencyItem& item) { return pinnedBy(item).has_value(); });
    const std::string keeps = keepsDefault ? "keep your default"
                              : keepsInUse ? "keep the one in use"
                                           : (pinned == 0 ? "keep only the newest" : "keep the newest");
    return std::to_string(1 + superseded.size()) + " patch releases \u00b7 " + keeps +
           (pinned == 0 ? "" : " and " + std::to_string(pinned) + " pinned");
}

std::string VersionGroup::keepLine() const {
    if (keepsInUse) {
        return title + " in use \u2014 nothing to do";
    }
    return (keepsDefault ? "your default " : "newest ") + title + " \u2014 nothing to do";
}

Tier VersionGroup::tier() const {
    const bool reclaimable = std::any_of(superseded.begin(), superseded.end(),
        [](const DependencyItem& item) { return item.tier == Tier::orphanCandidate; });
    return reclaimable ? Tier::orphanCandidate : keep.tier;
}

std::string InventoryRow::id() const {
    if (isGroup()) {
        return "group-" + asGroup().id;
    }
    return "item-" + asItem().item.id.text();
}

std::int64_t InventoryRow::sortBytes() const {
    if (isGroup()) {
        return asGroup().totalBytes();
    }
    return asItem().item.bytes.value_or(-1);
}

Tier InventoryRow::tier() const { return isGroup() ? asGroup().tier() : asItem().item.tier; }

void sortRows(std::vector<InventoryRow>& rows) {
    std::stable_sort(rows.begin(), rows.end(),
        [](const InventoryRow& a, const InventoryRow& b) { return a.sortBytes() > b.sortBytes(); });
}

std::vector<InventoryRow> buildRows(ManagerKind kind, const std::vector<DependencyItem>& items) {
    std::vector<InventoryRow> rows;
    if (!descriptor(kind).groupsVersions) {
        rows.reserve(items.size());
        for (const auto& item : items) {
            rows.push_back(InventoryRow{InventoryRow::Item{item, kind}});
        }
        sortRows(rows);
        return rows;
    }

    // Buckets by version line, visited in the order of their first item (the final stable sort
    // then keeps the adapter's order between rows of equal size).
    const SourceDescriptor& source = descriptor(kind);
    struct Bucket {
        std::string line; // "18", "3.11"
        std::vector<std::pair<NodeVersion, const DependencyItem*>> members;
    };
    std::vector<Bucket> buckets;
    std::map<std::string, std::size_t> bucketIndex;
    std::vector<const DependencyItem*> ungrouped;
    // Every version but the default (or the globals) names it: a series that holds it keeps it,
    // whatever is newer.
    std::set<std::string> defaultVersions;
    for (const auto& item : items) {
        for (const auto& evidence : item.evidence) {
            if (evidence.kind == Evidence::Kind::notDefaultVersion) {
                defaultVersions.insert(evidence.version);
            } else if (evidence.kind == Evidence::Kind::notGlobalVersion) {
                for (std::size_t start = 0; start <= evidence.version.size();) {
                    const std::size_t end = std::min(evidence.version.find(", ", start), evidence.version.size());
                    defaultVersions.insert(evidence.version.substr(start, end - start));
                    start = end + 2;
                }
            }
        }
    }
    for (const auto& item : items) {
        const auto version = parseNodeVersion(item.name);
        if (!version) {
            ungrouped.push_back(&item);
            continue;
        }
        std::string line = std::to_string(version->major);
        if (source.versionLineParts > 1) {
            line += "." + std::to_string(version->minor);
        }
        auto [it, inserted] = bucketIndex.try_emplace(line, buckets.size());
        if (inserted) {
            buckets.push_back(Bucket{line, {}});
        }
        buckets[it->second].members.emplace_back(*version, &item);
    }

    for (auto& bucket : buckets) {
        if (bucket.members.size() == 1) {
            rows.push_back(InventoryRow{InventoryRow::Item{*bucket.members.front().second, kind}});
            continue;
        }
        std::stable_sort(bucket.members.begin(), bucket.members.end(),
            [](const auto& a, const auto& b) { return a.first > b.first; });
        const auto kept = std::find_if(bucket.members.begin(), bucket.members.end(),
            [&](const auto& member) { return defaultVersions.contains(member.second->name); });
        VersionGroup group;
        // Else the newest that a virtualenv runs.
        const auto used = std::find_if(bucket.members.begin(), bucket.members.end(), [](const auto& member) {
            return std::any_of(member.second->evidence.begin(), member.second->evidence.end(),
                [](const Evidence& evidence) { return evidence.kind == Evidence::Kind::usedByVirtualenv; });
        });
        if (kept != bucket.members.end()) {
            group.keepsDefault = true;
            std::rotate(bucket.members.begin(), kept, kept + 1);
        } else if (used != bucket.members.end()) {
            group.keepsInUse = true;
            std::rotate(bucket.members.begin(), used, used + 1);
        }
        std::string titleWord(source.versionLineTitle);
        std::transform(titleWord.begin(), titleWord.end(), titleWord.begin(),
            [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
        group.id = std::string(rawValue(kind)) + "-" + titleWord + "-" + bucket.line;
        group.title = std::string(source.versionLineTitle) + " " + bucket.line;
        group.manager = kind;
        group.keep = *bucket.members.front().second;
        for (std::size_t i = 1; i < bucket.members.size(); ++i) {
            group.superseded.push_back(*bucket.members[i].second);
        }
        rows.push_back(InventoryRow{std::move(group)});
    }
    for (const auto* item : ungrouped) {
        rows.push_back(InventoryRow{InventoryRow::Item{*item, kind}});
    }
    sortRows(rows);
    return rows;
}

VerdictTag verdictTag(Tier tier, ManagerKind manager) {
    switch (tier) {
    case Tier::safeByDesign: return VerdictTag::safe;
    case Tier::orphanCandidate: return VerdictTag::likelyUnused;
    case Tier::signalOnly: return descriptor(manager).keptForDependents ? VerdictTag::dependency : VerdictTag::inUse;
    }
    return VerdictTag::inUse;
}

namespace {
// How a project's build folder comes back once removed: its lockfile's manager installs it again.
std::string projectRestore(const DependencyItem& item) {
    if (item.restoreCommand) {
        return " If removed, `" + *item.restoreCommand + "` " +
               (item.restoresExactly ? "puts it back as it was." : "makes it again.");
    }
    const bool noLockfile = std::any_of(item.evidence.begin(), item.evidence.end(),
        [](const Evidence& evidence) { return evidence.kind == Evidence::Kind::noLockfile; });
    return noLockfile ? " Without a lockfile, installing again may pick other versions." : "";
}

bool hasEvidence(const DependencyItem& item, Evidence::Kind kind) {
    return std::any_of(
        item.evidence.begin(), item.evidence.end(), [kind](const Evidence& evidence) { return evidence.kind == kind; });
}
} // namespace

namespace {
// The verdict for the item's tier.
std::string verdictSentence(const DependencyItem& item, ManagerKind manager, SizeUnit unit) {
    switch (item.tier) {
    case Tier::safeByDesign:
        // A cache another tool cleans (corepack, a test runner), or none and it is removed by hand, or
        // one its manager's command empties whole: the manager neither prunes it nor decides what goes.
        if (item.reclaimCommand &&
            (!descriptor(manager).ownCommandsPrune ||
                !item.reclaimCommand->starts_with(std::string(descriptor(manager).ownProgram) + " "))) {
            return "Safe to remove with `" + *item.reclaimCommand +
                   "` \u2014 nothing depends on it and its tool downloads again what it needs. Kelvo never "
                   "counts this as guaranteed savings.";
        }
        return (item.reclaimCommand ? "Prunable via `" + *item.reclaimCommand + "`"
                                    : "Prunable by " + std::string(displayName(manager))) +
               " \u2014 " + std::string(displayName(manager)) +
               " removes only what nothing references. Kelvo never counts this as guaranteed savings.";
    case Tier::orphanCandidate:
        // Where removing it frees less than its size (hard links elsewhere keep the rest), both.
        return "Nothing depends on this \u00b7 " + sizeAndFreedText(item, unit) +
               ". If you don't use it directly, it's safe to reclaim." + projectRestore(item);
    case Tier::signalOnly:
        if (const auto pinned = VersionGroup::pinnedBy(item)) {
            return *pinned + " \u2014 a project asks for this version: keep it while the project needs it.";
        }
        if (hasEvidence(item, Evidence::Kind::noLockfile)) {
            return "Without a lockfile, installing again may pick other versions than these: keep it unless "
                   "you are done with the project.";
        }
        if (descriptor(manager).keptForDependents) {
            return "Something installed depends on this \u2014 keep it unless you remove what needs it.";
        }
        return "Currently in use \u2014 nothing to do." + projectRestore(item);
    }
    return {};
}
} // namespace

namespace {
// What the verdict adds for an item not read wholly or given no command.
std::string caveats(const DependencyItem& item) {
    std::string text;
    if (item.unreadableFolders > 0) {
        text += " " + formatCount(item.unreadableFolders) +
                (item.unreadableFolders == 1 ? " folder in it could not be read" : " folders in it could not be read") +
                ": its size counts only what could.";
    }
    if (hasEvidence(item, Evidence::Kind::markedAsCache)) {
        text += " Its build tool marks it as a cache: safe to remove whatever its age.";
    }
    if (hasEvidence(item, Evidence::Kind::commandWithheld)) {
        text += " Kelvo shows no command for it: its name is not valid UTF-8, and a command copied as text could "
                "name another folder. Remove it from your file manager.";
    }
    return text;
}
} // namespace

std::string verdictText(const DependencyItem& item, ManagerKind manager, SizeUnit unit) {
    return verdictSentence(item, manager, unit) + caveats(item);
}

std::int64_t reclaimableBytes(const std::vector<DependencyItem>& items) {
    std::int64_t total = 0;
    for (const auto& item : items) {
        if (const auto freed = freedOrSize(item); item.tier == Tier::orphanCandidate && freed) {
            total += *freed;
        }
    }
    return total;
}

namespace {
const std::set<ManagerKind> everyManager(allManagerKinds.begin(), allManagerKinds.end());
}

std::int64_t reclaimableBytes(const ScanResult& result) { return reclaimableBytes(result, everyManager); }

std::int64_t reclaimableBytes(const ScanResult& result, const std::set<ManagerKind>& included) {
    std::int64_t total = 0;
    for (const auto& report : result.managers) {
        if (included.contains(report.kind)) {
            total += reclaimableBytes(report.items);
        }
    }
    return total;
}

std::int64_t inventoriedCount(const ScanResult& result) { return inventoriedCount(result, everyManager); }

std::int64_t inventoriedCount(const ScanResult& result, const std::set<ManagerKind>& included) {
    std::int64_t count = 0;
    for (const auto& report : result.managers) {
        if (report.detected && included.contains(report.kind)) {
            count += static_cast<std::int64_t>(report.items.size());
        }
    }
    return count;
}

std::string inventorySummary(ManagerKind kind, const std::vector<DependencyItem>& items) {
    return summaryOf(descriptor(kind), items);
}

std::string inventorySummary(const ManagerReport& report) {
    std::string summary = inventorySummary(report.kind, report.items);
    if (report.unreadableFolders > 0) {
        summary += " \u00b7 " + formatCount(report.unreadableFolders) +
                   (report.unreadableFolders == 1 ? " folder unreadable" : " folders unreadable");
    }
    return summary;
}

std::string sizeText(const std::optional<std::int64_t>& bytes, SizeUnit unit) {
    return bytes ? formatBytes(*bytes, unit) : std::string("\u2014");
}

std::optional<std::int64_t> freedOrSize(const DependencyItem& item) {
    return item.freedBytes ? item.freedBytes : item.bytes;
}

std::string sizeAndFreedText(const DependencyItem& item, SizeUnit unit) {
    const std::string size = sizeText(item.bytes, unit);
    if (!item.freedBytes || !item.bytes || formatBytes(*item.freedBytes, unit) == size) {
        return size;
    }
    return size + " \u00b7 frees " + formatBytes(*item.freedBytes, unit);
}

} // namespace kelvo
