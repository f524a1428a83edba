#pragma once

// A scan result read from a file, for screenshots and tests of the window: the report format of
// `kelvo-report --json` (a "managers" list of reports with their items and quick wins). It only
// reads the file it is given; it never starts a command.

#include "scan/ScanCoordinator.h"

#include <map>
#include <optional>
#include <string_view>

namespace kelvo::ui {

struct Fixture {
    ScanResult result;
    // Optional "delaysMs": {"pnpm": 900, …}: how long each fixture adapter takes.
    std::map<ManagerKind, int> delaysMs;
};

// Lenient: unknown fields are ignored, absent fields take their empty value, a report without
// "detected" counts as detected. No value when the text is not a JSON object with "managers".
std::optional<Fixture> decodeFixture(std::string_view jsonText);

// One adapter per report of the fixture, each returning its report after its delay.
AdapterList fixtureAdapters(const Fixture& fixture);

} // namespace kelvo::ui
