#include "adapters/AdapterSupport.h"

#include "adapters/PathSafety.h"
#include "knowledge/KnowledgeBase.h"
#include "system/ParallelFor.h"
#include "system/Platform.h"

#include <algorithm>

#include <nlohmann/json.hpp>

namespace kelvo {

bool isSafeRelativeName(std::string_view name) {
    if (name.empty() || name.find('\0') != std::string_view::npos) {
        return false;
    }
    std::size_t start = 0;
    while (true) {
        const std::size_t slash = name.find('/', start);
        const std::string_view part = name.substr(start, slash == std::string_view::npos ? slash : slash - start);
        if (part.empty() || part == "." || part == "..") {
            return false;
        }
        if (slash == std::string_view::npos) {
            return true;
        }
        start = slash + 1;
    }
}

std::map<std::string, ItemSize> measureChildren(const DirectorySizing& sizer, const std::string& parent,
    const std::vector<std::string>& names, TallyScopes counted) {
    std::vector<ItemSize> sizes(names.size());
    parallelFor(names.size(), [&](std::size_t i) {
        if (isSafeRelativeName(names[i])) {
            sizes[i] = measureItem(sizer, {parent + "/" + names[i]}, counted);
        }
    });
    std::map<std::string, ItemSize> table;
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (sizes[i].bytes) {
            table.emplace(names[i], sizes[i]);
        }
    }
    return table;
}

ManagerReport finishedReport(ManagerReport report) {
    for (DependencyItem& item : report.items) {
        withholdInexactCommand(item);
    }
    return report;
}

void sortItemsBySize(std::vector<DependencyItem>& items) {
    std::stable_sort(items.begin(), items.end(),
        [](const DependencyItem& a, const DependencyItem& b) { return a.bytes.value_or(-1) > b.bytes.value_or(-1); });
}

std::optional<std::string> childPath(const std::string& parent, std::string_view name) {
    if (parent.empty() || parent.front() != '/' || !isSafeRelativeName(name)) {
        return std::nullopt;
    }
    return parent + "/" + std::string(name);
}

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

DependencyItem cacheItem(std::string name, std::string path, std::optional<std::int64_t> bytes, std::string identity) {
    DependencyItem cache;
    cache.id = Uuid::random();
    cache.name = std::move(name);
    cache.path = std::move(path);
    cache.bytes = bytes;
    cache.tier = Tier::safeByDesign;
    cache.evidence.push_back(Evidence::managerDefinesPrunable());
    cache.identity = std::move(identity);
    return cache;
}

std::string foundIn(std::string identity, const std::string& folder, const std::string& home) {
    return std::move(identity) + " Found in " + homeAbbreviated(folder, home) + ", its default folder.";
}

ItemSize measureItem(const DirectorySizing& sizer, const std::vector<std::string>& paths, TallyScopes counted) {
    try {
        if (const auto measured = sizer.measureItem(paths, counted)) {
            return ItemSize{measured->bytes, measured->freedBytes, measured->unreadable};
        }
        return {};
    } catch (...) {
        return {};
    }
}

namespace {

std::optional<std::string> toolPlace(const std::string& home, std::string_view suffix, bool folder) {
    if (home.empty() || home.front() != '/' || !suffix.starts_with('/')) {
        return std::nullopt;
    }
    static constexpr std::string_view shared[] = {
        "/Library/Application Support", "/Library/Caches", "/Library", "/.local/share", "/.cache", "/.config"};
    std::string_view base;
    for (const std::string_view candidate : shared) {
        if (suffix.starts_with(candidate) && suffix.size() > candidate.size() && suffix[candidate.size()] == '/') {
            base = candidate;
            break;
        }
    }
    const std::string_view own = suffix.substr(base.size() + 1);
    if (!isSafeRelativeName(own)) {
        return std::nullopt;
    }
    std::string path = home + std::string(base);
    for (std::size_t start = 0; start <= own.size();) {
        const std::size_t end = std::min(own.find('/', start), own.size());
        path += "/";
        path += own.substr(start, end - start);
        const bool last = end == own.size();
        if (!(last && !folder ? isEntryNotLink(path) : isRealDirectory(path))) {
            return std::nullopt;
        }
        start = end + 1;
    }
    return path;
}

template <class Find>
std::optional<std::string> firstOf(const std::vector<std::string_view>& suffixes, Find&& find) {
    for (const std::string_view suffix : suffixes) {
        if (auto place = find(suffix)) {
            return place;
        }
    }
    return std::nullopt;
}

} // namespace

