#include "cli/ReportJson.h"

#include "inventory/DisplayText.h"
#include "inventory/Inventory.h"
#include "system/CommandRunner.h"

#include <algorithm>
#include <vector>

namespace kelvo::report {

namespace {

using json = nlohmann::ordered_json;

json text(std::string_view value) { return repairUtf8(value); }

json optionalText(const std::optional<std::string>& value) { return value ? text(*value) : json(nullptr); }

json evidenceJson(const Evidence& evidence) {
    json out = json::object();
    out["kind"] = std::string(rawValue(evidence.kind));
    switch (evidence.kind) {
    case Evidence::Kind::lastUsed: out["at"] = evidence.at; break;
    case Evidence::Kind::notDefaultVersion: out["defaultVersion"] = text(evidence.version); break;
    case Evidence::Kind::supersededPatch: out["newestInSeries"] = text(evidence.version); break;
    case Evidence::Kind::noDependents:
    case Evidence::Kind::managerDefinesPrunable: break;
    }
    out["summary"] = text(evidence.summary());
    return out;
}

json itemJson(const DependencyItem& item, ManagerKind manager, SizeUnit unit) {
    json evidence = json::array();
    for (const auto& entry : item.evidence) {
        evidence.push_back(evidenceJson(entry));
    }
    json out = json::object();
    out["id"] = item.id.text();
    out["name"] = text(item.name);
    out["version"] = optionalText(item.version);
    out["path"] = optionalText(item.path);
    out["bytes"] = item.bytes ? json(*item.bytes) : json(nullptr);
    out["size"] = sizeText(item.bytes, unit);
    out["tier"] = std::string(rawValue(item.tier));
    out["verdict"] = std::string(verdictLabel(verdictTag(item.tier, manager)));
    out["verdictText"] = text(verdictText(item, manager, unit));
    out["evidence"] = std::move(evidence);
    out["identity"] = optionalText(item.identity);
    out["reclaimCommand"] = optionalText(item.reclaimCommand);
    return out;
}

json rowJson(const InventoryRow& row) {
    json out = json::object();
    out["id"] = text(row.id());
    if (!row.isGroup()) {
        out["type"] = "item";
        out["item"] = row.asItem().item.id.text();
        return out;
    }
    const VersionGroup& group = row.asGroup();
    json superseded = json::array();
    for (const auto& item : group.superseded) {
        superseded.push_back(item.id.text());
    }
    out["type"] = "group";
    out["title"] = text(group.title);
    out["keep"] = group.keep.id.text();
    out["superseded"] = std::move(superseded);
    out["totalBytes"] = group.totalBytes();
    out["summary"] = text(group.summary());
    return out;
}

json managerJson(const ManagerReport& report, SizeUnit unit) {
    json quickWins = json::array();
    for (const auto& win : report.quickWins) {
        quickWins.push_back(json{{"id", win.id.text()},
                                 {"title", text(win.title)},
                                 {"command", text(win.command)},
                                 {"detail", text(win.detail)}});
    }
    json items = json::array();
    for (const auto& item : report.items) {
        items.push_back(itemJson(item, report.kind, unit));
    }
    json rows = json::array();
    for (const auto& row : buildRows(report.kind, report.items)) {
        rows.push_back(rowJson(row));
    }
    json out = json::object();
    out["kind"] = std::string(rawValue(report.kind));
    out["displayName"] = std::string(displayName(report.kind));
    out["detected"] = report.detected;
    out["version"] = optionalText(report.version);
    out["totalBytes"] = report.totalBytes();
    out["reclaimableBytes"] = reclaimableBytes(report.items);
    out["summary"] = inventorySummary(report.kind, report.items);
    out["quickWins"] = std::move(quickWins);
    out["items"] = std::move(items);
    out["rows"] = std::move(rows);
    return out;
}

} // namespace

nlohmann::ordered_json reportJson(const ScanResult& result, SizeUnit unit) {
    // Reports in ManagerKind order (the coordinator already orders them; a hand-made result may not).
    std::vector<const ManagerReport*> reports;
    for (const auto& report : result.managers) {
        reports.push_back(&report);
    }
    std::stable_sort(reports.begin(), reports.end(),
                     [](const ManagerReport* a, const ManagerReport* b) { return a->kind < b->kind; });
    json managers = json::array();
    for (const auto* report : reports) {
        managers.push_back(managerJson(*report, unit));
    }
    json out = json::object();
    out["scannedAt"] = result.scannedAt;
    out["sizeUnit"] = std::string(rawValue(unit));
    out["totalBytes"] = result.totalBytes();
    out["reclaimableBytes"] = reclaimableBytes(result);
    out["inventoriedCount"] = inventoriedCount(result);
    out["managers"] = std::move(managers);
    return out;
}

std::string renderJson(const ScanResult& result, SizeUnit unit) {
    const std::string dumped = reportJson(result, unit).dump(2, ' ', false, nlohmann::ordered_json::error_handler_t::replace);
    return escapeHostileInJson(dumped) + "\n";
}

} // namespace kelvo::report
