#include "ui/logic/ViewLogic.h"

#include "adapters/Sources.h"
#include "inventory/DisplayText.h"

#include <algorithm>

namespace kelvo::ui {

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

AppTheme toggledTheme(bool drawnDark) { return drawnDark ? AppTheme::light : AppTheme::dark; }

std::string_view toggleLabel(bool drawnDark) { return drawnDark ? "Light mode" : "Dark mode"; }

bool drawsDark(AppTheme theme, bool systemDark) {
    switch (theme) {
    case AppTheme::dark: return true;
    case AppTheme::light: return false;
    case AppTheme::system: break;
    }
    return systemDark;
}

std::string projectFolderLabel(std::string_view folder, std::string_view home) {
    const std::string shown = homeAbbreviated(folder, home);
    return shown == "~" ? "~ (your home folder)" : escapeForTerminal(shown);
}

std::string_view projectFoldersNote(bool anyFolder) {
    return anyFolder ? "Searched for your projects' build folders (node_modules, target, .venv, build, \u2026); hidden "
                       "folders "
                       "are skipped."
                     : "No folder: your projects are not searched.";
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
        if (!report.detected && enabled.count(report.kind) != 0 && isPackageManager(report.kind)) {
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

namespace {
std::size_t packageManagers(const std::vector<const ManagerReport*>& reports) {
    return static_cast<std::size_t>(std::count_if(
        reports.begin(), reports.end(), [](const ManagerReport* report) { return isPackageManager(report->kind); }));
}
} // namespace

std::string railSubtitle(const ScanResult& result, const std::set<ManagerKind>& included,
    const std::vector<const ManagerReport*>& rail, SizeUnit unit) {
    const std::size_t railCount = packageManagers(rail);
    return "of " + formatBytes(result.totalBytes(included), unit) + " total \u00B7 " + std::to_string(railCount) +
           " manager" + (railCount == 1 ? "" : "s") + " \u00B7 " + std::to_string(inventoriedCount(result, included)) +
           " packages";
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

std::string countLine(const std::vector<const ManagerReport*>& rail, std::int64_t inventoried) {
    return std::to_string(packageManagers(rail)) + " of " + std::to_string(packageManagerCount()) +
           " managers detected \u00B7 " + std::to_string(inventoried) + " packages inventoried";
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

std::vector<const ManagerReport*> visibleReports(const ScanResult& result, const std::set<ManagerKind>& enabled) {
    std::vector<const ManagerReport*> reports;
    for (const auto& report : result.managers) {
        if (report.detected && enabled.count(report.kind) != 0) {
            reports.push_back(&report);
        }
    }
    return reports;
}

const ManagerReport* selectedReport(const ScanResult& result, std::optional<ManagerKind> selected) {
    if (!selected) {
        return nullptr;
    }
    for (const auto& report : result.managers) {
        if (report.kind == *selected) {
            return &report;
        }
    }
    return nullptr;
}

std::vector<PanelTab> panelTabs(const ScanResult& result, const std::set<ManagerKind>& enabled) {
    std::vector<PanelTab> tabs{{std::nullopt, "All", inventoriedCount(result)}};
    for (const ManagerReport* report : visibleReports(result, enabled)) {
        tabs.push_back(
            {report->kind, std::string(displayName(report->kind)), static_cast<std::int64_t>(report->items.size())});
    }
    return tabs;
}

namespace {
// A verdict within a sentence.
std::string_view tierWord(Tier tier) {
    switch (tier) {
    case Tier::safeByDesign: return "safe";
    case Tier::orphanCandidate: return "likely unused";
    case Tier::signalOnly: break;
    }
    return "in use";
}
} // namespace

std::optional<Tier> verdictFilterFromRaw(std::string_view raw) {
    for (const auto filter : verdictFilters) {
        if (filter && rawValue(*filter) == raw) {
            return filter;
        }
    }
    return std::nullopt;
}

std::string verdictFilterTitle(std::optional<Tier> filter) {
    if (!filter) {
        return "All verdicts";
    }
    std::string title(tierWord(*filter));
    title[0] = static_cast<char>(title[0] - 'a' + 'A');
    return title;
}

PanelMessage emptyListTexts(bool anyIncluded, std::optional<ManagerKind> selected, std::optional<Tier> filter,
    std::optional<std::int64_t> tabCount) {
    if (!anyIncluded) {
        return {"No managers included", "Every manager is turned off in Settings. Turn one on to see what it holds."};
    }
    // The tab holds items, none of them with this verdict.
    if (filter && tabCount.value_or(0) > 0) {
        return {"Nothing " + std::string(tierWord(*filter)) + " in " +
                    (selected ? std::string(displayName(*selected)) : "any manager"),
            "No item has this verdict. Choose All verdicts to see every item."};
    }
    if (selected) {
        return {std::string(displayName(*selected)) + " holds nothing to list",
            "Its scan found no packages, versions or caches."};
    }
    return {"Nothing to list", "None of the included managers was found on this computer."};
}

std::vector<QuickWin> panelQuickWins(
    const ScanResult& result, const std::set<ManagerKind>& enabled, std::optional<ManagerKind> selected) {
    if (const ManagerReport* report = selectedReport(result, selected)) {
        return report->quickWins;
    }
    std::vector<QuickWin> wins;
    for (const ManagerReport* report : visibleReports(result, enabled)) {
        wins.insert(wins.end(), report->quickWins.begin(), report->quickWins.end());
    }
    return wins;
}

std::vector<InventoryRow> panelRows(const ScanResult& result, const std::set<ManagerKind>& enabled,
    std::optional<ManagerKind> selected, std::optional<Tier> filter) {
    std::vector<InventoryRow> rows;
    if (const ManagerReport* report = selectedReport(result, selected)) {
        rows = buildRows(report->kind, report->items);
    } else {
        for (const ManagerReport* report : visibleReports(result, enabled)) {
            auto built = buildRows(report->kind, report->items);
            rows.insert(rows.end(), std::make_move_iterator(built.begin()), std::make_move_iterator(built.end()));
        }
        sortRows(rows);
    }
    if (filter) {
        std::erase_if(rows, [&](const InventoryRow& row) { return row.tier() != *filter; });
    }
    return rows;
}

std::size_t shownRowCount(std::size_t total, std::size_t limit, bool listExpanded) {
    return listExpanded ? total : std::min(total, limit);
}

bool showAllVisible(std::size_t total, std::size_t limit, bool listExpanded) { return !listExpanded && limit < total; }

std::string showAllText(std::size_t total) { return "Show all " + std::to_string(total) + " packages"; }

std::string moreText(std::size_t total, std::size_t limit) {
    return std::to_string(total > limit ? total - limit : 0) + " more";
}

std::string quickWinsHeader(std::size_t count) {
    return std::to_string(count) + " safe quick win" + (count == 1 ? "" : "s");
}

std::string sortLine(std::size_t shown, std::size_t total) {
    return "Sort: size \u2193 \u00b7 showing " + std::to_string(shown) + " of " + std::to_string(total);
}

std::string copyAllText(const std::vector<QuickWin>& wins) {
    std::string joined;
    for (std::size_t i = 0; i < wins.size(); ++i) {
        if (i != 0) {
            joined += '\n';
        }
        joined += wins[i].command;
    }
    return joined;
}

std::optional<std::string> shownVersion(const DependencyItem& item) {
    if (!item.version || *item.version == item.name) {
        return std::nullopt;
    }
    return item.version;
}

std::string versionsText(const VersionGroup& group) {
    return std::to_string(group.superseded.size() + 1) + " versions";
}

ItemRowTexts itemRowTexts(const DependencyItem& item, ManagerKind manager, std::string_view home) {
    ItemRowTexts texts{std::string(shortLabel(manager)), escapeForTerminal(item.name),
        escapeForTerminal(shownVersion(item).value_or(std::string())),
        escapeForTerminal(item.identity.value_or(std::string())), {}};
    for (const auto& entry : item.evidence) {
        texts.evidence.push_back(escapeForTerminal(entry.summary()));
    }
    // A project's build folder is no package of the source that found it: its row names what
    // manages it (its lockfile's manager, its kind of project), shows the project's folder where a
    // version stands and its activity (the first evidence) as what it is, unless it says itself.
    if (descriptor(manager).type == SourceType::projects) {
        if (item.managedBy) {
            texts.chip = escapeForTerminal(*item.managedBy);
        }
        if (item.project) {
            texts.version = escapeForTerminal(homeAbbreviated(*item.project, home));
        }
        if (!texts.evidence.empty() && !item.identity) {
            texts.identity = texts.evidence.front();
        }
    }
    return texts;
}

} // namespace kelvo::ui
