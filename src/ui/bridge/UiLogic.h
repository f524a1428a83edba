#pragma once

// The window's decisions that need no toolkit: row breaking, heat colours, paths, the rail's
// orders and texts, the appearance toggle. Plain C++ so that they are tested without a window.

#include "model/ScanModel.h"
#include "model/SizeFormat.h"

#include <cstdint>
#include <limits>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace kelvo::ui {

// ---- FlowLayout ----
struct FlowSize {
    double width = 0;
    double height = 0;
};

struct FlowRow {
    std::vector<int> indices;
    double width = 0;
    double height = 0;
};

// Left to right, a new row when the next child would pass maxWidth; a child wider than
// maxWidth gets a row of its own. No spacing follows a row width of exactly 0.
std::vector<FlowRow> flowRows(const std::vector<FlowSize>& children, double maxWidth, double spacing);

// The container's size: an absent proposedWidth means the width is open.
FlowSize flowSizeThatFits(const std::vector<FlowSize>& children, std::optional<double> proposedWidth,
                          double spacing, double lineSpacing);

struct FlowPlacement {
    double x = 0;
    double y = 0;
};
// Top-leading corner of every child, in child order.
std::vector<FlowPlacement> flowPlacements(const std::vector<FlowSize>& children, double width, double spacing,
                                          double lineSpacing);

// ---- Shared value functions ----
// Named colour of a size: heat1 (largest) ... heat4 (small or unknown). Decimal thresholds.
std::string_view heatColorName(std::optional<std::int64_t> bytes);

// "~" + rest when path is home or inside it, else path unchanged.
std::string abbreviatedPath(std::string_view path, std::string_view home);

// ---- Appearance toggle ----
// The theme the title bar's toggle sets, given whether the window is drawn dark now.
AppTheme toggledTheme(bool drawnDark);
// The toggle's text: what a press switches to.
std::string_view toggleLabel(bool drawnDark);
// Whether the window is drawn dark for a theme, given the system's appearance.
bool drawsDark(AppTheme theme, bool systemDark);

// ---- Selection ----
// A click on the card of `kind`: clears the selection when it is that kind, else selects it.
std::optional<ManagerKind> toggledSelection(std::optional<ManagerKind> current, ManagerKind kind);

// ---- Left rail ----
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

// "of 4.1 GB total · 3 managers · 412 packages"
std::string railSubtitle(const ScanResult& result, std::size_t railCount, SizeUnit unit);
// "Not detected: Homebrew · bun", or empty when nothing is missing.
std::string notDetectedLine(const std::vector<const ManagerReport*>& missing);
// "3 of 5 managers detected · 412 packages inventoried"
std::string countLine(std::size_t railCount, std::int64_t inventoried);

enum class ReclaimNoteKind { none, reclaimable, prunable };
struct ReclaimNote {
    ReclaimNoteKind kind = ReclaimNoteKind::none;
    std::string text;
};
// "+1.2 GB reclaimable" (accent), "Prunable — pnpm decides" (safe), or nothing.
ReclaimNote reclaimNote(const ManagerReport& report, SizeUnit unit);

} // namespace kelvo::ui
