#include "cli/ReportText.h"

#include "adapters/Sources.h"
#include "inventory/DisplayText.h"
#include "inventory/Inventory.h"

#include <algorithm>
#include <cstdlib>
#include <map>
#include <vector>

#include <unistd.h>

namespace kelvo::report {

TextStyle textStyleForStandardOutput() {
    const char* noColor = std::getenv("NO_COLOR");
    const bool styled = ::isatty(STDOUT_FILENO) == 1 && (noColor == nullptr || *noColor == '\0');
    return TextStyle{styled, styled};
}

namespace {

enum class Paint { none, bold, faint, accent, safe, caution, essential };

std::string_view sgr(Paint paint) {
    switch (paint) {
    case Paint::none: return "";
    case Paint::bold: return "1";
    case Paint::faint: return "2";
    case Paint::accent: return "1;36";
    case Paint::safe: return "32";
    case Paint::caution: return "33";
    case Paint::essential: return "34";
    }
    return "";
}

Paint paintFor(VerdictTag tag) {
    const std::string_view name = verdictColorName(tag);
    if (name == "safe") {
        return Paint::safe;
    }
    if (name == "caution") {
        return Paint::caution;
    }
    return Paint::essential;
}

// A piece of printed text. `text` is already safe (escaped or our own).
struct Cell {
    std::string text;
    Paint paint = Paint::none;
    bool rightAligned = false;
};

Cell safe(std::string_view raw, Paint paint = Paint::none, bool rightAligned = false) {
    return Cell{escapeForTerminal(raw), paint, rightAligned};
}

// A line: either a table row (cells in columns, sharing widths with the other rows of its table)
// or free text (cells simply concatenated).
struct Line {
    std::string indent;
    std::vector<Cell> cells;
    int table = -1; // -1: free text
};

constexpr std::size_t maxColumnWidth = 40;
constexpr std::string_view columnGap = "  ";

class Document {
public:
    explicit Document(TextStyle style) : style_(style) {}

    int newTable() { return nextTable_++; }
    void blank() { lines_.push_back(Line{}); }
    void text(std::string indent, std::vector<Cell> cells) {
        lines_.push_back(Line{std::move(indent), std::move(cells)});
    }
    void row(int table, std::string indent, std::vector<Cell> cells) {
        lines_.push_back(Line{std::move(indent), std::move(cells), table});
    }

    std::string render() const {
        // Column widths per table, capped so one long name does not push every row far right.
        std::map<int, std::vector<std::size_t>> widths;
        for (const auto& line : lines_) {
            if (line.table < 0) {
                continue;
            }
            auto& w = widths[line.table];
            w.resize(std::max(w.size(), line.cells.size()), 0);
            for (std::size_t i = 0; i < line.cells.size(); ++i) {
                const std::size_t width = displayWidth(line.cells[i].text);
                w[i] = std::max(w[i], line.cells[i].rightAligned ? width : std::min(width, maxColumnWidth));
            }
        }
        std::string out;
        for (const auto& line : lines_) {
            std::string text = line.indent;
            if (line.table < 0) {
                for (const auto& cell : line.cells) {
                    text += painted(cell);
                }
            } else if (!style_.align) {
                bool first = true;
                for (const auto& cell : line.cells) {
                    if (cell.text.empty()) {
                        continue;
                    }
                    if (!first) {
                        text += columnGap;
                    }
                    text += painted(cell);
                    first = false;
                }
            } else {
                const auto& w = widths.at(line.table);
                for (std::size_t i = 0; i < line.cells.size(); ++i) {
                    const Cell& cell = line.cells[i];
                    const std::size_t width = displayWidth(cell.text);
                    const std::string padding(w[i] > width ? w[i] - width : 0, ' ');
                    if (i > 0) {
                        text += columnGap;
                    }
                    text += cell.rightAligned ? padding + painted(cell) : painted(cell) + padding;
                }
            }
            while (!text.empty() && text.back() == ' ') {
                text.pop_back();
            }
            out += text;
            out += '\n';
        }
        return out;
    }

private:
    std::string painted(const Cell& cell) const {
        if (!style_.color || cell.paint == Paint::none || cell.text.empty()) {
            return cell.text;
        }
        return "\x1b[" + std::string(sgr(cell.paint)) + "m" + cell.text + "\x1b[0m";
    }

