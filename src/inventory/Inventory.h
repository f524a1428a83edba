#pragma once

#include "model/ScanModel.h"
#include "model/SizeFormat.h"

#include <cstdint>
#include <optional>
#include <set>
#include <string>
#include <variant>
#include <vector>

namespace kelvo {

enum class VerdictTag { safe, likelyUnused, inUse, dependency };

std::string_view rawValue(VerdictTag tag);         // "safe", "likelyUnused", "inUse", "dependency"
std::string_view verdictLabel(VerdictTag tag);     // "SAFE", "LIKELY UNUSED", "IN USE", "DEPENDENCY"
std::string_view verdictColorName(VerdictTag tag); // named colour: safe, caution, essential

// "Homebrew", "npm", "pnpm", "nvm", "bun"
std::string_view displayName(ManagerKind kind);
// Chip text: "brew", "npm", "pnpm", "node", "bun"
std::string_view shortLabel(ManagerKind kind);

struct VersionGroup {
    std::string id;    // "nvm-node-<major>", "python-python-<major>.<minor>"
    std::string title; // "Node <major>", "Python <major>.<minor>"
    ManagerKind manager{};
    // The user's default (or a global) when the group holds it, else the newest one a virtualenv
    // runs, else the newest.
    DependencyItem keep;
    // The others, newest first; those a project pins are kept too (pinnedBy).
    std::vector<DependencyItem> superseded;
    bool keepsDefault = false;
    bool keepsInUse = false;

    std::int64_t totalBytes() const;
    // "3 patch releases · keep only the newest", "… · keep your default", "… · keep the one in use",
    // "… and 1 pinned".
    std::string summary() const;
    // "Pinned by ~/work/api" for a member a project pins.
    static std::optional<std::string> pinnedBy(const DependencyItem& item);
    // "newest Node 18 — nothing to do", "your default Node 20 — nothing to do", or "Python 3.11 in
    // use — nothing to do".
    std::string keepLine() const;
    // What the group holds decides it: orphanCandidate when a version in it may go, else keep's tier.
    Tier tier() const;
};

struct InventoryRow {
    struct Item {
        DependencyItem item;
        ManagerKind manager;
    };
    std::variant<Item, VersionGroup> value;

    bool isGroup() const { return std::holds_alternative<VersionGroup>(value); }
    const Item& asItem() const { return std::get<Item>(value); }
    const VersionGroup& asGroup() const { return std::get<VersionGroup>(value); }

    std::string id() const;
    std::int64_t sortBytes() const;
    Tier tier() const;
};

std::vector<InventoryRow> buildRows(ManagerKind kind, const std::vector<DependencyItem>& items);
// Stable sort, largest sortBytes first.
void sortRows(std::vector<InventoryRow>& rows);

VerdictTag verdictTag(Tier tier, ManagerKind manager);
std::string verdictText(const DependencyItem& item, ManagerKind manager, SizeUnit unit);

// What removing the orphan candidates frees, each on its own (freedOrSize).
std::int64_t reclaimableBytes(const std::vector<DependencyItem>& items);
// Over every report (detected or not), or over the reports of the managers the user included.
std::int64_t reclaimableBytes(const ScanResult& result);
std::int64_t reclaimableBytes(const ScanResult& result, const std::set<ManagerKind>& included);
// The items of the detected reports, every one or those of the included managers.
std::int64_t inventoriedCount(const ScanResult& result);
std::int64_t inventoriedCount(const ScanResult& result, const std::set<ManagerKind>& included);
std::string inventorySummary(ManagerKind kind, const std::vector<DependencyItem>& items);
// The same, and the folders its search could not read: "14 projects · 3 folders unreadable".
std::string inventorySummary(const ManagerReport& report);

// The size text of an item: formatBytes, or "—" when absent.
std::string sizeText(const std::optional<std::int64_t>& bytes, SizeUnit unit);
// An item's size, and what removing it frees where that reads differently: "400 MB · frees 2.1 MB".
std::string sizeAndFreedText(const DependencyItem& item, SizeUnit unit);
// What removing an item frees: its freedBytes, or its size where that was not told apart.
std::optional<std::int64_t> freedOrSize(const DependencyItem& item);

} // namespace kelvo
