#include "adapters/NvmAdapter.h"

#include "adapters/AdapterSupport.h"
#include "model/Utf8.h"
#include "system/Platform.h"

#include <algorithm>
#include <utility>

namespace kelvo {

NvmAdapter::NvmAdapter(std::shared_ptr<const DirectorySizing> sizer, std::string home)
    : sizer_(std::move(sizer)), home_(std::move(home)) {}

bool NvmAdapter::isInstalled() const {
    try {
        return isDirectory(home_ + "/.nvm");
    } catch (...) {
        return false;
    }
}

std::optional<std::string> NvmAdapter::resolveDefaultVersion(std::string_view aliasText,
                                                             const std::vector<std::string>& versionNames) {
    const std::string alias = trimWhitespace(aliasText);
    // An empty alias names nothing, even if a folder happens to be called just "v".
    if (versionNames.empty() || alias.empty()) {
        return std::nullopt;
    }
    const auto installed = [&](const std::string& name) {
        return std::find(versionNames.begin(), versionNames.end(), name) != versionNames.end();
    };
    const std::string exact = alias.front() == 'v' ? alias : "v" + alias;
    if (installed(exact)) {
        return exact;
    }
    const std::vector<std::string> newest = sortNewestFirst(versionNames);
    if (alias == "node" || alias == "stable" || alias == "current" || alias == "default") {
        return newest.front();
    }
    if (alias == "lts/*" || alias == "lts" || alias == "lts/latest") {
        // Even major lines are the long-term-support ones.
        for (const auto& name : newest) {
            const auto parsed = parseNodeVersion(name);
            if (parsed && parsed->major % 2 == 0) {
                return name;
            }
        }
    }
    return std::nullopt;
}

std::map<std::int64_t, std::string> NvmAdapter::newestInSeries(const std::vector<std::string>& versionNames) {
    std::map<std::int64_t, std::string> table;
    for (const auto& name : sortNewestFirst(versionNames)) {
        if (const auto parsed = parseNodeVersion(name)) {
            table.emplace(parsed->major, name);
        }
    }
    return table;
}

namespace {

// The alias as text; unreadable, oversized or not UTF-8 counts as empty.
std::string readAlias(const std::string& path) {
    std::string text = readFile(path, NvmAdapter::aliasReadLimit).value_or(std::string());
    if (repairUtf8(text) != text) {
        return {};
    }
    return text;
}

} // namespace

ManagerReport NvmAdapter::scan() const {
    ManagerReport report = ManagerReport::notDetected(ManagerKind::nvm);
    try {
        if (!isInstalled()) {
            return report;
        }
        report.detected = true;

        const std::string versionsDirectory = home_ + "/.nvm/versions/node";
        std::vector<std::string> names;
        for (auto& name : listDirectory(versionsDirectory).value_or(std::vector<std::string>())) {
            if (!name.empty() && name.front() == 'v') {
                names.push_back(std::move(name));
            }
        }

        const auto defaultVersion = resolveDefaultVersion(readAlias(home_ + "/.nvm/alias/default"), names);
        const auto sizes = sizer_ ? measureChildren(*sizer_, versionsDirectory, names)
                                  : std::map<std::string, std::int64_t>();
        const auto newest = newestInSeries(names);

        std::vector<DependencyItem> items;
        items.reserve(names.size());
        for (const auto& name : names) {
            DependencyItem item{Uuid::random(), name, name, versionsDirectory + "/" + name, std::nullopt,
                                Tier::signalOnly, {}, std::nullopt, std::nullopt};
            if (const auto size = sizes.find(name); size != sizes.end()) {
                item.bytes = size->second;
            }
            if (name != defaultVersion) {
                item.tier = Tier::orphanCandidate;
                if (defaultVersion) {
                    item.evidence.push_back(Evidence::notDefaultVersion(*defaultVersion));
                }
                if (const auto parsed = parseNodeVersion(name)) {
                    const auto line = newest.find(parsed->major);
                    if (line != newest.end() && line->second != name) {
                        item.evidence.push_back(Evidence::supersededPatch(line->second));
                    }
                }
                // Quoted so a hostile folder name stays one word when the user pastes it.
                item.reclaimCommand = commandWithName("nvm uninstall", name);
            }
            items.push_back(std::move(item));
        }
        sortItemsBySize(items);
        report.items = std::move(items);
        return report;
    } catch (...) {
        report.items.clear();
        return report;
    }
}

} // namespace kelvo
