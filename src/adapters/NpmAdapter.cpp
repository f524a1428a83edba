#include "adapters/NpmAdapter.h"

#include "adapters/AdapterSupport.h"
#include "adapters/PathSafety.h"
#include "adapters/Sources.h"
#include "system/ParallelFor.h"

#include <algorithm>
#include <future>

#include <nlohmann/json.hpp>

namespace kelvo {

NpmAdapter::NpmAdapter(std::shared_ptr<const ReadOnlyCommandRunning> runner,
    std::shared_ptr<const DirectorySizing> sizer, std::shared_ptr<const FileAccessProbing> prober, KnowledgeBase kb,
    std::string home)
    : runner_(std::move(runner)), sizer_(std::move(sizer)), prober_(std::move(prober)), kb_(std::move(kb)),
      home_(std::move(home)) {}

const std::vector<QuickWin>& NpmAdapter::quickWins() {
    static const std::vector<QuickWin> wins{
        {Uuid::random(), "Clean the npm cache", "npm cache clean --force",
            "Removes the download cache. npm regenerates it as needed."},
        {Uuid::random(), "Clean corepack's cache", "corepack cache clean",
            "Removes the package-manager versions corepack downloaded. It fetches the one a project asks for."},
        {Uuid::random(), "Remove Playwright's browsers", "npx playwright uninstall --all",
            "Removes the browsers Playwright downloaded for tests. `npx playwright install` brings them back."},
        {Uuid::random(), "Clear Cypress's cache", "npx cypress cache clear",
            "Removes the Cypress apps downloaded for tests. Installing Cypress brings its own back."},
    };
    return wins;
}

const std::vector<NpmAdapter::SideCache>& NpmAdapter::sideCaches() {
    // corepack keeps ~/.cache on macOS too; the others follow the platform's cache folder.
    static const std::vector<SideCache> caches{
        {"corepack cache", {"/.cache/node/corepack"},
            "Package managers corepack downloaded for your projects — fetched again as needed.", 1},
        {"node-gyp headers", {"/Library/Caches/node-gyp", "/.cache/node-gyp"},
            "Node headers node-gyp downloaded to build native addons — downloaded again when needed.", -1},
        {"Playwright browsers", {"/Library/Caches/ms-playwright", "/.cache/ms-playwright"},
            "Browsers Playwright downloaded to run tests — installed again when a project needs them.", 2},
        {"Cypress binaries", {"/Library/Caches/Cypress", "/.cache/Cypress"},
            "The Cypress apps downloaded to run tests — installed again with Cypress.", 3},
    };
    return caches;
}

std::vector<NpmAdapter::Package> NpmAdapter::packageList(std::string_view jsonText) {
    const auto json = nlohmann::json::parse(jsonText, nullptr, false);
    if (json.is_discarded() || !json.is_object()) {
        return {};
    }
    const auto dependencies = json.find("dependencies");
    if (dependencies == json.end() || !dependencies->is_object()) {
        return {};
    }
    std::vector<Package> packages;
    for (const auto& [name, value] : dependencies->items()) {
        std::optional<std::string> version;
        if (value.is_object()) {
            if (const auto found = value.find("version"); found != value.end() && found->is_string()) {
                version = found->get<std::string>();
            }
        }
        packages.emplace_back(name, std::move(version));
    }
    // std::string compares bytes as unsigned, which for UTF-8 is code-point order.
    std::stable_sort(
        packages.begin(), packages.end(), [](const Package& a, const Package& b) { return a.first < b.first; });
    return packages;
}

bool NpmAdapter::isInstalled() const {
    try {
        return runner_->run(ReadOnlyCommand::npmVersion()).ok;
    } catch (...) {
        return false;
    }
}

ManagerReport NpmAdapter::scan(TallyScopes counted) const {
    return guardedScan(
        ManagerKind::npm, [this, counted](ManagerReport& partial) { return scanUnguarded(partial, counted); });
}

ManagerReport NpmAdapter::scanUnguarded(ManagerReport& partial, TallyScopes counted) const {
    // The four questions do not depend on each other, and each start of npm costs a Node start-up:
    // they are asked at once, and the other answers count only when the version says npm is there.
    const auto ask = [this](ReadOnlyCommand command) {
        return std::async(std::launch::async, [this, command] { return runner_->run(command); });
    };
    auto prefixAnswer = ask(ReadOnlyCommand::npmPrefixGlobal());
    auto listAnswer = ask(ReadOnlyCommand::npmListGlobalJSON());
    auto cacheAnswer = ask(ReadOnlyCommand::npmCacheDir());
    const CommandResult version = runner_->run(ReadOnlyCommand::npmVersion());
    // A question that failed in any way, thrown or returned, is one npm did not answer.
    const auto answer = [](std::future<CommandResult>& asked) {
        try {
            return asked.get();
        } catch (...) {
            return CommandResult::failure({});
        }
    };
    const CommandResult prefix = answer(prefixAnswer);
    const CommandResult list = answer(listAnswer);
    const CommandResult cache = answer(cacheAnswer);
    if (!version.ok) {
        return partial;
    }
    partial.detected = true;
    if (!version.output.empty()) {
        partial.version = version.output;
    }
    partial.quickWins = {quickWins()[0]};

    // A flood of output as the prefix would be copied into every item's path.
    if (!prefix.ok || !isSinglePathAnswer(prefix.output) || !list.ok) {
        return partial;
    }
    const std::string modulesDirectory = prefix.output + "/lib/node_modules";
    const std::string commandDirectory = prefix.output + "/bin";
    const std::vector<Package> packages = packageList(list.output);
    // Only an absolute directory from npm's output is measured or probed: an empty or relative
    // one would resolve against "/" or the working directory, which are not npm's.
    const auto isAbsolute = [](const std::string& path) { return !path.empty() && path.front() == '/'; };
    // Only through real folders below the prefix: a link as lib or node_modules would lead anywhere.
    const bool prefixIsAbsolute = isAbsolute(prefix.output) && joinsWithoutLinks(prefix.output, "lib/node_modules/");
    std::optional<std::string> cacheDirectory;
    if (cache.ok && !cache.output.empty() && isSinglePathAnswer(cache.output)) {
        cacheDirectory = cache.output;
    }

    std::vector<std::optional<std::string>> sideFolders;
    for (const SideCache& side : sideCaches()) {
        sideFolders.push_back(home_.empty() ? std::nullopt : firstFolder(home_, side.places));
    }

    // Index i < count measures package i; index count measures the cache, the ones after it the
    // side caches. Results are stored by index, so the outcome is the same as one after another.
    const ManagerTally tally(counted);
    const UseClock clock{nowSeconds(), prober_->recordsAccessTimes(commandDirectory)};
    const std::size_t count = packages.size();
    std::vector<ItemSize> sizes(count);
    std::vector<CommandUse> uses(count);
    ItemSize cacheSize;
    std::vector<ItemSize> sideSizes(sideFolders.size());
    parallelFor(count + 1 + sideFolders.size(), [&](std::size_t i) {
        try {
            if (i == count) {
                if (cacheDirectory && isAbsolute(*cacheDirectory)) {
                    cacheSize = measureItem(*sizer_, {*cacheDirectory}, tally.counted());
                }
                return;
            }
            if (i > count) {
                if (const auto& folder = sideFolders[i - count - 1]) {
                    sideSizes[i - count - 1] = measureItem(*sizer_, {*folder}, tally.counted());
                }
                return;
            }
            const std::string& name = packages[i].first;
            if (!prefixIsAbsolute || !isSafeRelativeName(name) || !joinsWithoutLinks(modulesDirectory, name)) {
                return;
            }
            const std::string directory = modulesDirectory + "/" + name;
            sizes[i] = measureItem(*sizer_, {directory}, tally.counted());
            uses[i] = commandUse(*prober_, readPackageManifest(directory, name).commands, commandDirectory);
        } catch (...) {
            // Whatever failed stays unmeasured; the item is still listed.
        }
    });

    ManagerReport& report = partial; // what is found stays found if a later step fails
    report.items.reserve(count + 1);
    for (std::size_t i = 0; i < count; ++i) {
        const auto& [name, packageVersion] = packages[i];
        report.items.push_back(globalPackageItem(name, packageVersion, childPath(modulesDirectory, name),
            sizes[i].bytes, uses[i], clock, kb_, ManagerKind::npm, "npm -g uninstall"));
        report.items.back().freedBytes = sizes[i].freedBytes;
        report.items.back().unreadableFolders = sizes[i].unreadable;
    }
    std::vector<std::optional<Uuid>> covered(quickWins().size());
    if (cacheDirectory) {
        report.items.push_back(cacheItem(
            "npm cache", *cacheDirectory, cacheSize.bytes, "npm's download cache — regenerates automatically."));
        report.items.back().freedBytes = cacheSize.freedBytes;
        report.items.back().unreadableFolders = cacheSize.unreadable;
        covered[0] = report.items.back().id;
    }
    for (std::size_t k = 0; k < sideFolders.size(); ++k) {
        if (!sideFolders[k]) {
            continue;
        }
        const SideCache& side = sideCaches()[k];
        report.items.push_back(
            cacheItem(side.name, *sideFolders[k], sideSizes[k].bytes, foundIn(side.identity, *sideFolders[k], home_)));
        report.items.back().freedBytes = sideSizes[k].freedBytes;
        report.items.back().unreadableFolders = sideSizes[k].unreadable;
        if (side.quickWin >= 0) {
            // Its own tool's command, shown with it: npm's commands do not touch it.
            covered[static_cast<std::size_t>(side.quickWin)] = report.items.back().id;
            report.items.back().reclaimCommand = quickWins()[static_cast<std::size_t>(side.quickWin)].command;
        } else {
            // Its tool has no command for it; nothing else uses the folder.
            report.items.back().reclaimCommand = "rm -rf -- " + shellQuoted(*sideFolders[k]);
        }
    }
    sortItemsBySize(report.items);
    report.quickWins.clear();
    for (std::size_t w = 0; w < quickWins().size(); ++w) {
        if (auto win = sizedQuickWin(quickWins()[w], report.items, {covered[w]})) {
            report.quickWins.push_back(*win);
        }
    }
    report.onceCountedBytes = tally.total();
    return report;
}

const SourceDescriptor& NpmSource() {
    static const SourceDescriptor source = [] {
        SourceDescriptor source;
        source.kind = ManagerKind::npm;
        source.displayName = "npm";
        source.shortLabel = "npm";
        source.programs = {"npm"};
        source.ownProgram = "npm";
        source.summary = [](const std::vector<DependencyItem>& items) {
            return countOf(static_cast<std::int64_t>(items.size()), "global", "globals");
        };
        source.lockfiles = {"package-lock.json", "npm-shrinkwrap.json"};
        source.restoreCommand = "npm ci";
        return source;
    }();
    return source;
}

std::shared_ptr<const ManagerAdapter> makeNpmAdapter(const AdapterServices& services) {
    return std::make_shared<NpmAdapter>(
        services.runner, services.sizer, services.prober, services.knowledge, services.home);
}

} // namespace kelvo