    TextStyle style_;
    std::vector<Line> lines_;
    int nextTable_ = 0;
};

std::string plural(std::int64_t n, std::string_view word, std::string_view suffix = "s") {
    return std::to_string(n) + " " + std::string(word) + (n == 1 ? "" : std::string(suffix));
}

std::string reclaimNote(const ManagerReport& report, SizeUnit unit, Paint& paint) {
    const std::int64_t reclaimable = reclaimableBytes(report.items);
    if (reclaimable > 0) {
        paint = Paint::accent;
        return "+" + formatBytes(reclaimable, unit) + " reclaimable";
    }
    const bool prunable = std::any_of(report.items.begin(), report.items.end(),
        [](const DependencyItem& item) { return item.tier == Tier::safeByDesign; });
    if (prunable) {
        paint = Paint::safe;
        return "Prunable \u2014 " + std::string(displayName(report.kind)) + " decides";
    }
    paint = Paint::none;
    return {};
}

void reclaimLine(Document& doc, const std::string& indent, const DependencyItem& item) {
    if (!item.reclaimCommand) {
        return;
    }
    const std::string shown = escapeForTerminal(*item.reclaimCommand);
    if (shown == *item.reclaimCommand) {
        doc.text(indent, {Cell{"Reclaim: ", Paint::faint}, Cell{"$ ", Paint::faint}, Cell{shown}});
    } else {
        // Escaped, the line is not the command: pasted it would name another file (perhaps
        // another item's, spelt with a real backslash). Commented out, it runs nothing.
        doc.text(indent, {Cell{"Reclaim: ", Paint::faint}, Cell{"# ", Paint::faint}, Cell{shown},
                             Cell{"  (escaped; the exact command is in --json)", Paint::faint}});
    }
}

void itemDetails(Document& doc, const DependencyItem& item, ManagerKind manager, SizeUnit unit) {
    const std::string indent(8, ' ');
    if (!item.evidence.empty()) {
        std::string joined;
        for (const auto& evidence : item.evidence) {
            if (!joined.empty()) {
                joined += " \u00b7 ";
            }
            joined += escapeForTerminal(evidence.summary());
        }
        doc.text(indent, {Cell{"Evidence: ", Paint::faint}, Cell{joined}});
    }
    doc.text(indent, {Cell{"Verdict: ", Paint::faint}, safe(verdictText(item, manager, unit))});
    reclaimLine(doc, indent, item);
    if (item.path) {
        doc.text(indent, {Cell{"Path: ", Paint::faint}, safe(*item.path)});
    }
}

void managerSection(Document& doc, const ManagerReport& report, SizeUnit unit) {
    const ManagerKind kind = report.kind;
    std::string heading = std::string(displayName(kind));
    if (report.version) {
        heading += " " + escapeForTerminal(*report.version);
    }
    heading += " \u00b7 " + formatBytes(report.totalBytes(), unit) + " \u00b7 " + inventorySummary(report);
    doc.blank();
    doc.text("", {Cell{heading, Paint::bold}});

    if (!report.quickWins.empty()) {
        doc.text("  ", {Cell{plural(static_cast<std::int64_t>(report.quickWins.size()), "safe quick win")}});
        for (const auto& win : report.quickWins) {
            // "Clean the npm cache · 646 MB": what the command addresses, when that was measured.
            doc.text("    ", {safe(win.title, Paint::bold),
                                 Cell{win.bytes ? " \u00b7 " + formatBytes(*win.bytes, unit) : std::string()}});
            doc.text("      ", {Cell{"$ ", Paint::faint}, safe(win.command)});
            doc.text("      ", {safe(win.detail, Paint::faint)});
        }
    }

    const auto rows = buildRows(kind, report.items);
    if (rows.empty()) {
        doc.text("  ", {Cell{"Nothing inventoried."}});
        return;
    }
    doc.text("  ", {Cell{plural(static_cast<std::int64_t>(rows.size()), "row") + " \u00b7 largest first"}});
    const int table = doc.newTable();
    for (const auto& row : rows) {
        if (!row.isGroup()) {
            const DependencyItem& item = row.asItem().item;
            const VerdictTag tag = verdictTag(item.tier, row.asItem().manager);
            const bool showVersion = item.version && *item.version != item.name;
            doc.row(table, "    ",
                {Cell{std::string(verdictLabel(tag)), paintFor(tag)}, safe(item.name, Paint::bold),
                    showVersion ? safe(*item.version, Paint::faint) : Cell{},
                    Cell{sizeAndFreedText(item, unit), Paint::none, true},
                    item.identity ? safe(*item.identity) : Cell{}});
            itemDetails(doc, item, row.asItem().manager, unit);
            continue;
        }
        const VersionGroup& group = row.asGroup();
        const VerdictTag tag = verdictTag(group.tier(), group.manager);
        doc.row(table, "    ",
            {Cell{std::string(verdictLabel(tag)), paintFor(tag)}, safe(group.title, Paint::bold),
                Cell{std::to_string(1 + group.superseded.size()) + " versions", Paint::faint},
                Cell{sizeText(group.totalBytes(), unit), Paint::none, true}, safe(group.summary())});
        const int members = doc.newTable();
        doc.row(members, "        ",
            {Cell{"KEEP", Paint::safe}, safe(group.keep.name, Paint::bold),
                Cell{sizeText(group.keep.bytes, unit), Paint::none, true}, safe(group.keepLine(), Paint::faint)});
        for (const auto& item : group.superseded) {
            const auto pinned = VersionGroup::pinnedBy(item);
            doc.row(members, "        ",
                {pinned ? Cell{"KEEP", Paint::safe} : Cell{"SUPERSEDED", Paint::caution}, safe(item.name, Paint::bold),
                    Cell{sizeText(item.bytes, unit), Paint::none, true},
                    pinned ? safe(*pinned, Paint::faint) : Cell{}});
            reclaimLine(doc, std::string(10, ' '), item);
        }
    }
}

} // namespace

std::string renderText(const ScanResult& result, SizeUnit unit, TextStyle style) {
    std::vector<const ManagerReport*> rail;
    std::vector<const ManagerReport*> missing;
    for (const auto& report : result.managers) {
        if (report.detected) {
            rail.push_back(&report);
        } else if (isPackageManager(report.kind)) {
            missing.push_back(&report);
        }
    }
    std::stable_sort(rail.begin(), rail.end(),
        [](const ManagerReport* a, const ManagerReport* b) { return a->totalBytes() > b->totalBytes(); });
    const std::int64_t count = inventoriedCount(result);
    const auto managerCount = static_cast<std::int64_t>(std::count_if(
        rail.begin(), rail.end(), [](const ManagerReport* report) { return isPackageManager(report->kind); }));

    Document doc(style);
    // "~Zero KB" reads oddly in a sentence; say it plainly when nothing is reclaimable.
    const std::int64_t reclaimable = reclaimableBytes(result);
    doc.text("",
        {Cell{reclaimable > 0 ? "~" + formatBytes(reclaimable, unit) + " reclaimable" : "Nothing reclaimable",
             Paint::accent},
            Cell{(reclaimable > 0 ? " of " : " \u00b7 ") + formatBytes(result.totalBytes(), unit) + " total \u00b7 " +
                 plural(managerCount, "manager") + " \u00b7 " + std::to_string(count) + " packages"}});

    doc.blank();
    if (!rail.empty()) {
        doc.text("", {Cell{"Managers \u2014 by size", Paint::bold}});
        const int table = doc.newTable();
        for (const auto* report : rail) {
            Paint notePaint = Paint::none;
            std::string note = reclaimNote(*report, unit, notePaint);
            doc.row(table, "  ",
                {Cell{std::string(displayName(report->kind)), Paint::bold},
                    report->version ? safe(*report->version, Paint::faint) : Cell{},
                    Cell{formatBytes(report->totalBytes(), unit), Paint::none, true}, Cell{inventorySummary(*report)},
                    Cell{std::move(note), notePaint}});
        }
    }
    if (!missing.empty()) {
        std::string names;
        for (const auto* report : missing) {
            if (!names.empty()) {
                names += " \u00b7 ";
            }
            names += displayName(report->kind);
        }
        doc.text("", {Cell{"Not detected: " + names, Paint::faint}});
    }
    doc.text("", {Cell{std::to_string(managerCount) + " of " + std::to_string(packageManagerCount()) +
                           " managers detected \u00b7 " + std::to_string(count) + " packages inventoried",
                     Paint::faint}});

    for (const auto* report : rail) {
        managerSection(doc, *report, unit);
    }
    return doc.render();
}

std::string progressLine(const std::set<ManagerKind>& finished, std::size_t adapterCount,
    const std::map<ManagerKind, ScanCoordinator::LiveCount>& counts, SizeUnit unit, std::size_t columns) {
    std::string line =
        "Scanning\u2026 " + std::to_string(finished.size()) + " of " + std::to_string(adapterCount) + " done";
    std::string names;
    for (ManagerKind kind : finished) {
        names += names.empty() ? ": " : " \u00b7 ";
        names += displayName(kind);
    }
    line += names;
    for (const auto& [kind, count] : counts) {
        if (!finished.contains(kind) && (count.files > 0 || !count.note.empty())) {
            line += " \u2014 " + std::string(displayName(kind)) + " \u00b7 " +
                    (count.note.empty() ? formatFilesAndBytes(count.files, count.bytes, unit)
                                        : escapeForTerminal(count.note));
        }
    }
    if (columns > 0 && displayWidth(line) > columns) {
        // Code points are columns here: the line holds no wide or combining characters.
        std::size_t kept = 0, end = 0;
        while (end < line.size() && kept + 1 < columns) {
            ++end;
            while (end < line.size() && (static_cast<unsigned char>(line[end]) & 0xC0) == 0x80) ++end;
            ++kept;
        }
        while (end > 0 && line[end - 1] == ' ') --end;
        line = line.substr(0, end) + "\u2026";
    }
    return line;
}

} // namespace kelvo::report