std::optional<std::string> toolFolder(const std::string& home, std::string_view suffix) {
    return toolPlace(home, suffix, true);
}

std::optional<std::string> toolEntry(const std::string& home, std::string_view suffix) {
    return toolPlace(home, suffix, false);
}

std::optional<std::string> firstFolder(const std::string& home, const std::vector<std::string_view>& suffixes) {
    return firstOf(suffixes, [&](std::string_view suffix) { return toolFolder(home, suffix); });
}

std::optional<std::string> firstEntry(const std::string& home, const std::vector<std::string_view>& suffixes) {
    return firstOf(suffixes, [&](std::string_view suffix) { return toolEntry(home, suffix); });
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

std::optional<QuickWin> sizedQuickWin(
    const QuickWin& win, const std::vector<DependencyItem>& items, const std::vector<std::optional<Uuid>>& covered) {
    QuickWin sized = win;
    bool anything = covered.empty();
    for (const auto& id : covered) {
        const auto item = std::find_if(
            items.begin(), items.end(), [&](const DependencyItem& candidate) { return id && candidate.id == *id; });
        if (item == items.end()) {
            continue;
        }
        if (item->bytes) {
            // The items one command covers never share files: their sizes add up.
            sized.bytes = sized.bytes.value_or(0) + *item->bytes;
        }
        anything = anything || item->bytes.value_or(1) > 0;
    }
    return anything ? std::optional(sized) : std::nullopt;
}

bool isSinglePathAnswer(std::string_view output) {
    return output.size() <= 4096 && output.find('\n') == std::string_view::npos &&
           output.find('\0') == std::string_view::npos;
}

std::string shellQuoted(std::string_view word) {
    const bool plain = !word.empty() && std::all_of(word.begin(), word.end(), [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
               std::string_view("@%+=:,./_-").find(c) != std::string_view::npos;
    });
    if (plain) {
        return std::string(word);
    }
    // Single quotes keep everything literal; an embedded quote closes, escapes and reopens.
    std::string out = "'";
    for (char c : word) {
        if (c == '\'') {
            out += "'\\''";
        } else {
            out.push_back(c);
        }
    }
    out.push_back('\'');
    return out;
}

std::string commandWithName(std::string_view fixedWords, std::string_view name) {
    return std::string(fixedWords) + " " + shellQuoted(name);
}

std::string commandWithOperand(std::string_view fixedWords, std::string_view name) {
    if (!name.empty() && name.front() == '-') {
        return std::string(fixedWords) + " -- " + shellQuoted(name);
    }
    return commandWithName(fixedWords, name);
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

CommandUse commandUse(
    const FileAccessProbing& prober, const std::vector<std::string>& commands, const std::string& commandDirectory) {
    CommandUse use;
    for (const auto& command : commands) {
        if (!isSafeRelativeName(command) || command.find('/') != std::string::npos) {
            continue;
        }
        const std::string entry = commandDirectory + "/" + command;
        if (const auto made = prober.entryModified(entry); made && (!use.installedAt || *made > *use.installedAt)) {
            use.installedAt = made;
        }
        const auto times = prober.fileTimes(entry);
        if (!times || times->accessed - times->modified < 86400.0) {
            continue;
        }
        if (!use.lastUse || times->accessed > *use.lastUse) {
            use.lastUse = times->accessed;
        }
    }
    return use;
}

} // namespace kelvo
