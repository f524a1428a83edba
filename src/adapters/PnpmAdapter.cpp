#include "adapters/PnpmAdapter.h"

#include "adapters/AdapterSupport.h"
#include "adapters/PathSafety.h"
#include "adapters/Sources.h"
#include "system/ParallelFor.h"
#include "system/Platform.h"

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <set>
#include <utility>

namespace kelvo {

PnpmAdapter::PnpmAdapter(std::shared_ptr<const ReadOnlyCommandRunning> runner,
    std::shared_ptr<const DirectorySizing> sizer, std::shared_ptr<const FileAccessProbing> prober, KnowledgeBase kb,
    std::string home)
    : runner_(std::move(runner)), sizer_(std::move(sizer)), prober_(std::move(prober)), kb_(std::move(kb)),
      home_(std::move(home)) {}

const std::vector<QuickWin>& PnpmAdapter::quickWins() {
    static const std::vector<QuickWin> wins{QuickWin{Uuid::random(), "Prune unreferenced packages", "pnpm store prune",
        "Removes only packages no project references. pnpm decides at run time."}};
    return wins;
}

std::optional<std::string> PnpmAdapter::findStore() const {
    // Any entry there counts, as long as no level of it is a link.
    return firstEntry(home_, {"/Library/pnpm/store", "/.local/share/pnpm/store"});
}

namespace {

// The leading decimal digits of `text` as a number; absent without any, or beyond 64 bits (a
// version text a tool printed can hold anything).
std::optional<std::int64_t> leadingNumber(std::string_view text) {
    std::int64_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end == text.data()) {
        return std::nullopt;
    }
    return value;
}

// "v10" -> 10; anything else is not a store layout.
std::optional<std::int64_t> layoutNumber(const std::string& name) {
    if (name.size() < 2 || name[0] != 'v' ||
        !std::all_of(name.begin() + 1, name.end(), [](char c) { return c >= '0' && c <= '9'; })) {
        return std::nullopt;
    }
    return leadingNumber(std::string_view(name).substr(1));
}

// `path` with "." and ".." worked out by name alone; absent when ".." would climb above the root.
std::optional<std::string> lexicallyNormal(const std::string& path) {
    std::vector<std::string> parts;
    std::size_t start = 1;
    while (start <= path.size()) {
        const std::size_t slash = std::min(path.find('/', start), path.size());
        const std::string part = path.substr(start, slash - start);
        if (part == "..") {
            if (parts.empty()) {
                return std::nullopt;
            }
            parts.pop_back();
        } else if (!part.empty() && part != ".") {
            parts.push_back(part);
        }
        start = slash + 1;
    }
    std::string normal;
    for (const auto& part : parts) {
        normal += "/" + part;
    }
    return normal;
}

// The folder a global's node_modules entry stands for: the entry itself when it is a folder, or
// where its link leads when that is a folder inside pnpm's own, reached without another link.
std::optional<std::string> globalFolder(const std::string& pnpmHome, const std::string& entry) {
    if (isRealDirectory(entry)) {
        return entry;
    }
    const auto target = readLink(entry);
    if (!target || target->empty() || target->find('\0') != std::string::npos) {
        return std::nullopt;
    }
    const std::string joined = target->front() == '/' ? *target : entry.substr(0, entry.rfind('/') + 1) + *target;
    const auto folder = lexicallyNormal(joined);
    if (!folder || !folder->starts_with(pnpmHome + "/") ||
        !joinsWithoutLinks(pnpmHome, folder->substr(pnpmHome.size() + 1)) || !isRealDirectory(*folder)) {
        return std::nullopt;
    }
    return folder;
}

} // namespace

std::vector<std::string> PnpmAdapter::storeVersions(const std::string& store) {
    std::vector<std::pair<std::int64_t, std::string>> found;
    for (auto& name : listDirectory(store).value_or(std::vector<std::string>())) {
        if (const auto number = layoutNumber(name); number && isRealDirectory(store + "/" + name)) {
            found.emplace_back(*number, std::move(name));
        }
    }
    std::sort(found.begin(), found.end());
    std::vector<std::string> names;
    for (auto& [number, name] : found) {
        names.push_back(std::move(name));
    }
    return names;
}

std::vector<std::string> PnpmAdapter::globalLayouts(const std::string& pnpmHome) {
    std::vector<std::string> layouts;
    for (auto& name : listDirectory(pnpmHome + "/global").value_or(std::vector<std::string>())) {
        if (isRealDirectory(pnpmHome + "/global/" + name)) {
            layouts.push_back(std::move(name));
        }
    }
    std::sort(layouts.begin(), layouts.end());
    return layouts;
}

bool PnpmAdapter::readsGroupedGlobals(
    const std::optional<std::string>& version, const std::vector<std::string>& stores) {
    if (const auto major = version ? leadingNumber(*version) : std::nullopt; major && version->front() != '-') {
        return *major >= 11;
    }
    return !stores.empty() && layoutNumber(stores.back()).value_or(0) >= 11;
}

