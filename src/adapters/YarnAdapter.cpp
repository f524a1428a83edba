#include "adapters/YarnAdapter.h"

#include "adapters/AdapterSupport.h"
#include "adapters/NvmAdapter.h"
#include "adapters/PathSafety.h"
#include "adapters/Sources.h"
#include "system/ParallelFor.h"
#include "system/Platform.h"

#include <nlohmann/json.hpp>

namespace kelvo {

YarnAdapter::YarnAdapter(std::shared_ptr<const DirectorySizing> sizer, std::shared_ptr<const FileAccessProbing> prober,
    KnowledgeBase kb, std::string home)
    : sizer_(std::move(sizer)), prober_(std::move(prober)), kb_(std::move(kb)), home_(std::move(home)) {}

const std::vector<QuickWin>& YarnAdapter::quickWins() {
    static const std::vector<QuickWin> wins{
        {Uuid::random(), "Clean the Yarn cache", "yarn cache clean",
            "Removes Yarn 1's download cache. Yarn downloads again what a project needs."},
        {Uuid::random(), "Clean Yarn's shared cache", "yarn cache clean --all",
            "Run in any Yarn 2+ project: removes the shared cache of every project. Downloaded again as needed."},
    };
    return wins;
}

YarnAdapter::Folders YarnAdapter::folders() const {
    // Yarn 1 keeps its global folder in ~/.config on macOS too; only its cache moves to Library.
    return Folders{firstFolder(home_, {"/Library/Caches/Yarn", "/.cache/yarn"}),
        firstFolder(home_, {"/.yarn/berry/cache"}), firstFolder(home_, {"/.config/yarn/global"})};
}

bool YarnAdapter::isInstalled() const {
    try {
        const Folders found = folders();
        return found.cache || found.berryCache || found.globals;
    } catch (...) {
        return false;
    }
}

std::optional<std::string> YarnAdapter::version() const {
    // Where Yarn 1 is installed as a package: the Node nvm defaults to, then npm's usual prefixes.
    std::vector<std::string> prefixes;
    const auto names = NvmAdapter::versionNames(home_);
    if (const auto node = NvmAdapter::defaultVersion(home_, names);
        node && isSafeRelativeName(*node) && node->find('/') == std::string::npos) {
        prefixes.push_back(home_ + "/.nvm/versions/node/" + *node);
    }
    for (const char* prefix : {"/opt/homebrew", "/usr/local", "/usr"}) {
        prefixes.emplace_back(prefix);
    }
    for (const auto& prefix : prefixes) {
        const auto json = nlohmann::json::parse(
            readFile(prefix + "/lib/node_modules/yarn/package.json", 1024 * 1024).value_or(""), nullptr, false);
        if (json.is_object() && json.value("name", nlohmann::json()) == "yarn") {
            if (const auto found = json.find("version"); found != json.end() && found->is_string()) {
                return found->get<std::string>();
            }
        }
    }
    return std::nullopt;
}

ManagerReport YarnAdapter::scan(TallyScopes counted) const {
    return guardedScan(
        ManagerKind::yarn, [this, counted](ManagerReport& partial) { return scanUnguarded(partial, counted); });
}

ManagerReport YarnAdapter::scanUnguarded(ManagerReport& partial, TallyScopes counted) const {
    const Folders found = folders();
    if (!found.cache && !found.berryCache && !found.globals) {
        return partial;
    }
    partial.detected = true;
    partial.version = version();

    // The globals the user added are what the global folder's package.json names; everything else
    // in its node_modules came with them. Without a readable manifest, all of it is that.
    std::vector<std::string> names;
    std::vector<std::string> dependencyPaths;
    const std::string modules = found.globals.value_or("") + "/node_modules";
    // Its node_modules is measured through: a link there would lead anywhere.
    const bool modulesReal = found.globals && joinsWithoutLinks(*found.globals, "node_modules/");
    if (found.globals) {
        names = manifestDependencies(*found.globals + "/package.json").value_or(std::vector<std::string>());
        for (const std::string& entry : modulesReal ? otherEntries(modules, names) : std::vector<std::string>()) {
            if (isSafeRelativeName(entry) && joinsWithoutLinks(modules, entry)) {
                dependencyPaths.push_back(modules + "/" + entry);
            }
        }
    }

    // Index i < count measures global i; then the dependencies, Yarn 1's cache and the shared cache.
    const ManagerTally tally(counted);
    const std::string commandDirectory = home_ + "/.yarn/bin";
    const UseClock clock{nowSeconds(), prober_->recordsAccessTimes(commandDirectory)};
    const std::size_t count = names.size();
    std::vector<PackageManifest> manifests(count);
    std::vector<ItemSize> sizes(count + 3);
    std::vector<CommandUse> uses(count);
    const std::vector<std::optional<std::string>> folders{std::nullopt, found.cache, found.berryCache};
    parallelFor(count + 3, [&](std::size_t i) {
        try {
            if (i >= count) {
                if (i == count && !dependencyPaths.empty()) {
                    sizes[i] = measureItem(*sizer_, dependencyPaths, tally.counted());
                } else if (i > count && folders[i - count]) {
                    sizes[i] = measureItem(*sizer_, {*folders[i - count]}, tally.counted());
                }
                return;
            }
            if (!modulesReal || !isSafeRelativeName(names[i]) || !joinsWithoutLinks(modules, names[i])) {
                return;
            }
            const std::string directory = modules + "/" + names[i];
            manifests[i] = readPackageManifest(directory, names[i]);
            sizes[i] = measureItem(*sizer_, {directory}, tally.counted());
            uses[i] = commandUse(*prober_, manifests[i].commands, commandDirectory);
        } catch (...) {
            // Whatever failed stays unmeasured; the item is still listed.
        }
    });

    ManagerReport& report = partial; // what is found stays found if a later step fails
    for (std::size_t i = 0; i < count; ++i) {
        report.items.push_back(
            globalPackageItem(names[i], manifests[i].version, modulesReal ? childPath(modules, names[i]) : std::nullopt,
                sizes[i].bytes, uses[i], clock, kb_, ManagerKind::yarn, "yarn global remove"));
        report.items.back().freedBytes = sizes[i].freedBytes;
        report.items.back().unreadableFolders = sizes[i].unreadable;
    }
    if (!dependencyPaths.empty()) {
        report.items.push_back(dependenciesItem(dependenciesName, sizes[count].bytes,
            "Packages your Yarn globals depend on — they go away with the globals that need them."));
        report.items.back().freedBytes = sizes[count].freedBytes;
        report.items.back().unreadableFolders = sizes[count].unreadable;
    }
    std::optional<Uuid> cache, berryCache;
    if (found.cache) {
        report.items.push_back(cacheItem("Yarn cache", *found.cache, sizes[count + 1].bytes,
            foundIn("Yarn 1's download cache — downloaded again as needed.", *found.cache, home_)));
        report.items.back().freedBytes = sizes[count + 1].freedBytes;
        report.items.back().unreadableFolders = sizes[count + 1].unreadable;
        cache = report.items.back().id;
    }
    if (found.berryCache) {
        report.items.push_back(cacheItem("Yarn shared cache", *found.berryCache, sizes[count + 2].bytes,
            foundIn("The package archives Yarn 2 and later share between projects — downloaded again as needed.",
                *found.berryCache, home_)));
        report.items.back().freedBytes = sizes[count + 2].freedBytes;
        report.items.back().unreadableFolders = sizes[count + 2].unreadable;
        berryCache = report.items.back().id;
    }
    sortItemsBySize(report.items);
    for (const auto& [win, covered] : {std::pair{quickWins()[0], cache}, {quickWins()[1], berryCache}}) {
        if (auto sized = sizedQuickWin(win, report.items, {covered})) {
            report.quickWins.push_back(*sized);
        }
    }
    report.onceCountedBytes = tally.total();
    return report;
}

const SourceDescriptor& YarnSource() {
    static const SourceDescriptor source = [] {
        SourceDescriptor source;
        source.kind = ManagerKind::yarn;
        source.displayName = "Yarn";
        source.shortLabel = "yarn";
        source.ownProgram = "yarn";
        source.summary = [](const std::vector<DependencyItem>& items) {
            // What it names: the globals the user added, and its caches.
            const auto caches = std::count_if(
                items.begin(), items.end(), [](const DependencyItem& item) { return item.tier == Tier::safeByDesign; });
            const auto globals = std::count_if(items.begin(), items.end(), [](const DependencyItem& item) {
                return item.tier != Tier::safeByDesign && item.name != YarnAdapter::dependenciesName;
            });
            return countsOf({{globals, "global", "globals"}, {caches, "cache", "caches"}});
        };
        source.lockfiles = {"yarn.lock"};
        source.restoreCommand = "yarn install --frozen-lockfile";
        return source;
    }();
    return source;
}

std::shared_ptr<const ManagerAdapter> makeYarnAdapter(const AdapterServices& services) {
    return std::make_shared<YarnAdapter>(services.sizer, services.prober, services.knowledge, services.home);
}

} // namespace kelvo
