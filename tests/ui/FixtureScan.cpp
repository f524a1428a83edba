#include "FixtureScan.h"

#include "inventory/ReportJson.h"

#include <chrono>
#include <thread>

#include <nlohmann/json.hpp>

namespace kelvo::ui {

namespace {
class FixtureAdapter final : public ManagerAdapter {
public:
    FixtureAdapter(ManagerReport report, int delayMs) : report_(std::move(report)), delayMs_(delayMs) {}
    ManagerKind kind() const override { return report_.kind; }
    bool isInstalled() const override { return report_.detected; }
    ManagerReport scan() const override {
        if (delayMs_ > 0) {
            std::this_thread::sleep_for(std::chrono::milliseconds(delayMs_));
        }
        ManagerReport copy = report_;
        for (auto& item : copy.items) {
            item.id = Uuid::random();
        }
        for (auto& win : copy.quickWins) {
            win.id = Uuid::random();
        }
        return copy;
    }

private:
    ManagerReport report_;
    int delayMs_;
};
} // namespace

std::optional<Fixture> decodeFixture(std::string_view jsonText) {
    const auto root = nlohmann::json::parse(jsonText, nullptr, false);
    auto result = decodeReport(root);
    if (!result) {
        return std::nullopt;
    }
    Fixture fixture;
    fixture.result = std::move(*result);
    if (const auto delays = root.find("delaysMs"); delays != root.end() && delays->is_object()) {
        for (const auto& [raw, ms] : delays->items()) {
            if (const auto kind = managerKindFromRaw(raw); kind && ms.is_number_integer()) {
                fixture.delaysMs[*kind] = ms.get<int>();
            }
        }
    }
    return fixture;
}

AdapterList fixtureAdapters(const Fixture& fixture) {
    AdapterList adapters;
    for (const auto& report : fixture.result.managers) {
        const auto delay = fixture.delaysMs.find(report.kind);
        adapters.push_back(
            std::make_shared<FixtureAdapter>(report, delay == fixture.delaysMs.end() ? 0 : delay->second));
    }
    return adapters;
}

} // namespace kelvo::ui
