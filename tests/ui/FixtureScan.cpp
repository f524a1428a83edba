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
    ManagerReport scan(TallyScopes) const override {
        std::this_thread::sleep_for(std::chrono::milliseconds(delayMs_));
        ManagerReport copy = report_;
        for (auto& item : copy.items) {
            item.id = Uuid::random();
        }
        return copy;
    }

private:
    ManagerReport report_;
    int delayMs_;
};
} // namespace

std::optional<AdapterList> fixtureAdapters(std::string_view jsonText) {
    const auto root = nlohmann::json::parse(jsonText, nullptr, false);
    const auto result = decodeReport(root);
    if (!result) {
        return std::nullopt;
    }
    const auto delays = root.value("delaysMs", nlohmann::json::object());
    AdapterList adapters;
    for (const auto& report : result->managers) {
        const auto delay = delays.find(std::string(rawValue(report.kind)));
        const int ms = delay != delays.end() && delay->is_number_integer() ? delay->get<int>() : 0;
        adapters.push_back(std::make_shared<FixtureAdapter>(report, ms));
    }
    return adapters;
}

} // namespace kelvo::ui
