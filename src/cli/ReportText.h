#pragma once

#include "model/ScanModel.h"
#include "model/SizeFormat.h"
#include "scan/ScanCoordinator.h"

#include <cstddef>
#include <map>
#include <set>
#include <string>

namespace kelvo::report {

struct TextStyle {
    bool color = false; // ANSI colours
    bool align = false; // columns padded to a common width (display columns = code points)
};

// What the terminal front end uses: colour and alignment only when standard output is a terminal
// and NO_COLOR is unset or empty; plain text otherwise.
TextStyle textStyleForStandardOutput();

// The text report: the reclaimable summary, the managers by size with their summaries and reclaim
// notes, the "Not detected:" line, then per detected manager (by size) its quick wins and its rows
// in buildRows order with evidence, verdict sentence and reclaim command. Every text that comes
// from the disk or from tools is escaped (escapeForTerminal), in plain and in styled output alike.
std::string renderText(const ScanResult& result, SizeUnit unit, TextStyle style = {});

// The live progress line while scanning (no line feed): which managers are done, then how far each
// one still scanning has measured, e.g.
// "Scanning… 2 of 5 done: Homebrew · npm — pnpm · 412,000 files · 1.9 GB", cut to `columns`
// display columns (0: not cut) so that it stays one line a carriage return can redraw.
std::string progressLine(const std::set<ManagerKind>& finished, std::size_t adapterCount,
    const std::map<ManagerKind, ScanCoordinator::LiveCount>& counts = {}, SizeUnit unit = SizeUnit::decimal,
    std::size_t columns = 0);

} // namespace kelvo::report
