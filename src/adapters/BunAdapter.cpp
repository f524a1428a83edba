#include "adapters/BunAdapter.h"

#include "adapters/AdapterSupport.h"
#include "adapters/PathSafety.h"
#include "adapters/Sources.h"
#include "system/ParallelFor.h"
#include "system/Platform.h"

#include <algorithm>
#include <set>

#include <nlohmann/json.hpp>

namespace kelvo {

BunAdapter::BunAdapter(std::shared_ptr<const ReadOnlyCommandRunning> runner,
    std::shared_ptr<const DirectorySizing> sizer, std::shared_ptr<const FileAccessProbing> prober, KnowledgeBase kb,
    std::string home)
    : runner_(std::move(runner)), sizer_(std::move(sizer)), prober_(std::move(prober)), kb_(std::move(kb)),
      home_(std::move(home)) {}

const std::vector<QuickWin>& BunAdapter::quickWins() {
    static const std::vector<QuickWin> wins{
        {Uuid::random(), "Clear the bun cache", "bun pm cache rm",
            "Removes bun's global module cache. Re-downloaded as needed."},
    };
    return wins;
}

std::vector<std::string> BunAdapter::packageNames(const std::string& modulesDirectory) {
    std::vector<std::string> names;
    const auto entries = listDirectory(modulesDirectory);
    if (!entries) {
        return names;
    }
    for (const std::string& entry : *entries) {
        if (entry.empty() || entry.front() == '.') {
            continue;
        }
        if (entry.front() != '@') {
            names.push_back(entry);
            continue;
        }
        // A scope that is a link to elsewhere ("/", another tree) holds no package of bun's.
        if (!joinsWithoutLinks(modulesDirectory, entry + "/")) {
            continue;
        }
        const auto scoped = listDirectory(modulesDirectory + "/" + entry);
        if (!scoped) {
            continue;
        }
        for (const std::string& name : *scoped) {
            if (!name.empty() && name.front() != '.') {
                names.push_back(entry + "/" + name);
            }
        }
    }
    // std::string compares bytes as unsigned, which for UTF-8 is code-point order.
    std::sort(names.begin(), names.end());
    return names;
}

bool BunAdapter::installedBy(const CommandResult& version) const {
    return version.ok || toolFolder(home_, "/.bun").has_value();
}

CommandResult BunAdapter::runVersion() const {
    try {
        return runner_->run(ReadOnlyCommand::bunVersion());
    } catch (...) {
        return CommandResult::failure({}); // counts as a failed run: the directory still decides
    }
}

bool BunAdapter::isInstalled() const { return installedBy(runVersion()); }

ManagerReport BunAdapter::scan(TallyScopes counted) const {
    return guardedScan(
        ManagerKind::bun, [this, counted](ManagerReport& partial) { return scanUnguarded(partial, counted); });
}

ManagerReport BunAdapter::scanUnguarded(ManagerReport& partial, TallyScopes counted) const {
    const CommandResult first = runVersion();
    if (!installedBy(first)) {
        return partial;
    }
    partial.detected = true;
    partial.quickWins = quickWins();
    // A version command that ran out of time would only do so again: a hung bun costs one
    // time limit, not two.
    if (first.ok || first.error.kind != CommandError::Kind::timedOut) {
        if (const CommandResult version = runVersion(); version.ok && !version.output.empty()) {
            partial.version = version.output;
        }
    }

    // Each folder bun keeps, when it is one: a link at any level of it is never followed.
    const auto globalDirectory = toolFolder(home_, "/.bun/install/global");
    const auto modules = toolFolder(home_, "/.bun/install/global/node_modules");
    const std::string modulesDirectory = modules.value_or("");
    const std::string commandDirectory = home_ + "/.bun/bin";
    const auto cacheDirectory = toolFolder(home_, "/.bun/install/cache");
    // bun installs every dependency of its globals beside them: the manifest tells which folders
    // the user added. Without one, every folder counts as a global.
    const auto manifest = globalDirectory ? manifestDependencies(*globalDirectory + "/package.json") : std::nullopt;
    const std::vector<std::string> names =
        manifest ? *manifest : (modules ? packageNames(modulesDirectory) : std::vector<std::string>());
    std::vector<std::string> dependencyPaths;
    if (manifest && modules) {
        for (const std::string& entry : otherEntries(modulesDirectory, names)) {
            if (isSafeRelativeName(entry) && joinsWithoutLinks(modulesDirectory, entry)) {
                dependencyPaths.push_back(modulesDirectory + "/" + entry);
            }
        }
    }

    // Index i < count handles package i, index count measures the cache and index count + 1 the
    // dependencies. Results are stored by index, so the outcome is the same as one after another.
    const ManagerTally tally(counted);
    const UseClock clock{nowSeconds(), prober_->recordsAccessTimes(commandDirectory)};
    const std::size_t count = names.size();
    std::vector<std::optional<std::string>> versions(count);
    std::vector<ItemSize> sizes(count);
    std::vector<CommandUse> uses(count);
    ItemSize cacheSize, dependencySize;
    parallelFor(count + 2, [&](std::size_t i) {
        try {
            if (i == count) {
                if (cacheDirectory) {
                    cacheSize = measureItem(*sizer_, {*cacheDirectory}, tally.counted());
                }
                return;
            }
            if (i == count + 1) {
                if (!dependencyPaths.empty()) {
                    dependencySize = measureItem(*sizer_, dependencyPaths, tally.counted());
                }
                return;
            }
            if (!modules || !isSafeRelativeName(names[i]) || !joinsWithoutLinks(modulesDirectory, names[i])) {
                return;
            }
            const std::string directory = modulesDirectory + "/" + names[i];
            const PackageManifest package = readPackageManifest(directory, names[i]);
            versions[i] = package.version;
            sizes[i] = measureItem(*sizer_, {directory}, tally.counted());
            uses[i] = commandUse(*prober_, package.commands, commandDirectory);
        } catch (...) {
            // Whatever failed stays unknown; the item is still listed.
        }
    });

    ManagerReport& report = partial; // what is found stays found if a later step fails
    report.items.reserve(count + 2);
    for (std::size_t i = 0; i < count; ++i) {
        report.items.push_back(
            globalPackageItem(names[i], versions[i], modules ? childPath(modulesDirectory, names[i]) : std::nullopt,
                sizes[i].bytes, uses[i], clock, kb_, ManagerKind::bun, "bun remove -g"));
        report.items.back().freedBytes = sizes[i].freedBytes;
        report.items.back().unreadableFolders = sizes[i].unreadable;
    }
    if (!dependencyPaths.empty()) {
        report.items.push_back(dependenciesItem(dependenciesName, dependencySize.bytes,
            "Packages your bun globals depend on — they go away with the globals that need them."));
        report.items.back().freedBytes = dependencySize.freedBytes;
        report.items.back().unreadableFolders = dependencySize.unreadable;
    }
    // bun's own program in its folder takes room too.
    if (const std::string program = commandDirectory + "/bun"; isRegularFile(program)) {
        const ItemSize size = measureItem(*sizer_, {program}, tally.counted());
        report.items.push_back(
            dependenciesItem("bun itself", size.bytes, "The bun program — it goes when you uninstall bun."));
        report.items.back().path = program;
        report.items.back().freedBytes = size.freedBytes;
        report.items.back().unreadableFolders = size.unreadable;
    }
    std::optional<Uuid> cache;
    if (cacheDirectory && cacheSize.bytes) {
        report.items.push_back(
            cacheItem("bun cache", *cacheDirectory, cacheSize.bytes, "bun's module cache — re-downloaded as needed."));
        report.items.back().freedBytes = cacheSize.freedBytes;
        report.items.back().unreadableFolders = cacheSize.unreadable;
        cache = report.items.back().id;
    }
    sortItemsBySize(report.items);
    report.quickWins.clear();
    if (auto win = sizedQuickWin(quickWins()[0], report.items, {cache})) {
        report.quickWins.push_back(*win);
    }
    report.onceCountedBytes = tally.total();
    return report;
}

const SourceDescriptor& BunSource() {
    static const SourceDescriptor source = [] {
        SourceDescriptor source;
        source.kind = ManagerKind::bun;
        source.displayName = "bun";
        source.shortLabel = "bun";
        source.programs = {"bun"};
        source.ownProgram = "bun";
        source.summary = [](const std::vector<DependencyItem>& items) {
            return countOf(static_cast<std::int64_t>(items.size()), "global", "globals");
        };
        source.lockfiles = {"bun.lock", "bun.lockb"};
        source.restoreCommand = "bun install --frozen-lockfile";
        return source;
    }();
    return source;
}

std::shared_ptr<const ManagerAdapter> makeBunAdapter(const AdapterServices& services) {
    return std::make_shared<BunAdapter>(
        services.runner, services.sizer, services.prober, services.knowledge, services.home);
}

} // namespace kelvo
