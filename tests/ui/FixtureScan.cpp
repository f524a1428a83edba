#include "FixtureScan.h"

#include "inventory/ReportJson.h"

#include <chrono>
#include <thread>

#include <nlohmann/json.hpp>

namespace kelvo::ui {

namespace {
struct FixtureAdapter final : ManagerAdapter {
    FixtureAdapter(ManagerReport report, int delayMs) : report_(std::move(report)), delayMs_(delayMs) {}
    ManagerKind kind() const override { return report_.kind; }
    bool isInstalled() const override { return report_.detected; }
    ManagerReport scan(TallyScopes) const override {
        std::this_thread::sleep_for(std::chrono::milliseconds(delayMs_));
        ManagerReport copy = report_;
        for (auto& item : copy.items) {
            item.id = Uuid::random(); // as a real scan: every run has new ids
        }
        return copy;
    }
    ManagerReport report_;
    int delayMs_;
};
} // namespace

std::optional<AdapterList> fixtureAdapters(std::string_view jsonText) {
    const auto root = nlohmann::json::parse(jsonText, nullptr, false);
    const auto result = decodeReport(root);
    if (!result) return std::nullopt;
    AdapterList adapters;
    for (const auto& report : result->managers) {
        const int delayMs = root.value("delaysMs", nlohmann::json::object()).value(rawValue(report.kind), 0);
        adapters.push_back(std::make_shared<FixtureAdapter>(report, delayMs));
    }
    return adapters;
}

} // namespace kelvo::ui
