#include "adapters/Globals.h"

#include "adapters/AdapterSupport.h"
#include "system/ParallelFor.h"
#include "system/Platform.h"

#include <algorithm>

#include <nlohmann/json.hpp>

namespace kelvo {

DependencyItem globalPackageItem(const std::string& name, std::optional<std::string> version,
    std::optional<std::string> path, std::optional<std::int64_t> bytes, const CommandUse& use, const UseClock& clock,
    const KnowledgeBase& kb, ManagerKind manager, std::string_view removeWords) {
    DependencyItem item;
    item.id = Uuid::random();
    item.name = name;
    item.version = std::move(version);
    item.path = std::move(path);
    item.bytes = bytes;
    item.tier = Tier::signalOnly;
    const auto entry = kb.lookup(name, manager);
    const bool core = builtInCorePackages.contains(name) || (entry && entry->core.value_or(false));
    const bool judged = clock.accessTimesRecorded && !core;
    if (use.lastUse) {
        item.evidence.push_back(Evidence::lastUsed(*use.lastUse));
        if (judged && clock.now - *use.lastUse > staleAfterSeconds) {
            item.tier = Tier::orphanCandidate;
        }
    } else if (judged && use.installedAt && clock.now - *use.installedAt > staleAfterSeconds) {
        item.evidence.push_back(Evidence::notUsedSinceInstall(*use.installedAt));
        item.tier = Tier::orphanCandidate;
    }
    // No shell command can carry a NUL byte, so such a name gets none.
    if (!core && name.find('\0') == std::string::npos) {
        item.reclaimCommand = commandWithOperand(removeWords, name);
    }
    if (entry) {
        item.identity = entry->identity;
    }
    return item;
}

namespace {
// Beyond this a global folder's package.json is not one a package manager wrote.
constexpr std::size_t manifestReadLimit = 4 * 1024 * 1024;
} // namespace

std::optional<std::vector<std::string>> manifestDependencies(const std::string& packageJson) {
    const auto text = readFile(packageJson, manifestReadLimit);
    if (!text) {
        return std::nullopt;
    }
    const auto json = nlohmann::json::parse(*text, nullptr, false);
    if (json.is_discarded() || !json.is_object()) {
        return std::nullopt;
    }
    std::vector<std::string> names;
    const auto dependencies = json.find("dependencies");
    if (dependencies == json.end()) {
        return names; // every global removed again
    }
    if (!dependencies->is_object()) {
        return std::nullopt;
    }
    for (const auto& [name, range] : dependencies->items()) {
        names.push_back(name);
    }
    // std::string compares bytes as unsigned, which for UTF-8 is code-point order.
    std::sort(names.begin(), names.end());
    return names;
}

std::vector<std::string> otherEntries(const std::string& modulesDirectory, const std::vector<std::string>& globals) {
    const std::set<std::string, std::less<>> own(globals.begin(), globals.end());
    std::set<std::string, std::less<>> scopesWithGlobals;
    for (const auto& name : globals) {
        if (const auto slash = name.find('/'); slash != std::string::npos) {
            scopesWithGlobals.insert(name.substr(0, slash));
        }
    }
    std::vector<std::string> others;
    for (const std::string& entry : listDirectory(modulesDirectory).value_or(std::vector<std::string>())) {
        if (own.contains(entry)) {
            continue;
        }
        // A scope that also holds a global: its other members, one by one, and only when the scope
        // is a real folder (a link would lead the measuring elsewhere).
        if (scopesWithGlobals.contains(entry)) {
            if (joinsWithoutLinks(modulesDirectory, entry + "/")) {
                for (const std::string& member :
                    listDirectory(modulesDirectory + "/" + entry).value_or(std::vector<std::string>())) {
                    if (!own.contains(entry + "/" + member)) {
                        others.push_back(entry + "/" + member);
                    }
                }
            }
            continue;
        }
        others.push_back(entry);
    }
    std::sort(others.begin(), others.end());
    return others;
}

DependencyItem dependenciesItem(std::string name, std::optional<std::int64_t> bytes, std::string identity) {
    // Several folders, so no one path; nothing to remove by hand: they go with their globals.
    DependencyItem item;
    item.id = Uuid::random();
    item.name = std::move(name);
    item.bytes = bytes;
    item.tier = Tier::signalOnly;
    item.identity = std::move(identity);
    return item;
}

PackageManifest readPackageManifest(const std::string& packageDirectory, std::string_view packageName) {
    PackageManifest manifest;
    const auto json =
        nlohmann::json::parse(readFile(packageDirectory + "/package.json").value_or(std::string()), nullptr, false);
    if (json.is_discarded() || !json.is_object()) {
        return manifest;
    }
    if (const auto version = json.find("version"); version != json.end() && version->is_string()) {
        manifest.version = version->get<std::string>();
    }
    const auto bin = json.find("bin");
    if (bin == json.end()) {
        return manifest;
    }
    if (bin->is_object()) {
        for (const auto& [key, value] : bin->items()) {
            manifest.commands.push_back(key);
        }
        std::sort(manifest.commands.begin(), manifest.commands.end());
    } else if (bin->is_string()) {
        // A single command is named after the package, without its scope.
        std::string_view last;
        std::size_t start = 0;
        while (start <= packageName.size()) {
            const std::size_t slash = packageName.find('/', start);
            const std::string_view piece =
                packageName.substr(start, slash == std::string_view::npos ? std::string_view::npos : slash - start);
            if (!piece.empty()) {
                last = piece;
            }
            if (slash == std::string_view::npos) {
                break;
            }
            start = slash + 1;
        }
        if (!last.empty()) {
            manifest.commands.emplace_back(last);
        }
    }
    return manifest;
}

namespace {

// One command entry's part in a global's use.
void noteUse(const FileAccessProbing& prober, const std::string& entry, CommandUse& use) {
    if (const auto made = prober.entryModified(entry); made && (!use.installedAt || *made > *use.installedAt)) {
        use.installedAt = made;
    }
    const auto times = prober.fileTimes(entry);
    if (times && times->accessed - times->modified >= 86400.0 && (!use.lastUse || times->accessed > *use.lastUse)) {
        use.lastUse = times->accessed;
    }
}

// Folder names in node_modules ("@scope/name" for scoped ones, a scope only when it is a folder,
// not a link), dot names left out, in code-point order.
std::vector<std::string> packageFolders(const std::string& modules) {
    std::vector<std::string> names;
    for (const std::string& entry : listDirectory(modules).value_or(std::vector<std::string>())) {
        if (entry.empty() || entry.front() == '.') {
            continue;
        }
        if (entry.front() != '@') {
            names.push_back(entry);
            continue;
        }
        // A scope that is a link to elsewhere ("/", another tree) holds no package of the manager's:
        // listDirectory refuses to list a link.
        for (const std::string& name : listDirectory(modules + "/" + entry).value_or(std::vector<std::string>())) {
            if (!name.empty() && name.front() != '.') {
                names.push_back(entry + "/" + name);
            }
        }
    }
    // std::string compares bytes as unsigned, which for UTF-8 is code-point order.
    std::sort(names.begin(), names.end());
    return names;
}

} // namespace

CommandUse commandUse(const FileAccessProbing& prober, const std::vector<std::string>& commands,
    const std::vector<std::string>& commandFolders) {
    CommandUse use;
    for (const auto& folder : commandFolders) {
        for (const auto& command : commands) {
            if (isSafeRelativeName(command) && command.find('/') == std::string::npos) {
                noteUse(prober, folder + "/" + command, use);
            }
        }
    }
    return use;
}

GlobalFolder readGlobalFolder(const std::string& folder, WithoutManifest without) {
    GlobalFolder found;
    // Measured through: a node_modules that is a link would lead anywhere.
    if (!joinsWithoutLinks(folder, "node_modules/")) {
        return found;
    }
    const std::string modules = folder + "/node_modules";
    const auto manifest = manifestDependencies(folder + "/package.json");
    std::vector<std::string> names;
    if (manifest) {
        names = *manifest;
    } else if (without == WithoutManifest::everyFolderIsAGlobal) {
        names = packageFolders(modules);
    }
    for (const std::string& name : names) {
        std::optional<std::string> path;
        if (isSafeRelativeName(name) && joinsWithoutLinks(modules, name)) {
            path = childPath(modules, name);
        }
        found.globals.push_back(Global{name, path});
    }
    // With every folder a global, nothing else came with them.
    if (manifest || without == WithoutManifest::nothingIsAGlobal) {
        for (const std::string& entry : otherEntries(modules, names)) {
            if (isSafeRelativeName(entry) && joinsWithoutLinks(modules, entry)) {
                found.dependencies.push_back(modules + "/" + entry);
            }
        }
    }
    return found;
}

void addGlobals(ReportDraft& draft, const std::vector<Global>& globals, const GlobalJudging& judging) {
    // Reading each global's package.json and its commands' times is what costs: done side by side.
    std::vector<PackageManifest> manifests(globals.size());
    std::vector<CommandUse> uses(globals.size());
    parallelFor(globals.size(), [&](std::size_t i) {
        try {
            if (globals[i].path) {
                manifests[i] = readPackageManifest(*globals[i].path, globals[i].name);
                uses[i] = commandUse(judging.prober, manifests[i].commands, judging.commandFolders);
            }
        } catch (...) {
            // What could not be read stays unknown; the global is still listed.
        }
    });
    for (std::size_t i = 0; i < globals.size(); ++i) {
        const Global& global = globals[i];
        draft.add(globalPackageItem(global.name, global.version ? global.version : manifests[i].version, global.path,
                      std::nullopt, uses[i], judging.clock, judging.kb, judging.manager, judging.removeWords),
            global.path ? std::vector{*global.path} : std::vector<std::string>());
    }
}

} // namespace kelvo
