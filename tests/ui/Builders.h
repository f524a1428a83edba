#pragma once

// Small scan results for the window's C++ tests.

#include "model/ScanModel.h"

#include <string>
#include <utility>
#include <vector>

namespace kelvo::ui::testing {

inline DependencyItem item(std::string name, std::optional<std::int64_t> bytes, Tier tier = Tier::orphanCandidate) {
    DependencyItem made;
    made.id = Uuid::random();
    made.name = std::move(name);
    made.bytes = bytes;
    made.tier = tier;
    return made;
}

inline ManagerReport report(ManagerKind kind, std::vector<DependencyItem> items = {}, bool detected = true,
                            std::vector<std::string> winCommands = {}) {
    ManagerReport made{kind, detected, std::nullopt, std::move(items), {}};
    for (auto& command : winCommands) {
        made.quickWins.push_back({Uuid::random(), "title", std::move(command), "detail"});
    }
    return made;
}

inline ScanResult result(std::vector<ManagerReport> managers) { return ScanResult{1'700'000'000, std::move(managers)}; }

} // namespace kelvo::ui::testing