std::vector<PnpmAdapter::Global> PnpmAdapter::globals(const std::string& pnpmHome, const std::string& layout) {
    const std::string folder = pnpmHome + "/global/" + layout;
    std::vector<std::string> manifests;
    if (pathExists(folder + "/package.json")) {
        manifests.push_back(folder);
    } else {
        for (const auto& group : listDirectory(folder).value_or(std::vector<std::string>())) {
            if (isRealDirectory(folder + "/" + group)) {
                manifests.push_back(folder + "/" + group);
            }
        }
    }
    std::sort(manifests.begin(), manifests.end());
    std::vector<Global> found;
    std::set<std::string, std::less<>> seen;
    for (const auto& folder : manifests) {
        for (const auto& name : manifestDependencies(folder + "/package.json").value_or(std::vector<std::string>())) {
            if (!seen.insert(name).second) {
                continue;
            }
            std::optional<std::string> where;
            if (isSafeRelativeName(name) && joinsWithoutLinks(folder, "node_modules/" + name)) {
                where = globalFolder(pnpmHome, folder + "/node_modules/" + name);
            }
            found.push_back(Global{name, where});
        }
    }
    std::sort(found.begin(), found.end(), [](const Global& a, const Global& b) { return a.name < b.name; });
    return found;
}

std::optional<std::string> PnpmAdapter::version() const {
    // Every kind of failure, thrown or returned, means the command did not run.
    try {
        if (runner_) {
            CommandResult result = runner_->run(ReadOnlyCommand::pnpmVersion());
            if (result.ok) {
                return std::move(result.output);
            }
        }
    } catch (...) {
    }
    return std::nullopt;
}

bool PnpmAdapter::isInstalled() const {
    try {
        return version().has_value() || findStore().has_value();
    } catch (...) {
        return false;
    }
}

ManagerReport PnpmAdapter::scan(TallyScopes counted) const {
    return guardedScan(
        ManagerKind::pnpm, [this, counted](ManagerReport& partial) { return scanUnguarded(partial, counted); });
}

