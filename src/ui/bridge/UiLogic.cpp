#include "ui/bridge/UiLogic.h"

#include "inventory/Inventory.h"

#include <algorithm>

namespace kelvo::ui {

std::vector<FlowRow> flowRows(const std::vector<FlowSize>& children, double maxWidth, double spacing) {
    std::vector<FlowRow> rows;
    FlowRow current;
    for (int i = 0; i < static_cast<int>(children.size()); ++i) {
        const double w = children[i].width;
        const double h = children[i].height;
        const double candidate = current.width == 0 ? w : current.width + spacing + w;
        if (candidate > maxWidth && !current.indices.empty()) {
            rows.push_back(std::move(current));
            current = FlowRow{{i}, w, h};
        } else {
            current.indices.push_back(i);
            current.width = candidate;
            current.height = std::max(current.height, h);
        }
    }
    if (!current.indices.empty()) {
        rows.push_back(std::move(current));
    }
    return rows;
}

FlowSize flowSizeThatFits(const std::vector<FlowSize>& children, std::optional<double> proposedWidth, double spacing,
                          double lineSpacing) {
    const double maxWidth = proposedWidth.value_or(std::numeric_limits<double>::infinity());
    const auto rows = flowRows(children, maxWidth, spacing);
    double height = 0;
    double widest = 0;
    for (const auto& row : rows) {
        height += row.height;
        widest = std::max(widest, row.width);
    }
    if (rows.size() > 1) {
        height += lineSpacing * static_cast<double>(rows.size() - 1);
    }
    return {proposedWidth ? *proposedWidth : widest, height};
}

std::vector<FlowPlacement> flowPlacements(const std::vector<FlowSize>& children, double width, double spacing,
                                          double lineSpacing) {
    std::vector<FlowPlacement> placements(children.size());
    double y = 0;
    for (const auto& row : flowRows(children, width, spacing)) {
        double x = 0;
        for (int index : row.indices) {
            placements[static_cast<std::size_t>(index)] = {x, y};
            x += children[static_cast<std::size_t>(index)].width + spacing;
        }
        y += row.height + lineSpacing;
    }
    return placements;
}

std::string_view heatColorName(std::optional<std::int64_t> bytes) {
    if (!bytes) {
        return "heat4";
    }
    if (*bytes >= 2'000'000'000) {
        return "heat1";
    }
    if (*bytes >= 350'000'000) {
        return "heat2";
    }
    if (*bytes >= 120'000'000) {
        return "heat3";
    }
    return "heat4";
}

std::string abbreviatedPath(std::string_view path, std::string_view home) {
    // Only a whole leading path component counts: /Users/mex is not inside /Users/me, and "~x"
    // would name another user's home.
    const bool inside = !home.empty() && path.substr(0, home.size()) == home &&
                        (path.size() == home.size() || path[home.size()] == '/' || home.back() == '/');
    if (inside) {
        return "~" + std::string(path.substr(home.size()));
    }
    return std::string(path);
}

AppTheme toggledTheme(bool drawnDark) { return drawnDark ? AppTheme::light : AppTheme::dark; }

std::string_view toggleLabel(bool drawnDark) { return drawnDark ? "Light mode" : "Dark mode"; }

bool drawsDark(AppTheme theme, bool systemDark) {
    switch (theme) {
    case AppTheme::dark:
        return true;
    case AppTheme::light:
        return false;
    case AppTheme::system:
        break;
    }
    return systemDark;
}

std::optional<ManagerKind> toggledSelection(std::optional<ManagerKind> current, ManagerKind kind) {
    if (current == kind) {
        return std::nullopt;
    }
    return kind;
}

std::vector<const ManagerReport*> railReports(const ScanResult& result, const std::set<ManagerKind>& enabled) {
    std::vector<const ManagerReport*> reports;
    for (const auto& report : result.managers) {
        if (report.detected && enabled.count(report.kind) != 0) {
            reports.push_back(&report);
        }
    }
    std::stable_sort(reports.begin(), reports.end(),
                     [](const ManagerReport* a, const ManagerReport* b) { return a->totalBytes() > b->totalBytes(); });
    return reports;
}

std::vector<const ManagerReport*> missingReports(const ScanResult& result, const std::set<ManagerKind>& enabled) {
    std::vector<const ManagerReport*> reports;
    for (const auto& report : result.managers) {
        if (!report.detected && enabled.count(report.kind) != 0) {
            reports.push_back(&report);
        }
    }
    return reports;
}

BigNumber splitSizeText(std::string_view sizeText) {
    std::vector<std::string> parts;
    std::size_t start = 0;
    while (start <= sizeText.size()) {
        const std::size_t end = std::min(sizeText.find(' ', start), sizeText.size());
        if (end > start) {
            parts.emplace_back(sizeText.substr(start, end - start));
        }
        start = end + 1;
    }
    if (parts.empty()) {
        return {"~" + std::string(sizeText), {}};
    }
    return {"~" + parts[0], parts.size() > 1 ? parts[1] : std::string()};
}

std::string railSubtitle(const ScanResult& result, std::size_t railCount, SizeUnit unit) {
    return "of " + formatBytes(result.totalBytes(), unit) + " total \u00B7 " + std::to_string(railCount) + " manager" +
           (railCount == 1 ? "" : "s") + " \u00B7 " + std::to_string(inventoriedCount(result)) + " packages";
}

std::string notDetectedLine(const std::vector<const ManagerReport*>& missing) {
    if (missing.empty()) {
        return {};
    }
    std::string line = "Not detected: ";
    for (std::size_t i = 0; i < missing.size(); ++i) {
        if (i > 0) {
            line += " \u00B7 ";
        }
        line += displayName(missing[i]->kind);
    }
    return line;
}

std::string countLine(std::size_t railCount, std::int64_t inventoried) {
    return std::to_string(railCount) + " of " + std::to_string(allManagerKinds.size()) + " managers detected \u00B7 " +
           std::to_string(inventoried) + " packages inventoried";
}

ReclaimNote reclaimNote(const ManagerReport& report, SizeUnit unit) {
    const std::int64_t reclaimable = reclaimableBytes(report.items);
    if (reclaimable > 0) {
        return {ReclaimNoteKind::reclaimable, "+" + formatBytes(reclaimable, unit) + " reclaimable"};
    }
    const bool prunable = std::any_of(report.items.begin(), report.items.end(),
                                      [](const DependencyItem& item) { return item.tier == Tier::safeByDesign; });
    if (prunable) {
        return {ReclaimNoteKind::prunable, "Prunable \u2014 " + std::string(displayName(report.kind)) + " decides"};
    }
    return {};
}

} // namespace kelvo::ui
