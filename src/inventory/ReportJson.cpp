#include "inventory/ReportJson.h"

#include "adapters/Sources.h"
#include "inventory/DisplayText.h"
#include "inventory/Inventory.h"
#include "model/Utf8.h"

#include <algorithm>
#include <vector>

namespace kelvo {

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
    case Evidence::Kind::notUsedSinceInstall: out["installedAt"] = evidence.at; break;
    case Evidence::Kind::oldStoreVersion: out["storeVersion"] = text(evidence.version); break;
    case Evidence::Kind::oldGlobalFolder: out["globalFolder"] = text(evidence.version); break;
    case Evidence::Kind::projectUntouched:
    case Evidence::Kind::projectActive: out["at"] = evidence.at; break;
    case Evidence::Kind::noLockfile:
    case Evidence::Kind::commandWithheld:
    case Evidence::Kind::markedAsCache: break;
    case Evidence::Kind::projectGone:
    case Evidence::Kind::pinnedByProject: out["project"] = text(evidence.version); break;
    case Evidence::Kind::notDefaultToolchain: out["defaultToolchain"] = text(evidence.version); break;
    case Evidence::Kind::notGlobalVersion: out["globalVersions"] = text(evidence.version); break;
    case Evidence::Kind::usedByVirtualenv: out["virtualenv"] = text(evidence.version); break;
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
    out["freedBytes"] = item.freedBytes ? json(*item.freedBytes) : json(nullptr);
    out["size"] = sizeText(item.bytes, unit);
    out["tier"] = std::string(rawValue(item.tier));
    out["verdict"] = std::string(verdictLabel(verdictTag(item.tier, manager)));
    out["verdictText"] = text(verdictText(item, manager, unit));
    out["evidence"] = std::move(evidence);
    out["identity"] = optionalText(item.identity);
    out["reclaimCommand"] = optionalText(item.reclaimCommand);
    out["unreadableFolders"] = item.unreadableFolders;
    out["tool"] = optionalText(item.tool);
    if (descriptor(manager).type == SourceType::projects) {
        out["managedBy"] = optionalText(item.managedBy);
        out["project"] = optionalText(item.project);
        out["restoreCommand"] = optionalText(item.restoreCommand);
    }
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
        quickWins.push_back(json{{"id", win.id.text()}, {"title", text(win.title)}, {"command", text(win.command)},
            {"detail", text(win.detail)}, {"bytes", win.bytes ? json(*win.bytes) : json(nullptr)}});
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
    out["summary"] = inventorySummary(report);
    out["unreadableFolders"] = report.unreadableFolders;
    out["quickWins"] = std::move(quickWins);
    out["items"] = std::move(items);
    out["rows"] = std::move(rows);
    return out;
}

// ---- reading back ----

std::optional<std::string> optionalString(const nlohmann::json& object, const char* key) {
    const auto found = object.find(key);
    if (found == object.end() || !found->is_string()) {
        return std::nullopt;
    }
    return found->get<std::string>();
}

std::optional<std::int64_t> optionalInteger(const nlohmann::json& object, const char* key) {
    const auto found = object.find(key);
    if (found == object.end() || !found->is_number_integer()) {
        return std::nullopt;
    }
    return found->get<std::int64_t>();
}

std::string string(const nlohmann::json& object, const char* key) { return optionalString(object, key).value_or(""); }

std::optional<Tier> tierFromRaw(std::string_view raw) {
    for (Tier tier : {Tier::safeByDesign, Tier::orphanCandidate, Tier::signalOnly}) {
        if (rawValue(tier) == raw) {
            return tier;
        }
    }
    return std::nullopt;
}

std::optional<Evidence> decodeEvidence(const nlohmann::json& value) {
    if (!value.is_object()) {
        return std::nullopt;
    }
    const std::string kind = string(value, "kind");
    for (Evidence::Kind candidate : allEvidenceKinds) {
        if (rawValue(candidate) != kind) {
            continue;
        }
        Evidence evidence;
        evidence.kind = candidate;
        for (const char* key : {"at", "installedAt"}) {
            if (const auto at = value.find(key); at != value.end() && at->is_number()) {
                evidence.at = at->get<double>();
            }
        }
        for (const char* key : {"version", "defaultVersion", "defaultToolchain", "globalVersions", "virtualenv",
                 "newestInSeries", "storeVersion", "globalFolder", "project"}) {
            if (auto text = optionalString(value, key)) {
                evidence.version = *text;
            }
        }
        return evidence;
    }
    return std::nullopt;
}

DependencyItem decodeItem(const nlohmann::json& value) {
    DependencyItem item;
    item.id = Uuid::random();
    item.name = string(value, "name");
    item.version = optionalString(value, "version");
    item.path = optionalString(value, "path");
    item.bytes = optionalInteger(value, "bytes");
    item.freedBytes = optionalInteger(value, "freedBytes");
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
    item.managedBy = optionalString(value, "managedBy");
    item.project = optionalString(value, "project");
    item.restoreCommand = optionalString(value, "restoreCommand");
    item.unreadableFolders = optionalInteger(value, "unreadableFolders").value_or(0);
    item.tool = optionalString(value, "tool");
    return item;
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
    const std::string dumped =
        reportJson(result, unit).dump(2, ' ', false, nlohmann::ordered_json::error_handler_t::replace);
    return escapeHostileInJson(dumped) + "\n";
}

std::optional<ScanResult> decodeReport(const nlohmann::json& root) {
    if (!root.is_object() || !root.contains("managers") || !root["managers"].is_array()) {
        return std::nullopt;
    }
    ScanResult result;
    if (const auto at = root.find("scannedAt"); at != root.end() && at->is_number()) {
        result.scannedAt = at->get<double>();
    }
    result.onceCountedBytes = optionalInteger(root, "totalBytes");
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
        report.onceCountedBytes = optionalInteger(value, "totalBytes");
        report.unreadableFolders = optionalInteger(value, "unreadableFolders").value_or(0);
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
                    report.quickWins.push_back(QuickWin{Uuid::random(), string(win, "title"), string(win, "command"),
                        string(win, "detail"), optionalInteger(win, "bytes")});
                }
            }
        }
        result.managers.push_back(std::move(report));
    }
    return result;
}

} // namespace kelvo
