#pragma once

// A scan of a fixture instead of the machine, for the window's tests and screenshots: the report
// format of `kelvo-report --json` (decodeReport), plus an optional "delaysMs": {"pnpm": 900, …}
// saying how long each manager's adapter takes. Starts no command and reads no file.

#include "scan/ScanCoordinator.h"

#include <optional>
#include <string_view>

namespace kelvo::ui {

// One adapter per report, returning it (with fresh ids) after its delay; no value when the text
// is not a report.
std::optional<AdapterList> fixtureAdapters(std::string_view jsonText);

} // namespace kelvo::ui
