#pragma once

// Every decision of the window that needs no toolkit: heat colours, paths, the appearance
// toggle, the rail's order and texts, the inventory panel's tabs, rows and their texts, filters,
// list limit and what an empty list says.
// Plain C++ (this folder's library does not link Qt), so all of it is tested without a window;
// the QObjects in bridge/ only convert these values for QML.

#include "inventory/Inventory.h"
#include "model/ScanModel.h"
#include "model/SizeFormat.h"

#include <array>
#include <cstdint>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace kelvo::ui {

// ---- Shared value functions ----
// Named colour of a size: heat1 (largest) ... heat4 (small or unknown). Decimal thresholds.
std::string_view heatColorName(std::optional<std::int64_t> bytes);

// ---- Appearance toggle ----
// The theme the title bar's toggle sets, given whether the window is drawn dark now.
AppTheme toggledTheme(bool drawnDark);
// The toggle's text: what a press switches to.
std::string_view toggleLabel(bool drawnDark);
// Whether the window is drawn dark for a theme, given the system's appearance.
bool drawsDark(AppTheme theme, bool systemDark);

// ---- Settings ----
// The settings' line for a folder searched for projects: under the home as "~/…", the home
// itself as "~ (your home folder)"; escaped, as a folder's name may hold any character.
std::string projectFolderLabel(std::string_view folder, std::string_view home);
// What the project folders do, with some or with none.
std::string_view projectFoldersNote(bool anyFolder);

// ---- Left rail ----
// A click on the card of `kind`: clears the selection when it is that kind, else selects it.
std::optional<ManagerKind> toggledSelection(std::optional<ManagerKind> current, ManagerKind kind);

// Detected and enabled reports, largest total first, stable (ties keep result order).
std::vector<const ManagerReport*> railReports(const ScanResult& result, const std::set<ManagerKind>& enabled);
// Undetected and enabled reports, in result order.
std::vector<const ManagerReport*> missingReports(const ScanResult& result, const std::set<ManagerKind>& enabled);

struct BigNumber {
    std::string number; // "~1.2"
    std::string unit;   // "GB"
};
// Splits a size text at spaces (empty parts dropped) into "~" + first part and the second part.
BigNumber splitSizeText(std::string_view sizeText);

// "of 4.1 GB total · 3 managers · 412 packages": what the included managers hold, each file once,
// and how many of the rail's reports are package managers.
std::string railSubtitle(const ScanResult& result, const std::set<ManagerKind>& included,
    const std::vector<const ManagerReport*>& rail, SizeUnit unit);
// "Not detected: Homebrew · bun", or empty when nothing is missing.
std::string notDetectedLine(const std::vector<const ManagerReport*>& missing);
// "3 of 6 managers detected · 412 packages inventoried"
std::string countLine(const std::vector<const ManagerReport*>& rail, std::int64_t inventoried);

enum class ReclaimNoteKind { none, reclaimable, prunable };
struct ReclaimNote {
    ReclaimNoteKind kind = ReclaimNoteKind::none;
    std::string text;
};
// "+1.2 GB reclaimable" (accent), "Prunable — pnpm decides" (safe), or nothing.
ReclaimNote reclaimNote(const ManagerReport& report, SizeUnit unit);

// ---- Inventory panel ----
// Detected reports whose kind is enabled, in result order.
std::vector<const ManagerReport*> visibleReports(const ScanResult& result, const std::set<ManagerKind>& enabled);

// The first report of `selected` (detected or not); nullptr when none is selected or none exists.
const ManagerReport* selectedReport(const ScanResult& result, std::optional<ManagerKind> selected);

struct PanelTab {
    std::optional<ManagerKind> kind; // none: every manager
    std::string title;               // "All", "Homebrew", …
    std::int64_t count = 0;          // the items listed under it
    friend bool operator==(const PanelTab&, const PanelTab&) = default;
};
// "All" with the items of every detected report, then each visible report with its own.
std::vector<PanelTab> panelTabs(const ScanResult& result, const std::set<ManagerKind>& enabled);

// The verdict filter's choices in order: all verdicts (none), then each tier.
inline constexpr std::array<std::optional<Tier>, 4> verdictFilters{
    std::nullopt, Tier::safeByDesign, Tier::orphanCandidate, Tier::signalOnly};
// The filter of a raw tier; none for "" or a value that names no tier.
std::optional<Tier> verdictFilterFromRaw(std::string_view raw);
// "All verdicts", "Safe", "Likely unused", "In use"
std::string verdictFilterTitle(std::optional<Tier> filter);

struct PanelMessage {
    std::string title;
    std::string detail;
};
// What the list says when it has no rows: what is empty, and why. `tabCount`: the items under the
// selected tab (All when none is selected), none when the selection has no tab.
PanelMessage emptyListTexts(bool anyIncluded, std::optional<ManagerKind> selected, std::optional<Tier> filter,
    std::optional<std::int64_t> tabCount);

// The selected report's quick wins, else those of every visible report in order.
std::vector<QuickWin> panelQuickWins(
    const ScanResult& result, const std::set<ManagerKind>& enabled, std::optional<ManagerKind> selected);

// The selected report's rows, else every visible report's rows re-sorted by size; then only
// the rows of `filter`'s tier (a group counts with the tier of what it holds).
std::vector<InventoryRow> panelRows(const ScanResult& result, const std::set<ManagerKind>& enabled,
    std::optional<ManagerKind> selected, std::optional<Tier> filter);

// How many of `total` rows the list shows: all once unfolded, else at most `limit`.
std::size_t shownRowCount(std::size_t total, std::size_t limit, bool listExpanded);
// Whether the show-all button is there: folded and more rows than the limit.
bool showAllVisible(std::size_t total, std::size_t limit, bool listExpanded);
// "Show all 31 packages" (plural even for one) and "1 more".
std::string showAllText(std::size_t total);
std::string moreText(std::size_t total, std::size_t limit);

// "1 safe quick win", "3 safe quick wins", "0 safe quick wins"
std::string quickWinsHeader(std::size_t count);
// "Sort: size ↓ · showing 30 of 31"
std::string sortLine(std::size_t shown, std::size_t total);
// The commands joined by line feeds, none after the last.
std::string copyAllText(const std::vector<QuickWin>& wins);

// ---- Rows ----
// The version shown beside the name: only when present and not the name itself.
std::optional<std::string> shownVersion(const DependencyItem& item);
// "3 versions": the keep item and the superseded ones, always plural.
std::string versionsText(const VersionGroup& group);

// What an item's row shows. Names, versions and evidence come from directory listings and tool
// output: each text is escaped (escapeForTerminal), so that a row cannot pretend to be another;
// what is copied or revealed (command, path) is not among them and stays exact.
struct ItemRowTexts {
    std::string chip; // short label of the manager the row names
    std::string name;
    std::string version;  // beside the name, "" when none is shown
    std::string identity; // after the version, "" when none
    std::vector<std::string> evidence;
};
// The row of `item` in `manager`'s report; `home` shortens a folder to "~/…".
ItemRowTexts itemRowTexts(const DependencyItem& item, ManagerKind manager, std::string_view home);

} // namespace kelvo::ui
