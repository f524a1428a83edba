#include "adapters/NvmAdapter.h"

#include "adapters/AdapterSupport.h"
#include "adapters/ReportDraft.h"
#include "adapters/Sources.h"
#include "model/NodeVersion.h"
#include "model/Utf8.h"
#include "system/Platform.h"

#include <algorithm>
#include <utility>

namespace kelvo {

NvmAdapter::NvmAdapter(std::shared_ptr<const DirectorySizing> sizer, std::string home)
    : sizer_(std::move(sizer)), home_(std::move(home)) {}

const std::vector<QuickWin>& NvmAdapter::quickWins() {
    static const std::vector<QuickWin> wins{{Uuid::random(), "Clear nvm's download cache", "nvm cache clear",
        "Removes the Node archives nvm downloaded to install versions. Downloaded again when needed."}};
    return wins;
}

bool NvmAdapter::isInstalled() const {
    try {
        return toolFolder(home_, "/.nvm").has_value();
    } catch (...) {
        return false;
    }
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

// An alias file's text; unreadable, oversized or not UTF-8 counts as no alias.
std::optional<std::string> readAlias(const std::string& path) {
    std::optional<std::string> text = readFile(path, NvmAdapter::aliasReadLimit);
    if (!text || !isValidUtf8(*text)) {
        return std::nullopt;
    }
    return text;
}

} // namespace

std::vector<std::string> NvmAdapter::versionNames(const std::string& home) {
    std::vector<std::string> names;
    const auto folder = toolFolder(home, "/.nvm/versions/node");
    for (auto& name : listDirectory(folder.value_or("")).value_or(std::vector<std::string>())) {
        if (!name.empty() && name.front() == 'v') {
            names.push_back(std::move(name));
        }
    }
    return names;
}

std::optional<std::string> NvmAdapter::defaultVersion(const std::string& home, const std::vector<std::string>& names) {
    return resolve(home, readAlias(home + "/.nvm/alias/default").value_or(std::string()), names);
}

std::optional<std::string> NvmAdapter::resolve(
    const std::string& home, std::string_view text, const std::vector<std::string>& names) {
    const std::string aliases = home + "/.nvm/alias";
    // Only names that stay inside the alias folder are alias files ("lts/iron", never "../x").
    const auto aliasFile = [&](const std::string& name) -> std::optional<std::string> {
        if (!isSafeRelativeName(name) || !joinsWithoutLinks(aliases, name)) {
            return std::nullopt;
        }
        return readAlias(aliases + "/" + name);
    };
    return resolveNodeAlias(text, names, aliasFile);
}

std::string NvmAdapter::pinnedText(std::string_view file) {
    // nvm reads the first line that holds more than a comment.
    std::size_t start = 0;
    while (start < file.size()) {
        const std::size_t end = std::min(file.find('\n', start), file.size());
        std::string_view line = file.substr(start, end - start);
        line = line.substr(0, line.find('#'));
        if (line.find_first_not_of(" \t\r\f\v") != std::string_view::npos) {
            return std::string(line); // resolving trims it
        }
        start = end + 1;
    }
    return {};
}

void NvmAdapter::keepPinned(ManagerReport& report, const std::vector<ProjectPin>& pins) const {
    std::vector<std::string> names;
    for (const DependencyItem& item : report.items) {
        if (item.version) {
            names.push_back(item.name);
        }
    }
    for (const ProjectPin* pin : pinsOf(pins, NvmSource().pinFiles)) {
        const auto version = resolve(home_, pinnedText(pin->text), names);
        for (DependencyItem& item : report.items) {
            if (version && item.version && item.name == *version) {
                kelvo::keepPinned(item, pin->folder, home_);
            }
        }
    }
}

std::optional<std::string> NvmAdapter::defaultNpm(const std::string& home) {
    const auto version = defaultVersion(home, versionNames(home));
    if (!version || !isSafeRelativeName(*version) || version->find('/') != std::string::npos) {
        return std::nullopt;
    }
    return home + "/.nvm/versions/node/" + *version + "/bin/npm";
}

ManagerReport NvmAdapter::scan(TallyScopes counted) const {
    ReportDraft draft(ManagerKind::nvm);
    bool installed = false;
    draft.step([&] { installed = isInstalled(); });
    if (!installed) {
        return std::move(draft).finish(sizer_.get(), counted);
    }
    draft.report().detected = true;
    draft.offer(quickWins()[0]);
    draft.step([&] {
        const auto versionsDirectory = toolFolder(home_, "/.nvm/versions/node");
        const std::vector<std::string> names = versionNames(home_);
        const auto defaultVersion = NvmAdapter::defaultVersion(home_, names);
        const auto newest = newestInSeries(names);
        for (const auto& name : names) {
            DependencyItem item;
            item.name = name;
            item.version = name;
            item.path = versionsDirectory.value_or("") + "/" + name;
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
            const bool measurable = versionsDirectory && isSafeRelativeName(name);
            draft.add(std::move(item),
                measurable ? std::vector{*versionsDirectory + "/" + name} : std::vector<std::string>());
        }
    });
    draft.step([&] {
        // The archives nvm downloads to install versions (nvm cache dir).
        if (const auto cache = firstFolder(home_, {"/.nvm/.cache"})) {
            draft.add(
                cacheItem(cacheName, *cache, std::nullopt,
                    foundIn("The Node archives nvm downloaded to install versions — downloaded again when needed.",
                        *cache, home_)),
                {*cache}, quickWins()[0].title);
        }
    });
    return std::move(draft).finish(sizer_.get(), counted);
}

const SourceDescriptor& NvmSource() {
    static const SourceDescriptor source{.kind = ManagerKind::nvm,
        .displayName = "nvm",
        .shortLabel = "node",
        .ownProgram = "nvm",
        .summary =
            [](const std::vector<DependencyItem>& items) {
                // Its download cache is listed too, but is not a Node version.
                return countOf(std::count_if(items.begin(), items.end(),
                                   [](const DependencyItem& item) { return item.name.starts_with('v'); }),
                    "Node version", "Node versions");
            },
        .groupsVersions = true,
        .pinFiles = {".nvmrc", ".node-version"},
        // The npm of nvm's default Node, where the usual places have none.
        .toolPlaces = {{CommandTool::npm, &NvmAdapter::defaultNpm}}};
    return source;
}

std::shared_ptr<const ManagerAdapter> makeNvmAdapter(const AdapterServices& services) {
    return std::make_shared<NvmAdapter>(services.sizer, services.home);
}

} // namespace kelvo
