#pragma once

// A scan of a fixture instead of the machine, for the window's tests, screenshots and benchmark.

#include "scan/ScanCoordinator.h"

#include <optional>
#include <string_view>

namespace kelvo::ui {

// One adapter per report of a `kelvo-report --json` document, returning it after the delay that
// an optional "delaysMs": {"pnpm": 900, …} gives its manager; no value when the text is not a report.
std::optional<AdapterList> fixtureAdapters(std::string_view jsonText);

} // namespace kelvo::ui