ManagerReport PnpmAdapter::scanUnguarded(ManagerReport& partial, TallyScopes counted) const {
    partial.version = version();
    const auto store = findStore();
    if (!partial.version && !store) {
        return partial;
    }
    partial.detected = true;
    partial.quickWins = quickWins();

    // The store item is the layout in use, the newest; older layouts beside it are left behind
    // by earlier pnpm versions and never pruned.
    enum class Role { store, oldStore, oldGlobals, program };
    struct Folder {
        std::string path;
        Role role;
        std::string layout; // oldStore: "v3"; oldGlobals: "global/5"
    };
    const std::vector<std::string> layouts = store ? storeVersions(*store) : std::vector<std::string>();
    std::vector<Folder> folders; // measured as items of their own
    if (store) {
        folders.push_back({layouts.empty() ? *store : *store + "/" + layouts.back(), Role::store, {}});
        for (std::size_t i = 0; i + 1 < layouts.size(); ++i) {
            folders.push_back({*store + "/" + layouts[i], Role::oldStore, layouts[i]});
        }
    }
    const auto metadata = firstFolder(home_, {"/Library/Caches/pnpm", "/.cache/pnpm"});
    const auto pnpmHome = firstFolder(home_, {"/Library/pnpm", "/.local/share/pnpm"});
    // The pnpm in use lists and removes the globals of its own layout of the global folder; another
    // layout is what an earlier pnpm left, which no pnpm command removes now.
    std::vector<Global> globalPackages;
    const bool grouped = readsGroupedGlobals(partial.version, layouts);
    for (const auto& layout : pnpmHome ? globalLayouts(*pnpmHome) : std::vector<std::string>()) {
        if ((layout.front() == 'v') == grouped) {
            auto found = globals(*pnpmHome, layout);
            globalPackages.insert(globalPackages.end(), found.begin(), found.end());
        } else {
            folders.push_back({*pnpmHome + "/global/" + layout, Role::oldGlobals, "global/" + layout});
        }
    }
    // pnpm's own program, where pnpm installed itself into its folder: it takes room too.
    if (pnpmHome && isRegularFile(*pnpmHome + "/pnpm")) {
        folders.push_back({*pnpmHome + "/pnpm", Role::program, {}});
    }

    // Indexes: the store folders, the metadata cache, then one per global package.
    const ManagerTally tally(counted);
    const std::size_t stores = folders.size(), count = globalPackages.size();
    std::vector<ItemSize> sizes(stores + 1 + count);
    std::vector<PackageManifest> manifests(count);
    std::vector<CommandUse> uses(count);
    // Commands are in pnpm's folder itself, or in its bin folder since pnpm 11.
    const std::vector<std::string> commandFolders{pnpmHome.value_or(""), pnpmHome.value_or("") + "/bin"};
    const UseClock clock{nowSeconds(), prober_ && pnpmHome && prober_->recordsAccessTimes(*pnpmHome)};
    parallelFor(stores + 1 + count, [&](std::size_t i) {
        try {
            if (i < stores) {
                sizes[i] = measureItem(*sizer_, {folders[i].path}, tally.counted());
            } else if (i == stores) {
                if (metadata) {
                    sizes[i] = measureItem(*sizer_, {*metadata}, tally.counted());
                }
            } else if (const Global& global = globalPackages[i - stores - 1]; global.folder) {
                manifests[i - stores - 1] = readPackageManifest(*global.folder, global.name);
                sizes[i] = measureItem(*sizer_, {*global.folder}, tally.counted());
                for (const auto& commands : commandFolders) {
                    const CommandUse use = commandUse(*prober_, manifests[i - stores - 1].commands, commands);
                    CommandUse& merged = uses[i - stores - 1];
                    if (use.lastUse && (!merged.lastUse || *use.lastUse > *merged.lastUse)) {
                        merged.lastUse = use.lastUse;
                    }
                    if (use.installedAt && (!merged.installedAt || *use.installedAt > *merged.installedAt)) {
                        merged.installedAt = use.installedAt;
                    }
                }
            }
        } catch (...) {
            // Whatever failed stays unmeasured; the item is still listed.
        }
    });

    ManagerReport& report = partial; // what is found stays found if a later step fails
    std::vector<std::optional<Uuid>> pruned;
    for (std::size_t i = 0; i < stores; ++i) {
        const Folder& folder = folders[i];
        DependencyItem item{Uuid::random(), storeName, std::nullopt, folder.path, sizes[i].bytes, Tier::safeByDesign,
            {Evidence::managerDefinesPrunable()}, std::string(storeIdentity), std::nullopt, sizes[i].freedBytes,
            std::nullopt, sizes[i].unreadable};
        switch (folder.role) {
        case Role::store: pruned.push_back(item.id); break;
        case Role::oldStore:
        case Role::oldGlobals:
            // No pnpm command removes a layout no pnpm uses any more.
            item.tier = Tier::orphanCandidate;
            item.reclaimCommand = "rm -rf -- " + shellQuoted(folder.path);
            if (folder.role == Role::oldStore) {
                item.name = "pnpm store " + folder.layout;
                item.evidence = {Evidence::oldStoreVersion(folder.layout)};
                item.identity = "The package store of an earlier pnpm — the pnpm you run now no longer reads it.";
            } else {
                item.name = "pnpm globals in " + folder.layout;
                item.evidence = {Evidence::oldGlobalFolder(folder.layout)};
                item.identity = "Globals an earlier pnpm installed — the pnpm you run now neither lists nor "
                                "removes them; their commands go with them.";
            }
            break;
        case Role::program:
            item.name = "pnpm itself";
            item.tier = Tier::signalOnly;
            item.evidence.clear();
            item.identity = "The pnpm program — it goes when you uninstall pnpm.";
            break;
        }
        report.items.push_back(std::move(item));
    }
    if (metadata) {
        report.items.push_back(cacheItem("pnpm metadata cache", *metadata, sizes[stores].bytes,
            foundIn("Package metadata pnpm keeps to resolve versions quickly — fetched again as needed.", *metadata,
                home_)));
        report.items.back().freedBytes = sizes[stores].freedBytes;
        report.items.back().unreadableFolders = sizes[stores].unreadable;
        pruned.push_back(report.items.back().id);
    }
    for (std::size_t i = 0; i < count; ++i) {
        const ItemSize& size = sizes[stores + 1 + i];
        report.items.push_back(globalPackageItem(globalPackages[i].name, manifests[i].version, globalPackages[i].folder,
            size.bytes, uses[i], clock, kb_, ManagerKind::pnpm, "pnpm remove -g"));
        report.items.back().freedBytes = size.freedBytes;
        report.items.back().unreadableFolders = size.unreadable;
    }
    sortItemsBySize(report.items);
    report.quickWins.clear();
    // pnpm's prune empties the metadata cache as well as the store's unreferenced packages.
    if (auto win =
            sizedQuickWin(quickWins()[0], report.items, pruned.empty() ? std::vector{std::optional<Uuid>()} : pruned)) {
        report.quickWins.push_back(*win);
    }
    report.onceCountedBytes = tally.total();
    return report;
}

const SourceDescriptor& PnpmSource() {
    static const SourceDescriptor source = [] {
        SourceDescriptor source;
        source.kind = ManagerKind::pnpm;
        source.displayName = "pnpm";
        source.shortLabel = "pnpm";
        source.programs = {"pnpm"};
        source.ownProgram = "pnpm";
        source.summary = [](const std::vector<DependencyItem>&) { return std::string("Content-addressable store"); };
        source.lockfiles = {"pnpm-lock.yaml"};
        source.restoreCommand = "pnpm install --frozen-lockfile";
        return source;
    }();
    return source;
}

std::shared_ptr<const ManagerAdapter> makePnpmAdapter(const AdapterServices& services) {
    return std::make_shared<PnpmAdapter>(
        services.runner, services.sizer, services.prober, services.knowledge, services.home);
}

} // namespace kelvo
