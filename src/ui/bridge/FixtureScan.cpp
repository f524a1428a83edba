#include "ui/bridge/FixtureScan.h"

#include <chrono>
#include <thread>

#include <nlohmann/json.hpp>

namespace kelvo::ui {

namespace {
using nlohmann::json;

std::optional<std::string> optionalString(const json& object, const char* key) {
    const auto found = object.find(key);
    if (found == object.end() || !found->is_string()) {
        return std::nullopt;
    }
    return found->get<std::string>();
}

std::string string(const json& object, const char* key) { return optionalString(object, key).value_or(""); }

std::optional<Tier> tierFromRaw(std::string_view raw) {
    for (Tier tier : {Tier::safeByDesign, Tier::orphanCandidate, Tier::signalOnly}) {
        if (rawValue(tier) == raw) {
            return tier;
        }
    }
    return std::nullopt;
}

std::optional<Evidence> decodeEvidence(const json& value) {
    if (!value.is_object()) {
        return std::nullopt;
    }
    const std::string kind = string(value, "kind");
    for (Evidence::Kind candidate : {Evidence::Kind::lastUsed, Evidence::Kind::notDefaultVersion,
                                     Evidence::Kind::supersededPatch, Evidence::Kind::noDependents,
                                     Evidence::Kind::managerDefinesPrunable}) {
        if (rawValue(candidate) != kind) {
            continue;
        }
        Evidence evidence;
        evidence.kind = candidate;
        if (const auto at = value.find("at"); at != value.end() && at->is_number()) {
            evidence.at = at->get<double>();
        }
        for (const char* key : {"version", "defaultVersion", "newestInSeries"}) {
            if (auto text = optionalString(value, key)) {
                evidence.version = *text;
            }
        }
        return evidence;
    }
    return std::nullopt;
}

DependencyItem decodeItem(const json& value) {
    DependencyItem item;
    item.id = Uuid::random();
    item.name = string(value, "name");
    item.version = optionalString(value, "version");
    item.path = optionalString(value, "path");
    if (const auto bytes = value.find("bytes"); bytes != value.end() && bytes->is_number()) {
        item.bytes = bytes->get<std::int64_t>();
    }
    item.tier = tierFromRaw(string(value, "tier")).value_or(Tier::signalOnly);
    if (const auto evidence = value.find("evidence"); evidence != value.end() && evidence->is_array()) {
        for (const auto& entry : *evidence) {
            if (auto decoded = decodeEvidence(entry)) {
                item.evidence.push_back(*decoded);
            }
        }
    }
    item.identity = optionalString(value, "identity");
    item.reclaimCommand = optionalString(value, "reclaimCommand");
    return item;
}

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
    const auto root = json::parse(jsonText, nullptr, false);
    if (root.is_discarded() || !root.is_object() || !root.contains("managers") || !root["managers"].is_array()) {
        return std::nullopt;
    }
    Fixture fixture;
    if (const auto at = root.find("scannedAt"); at != root.end() && at->is_number()) {
        fixture.result.scannedAt = at->get<double>();
    }
    for (const auto& value : root["managers"]) {
        if (!value.is_object()) {
            continue;
        }
        const auto kind = managerKindFromRaw(string(value, "kind"));
        if (!kind) {
            continue;
        }
        ManagerReport report;
        report.kind = *kind;
        const auto detected = value.find("detected");
        report.detected = detected == value.end() || !detected->is_boolean() || detected->get<bool>();
        report.version = optionalString(value, "version");
        if (const auto items = value.find("items"); items != value.end() && items->is_array()) {
            for (const auto& item : *items) {
                if (item.is_object()) {
                    report.items.push_back(decodeItem(item));
                }
            }
        }
        if (const auto wins = value.find("quickWins"); wins != value.end() && wins->is_array()) {
            for (const auto& win : *wins) {
                if (win.is_object()) {
                    report.quickWins.push_back(
                        QuickWin{Uuid::random(), string(win, "title"), string(win, "command"), string(win, "detail")});
                }
            }
        }
        fixture.result.managers.push_back(std::move(report));
    }
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
