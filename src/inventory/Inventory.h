#pragma once

#include "model/ScanModel.h"
#include "model/SizeFormat.h"

#include <cstdint>
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
    std::string id;    // "nvm-node-<major>"
    std::string title; // "Node <major>"
    ManagerKind manager = ManagerKind::nvm;
    DependencyItem keep;
    std::vector<DependencyItem> superseded; // newest first

    std::int64_t totalBytes() const;
    std::string summary() const;
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

std::int64_t reclaimableBytes(const std::vector<DependencyItem>& items);
std::int64_t reclaimableBytes(const ScanResult& result);
std::int64_t inventoriedCount(const ScanResult& result);
std::string inventorySummary(ManagerKind kind, const std::vector<DependencyItem>& items);

// The size text of an item: formatBytes, or "—" when absent.
std::string sizeText(const std::optional<std::int64_t>& bytes, SizeUnit unit);

} // namespace kelvo
