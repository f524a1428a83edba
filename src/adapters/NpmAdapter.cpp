#include "adapters/NpmAdapter.h"

#include "adapters/AdapterSupport.h"
#include "adapters/Globals.h"
#include "adapters/Sources.h"
#include "system/Platform.h"

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
            "Package managers corepack downloaded for your projects — fetched again as needed.",
            "Clean corepack's cache"},
        {"node-gyp headers", {"/Library/Caches/node-gyp", "/.cache/node-gyp"},
            "Node headers node-gyp downloaded to build native addons — downloaded again when needed.", {}},
        {"Playwright browsers", {"/Library/Caches/ms-playwright", "/.cache/ms-playwright"},
            "Browsers Playwright downloaded to run tests — installed again when a project needs them.",
            "Remove Playwright's browsers"},
        {"Cypress binaries", {"/Library/Caches/Cypress", "/.cache/Cypress"},
            "The Cypress apps downloaded to run tests — installed again with Cypress.", "Clear Cypress's cache"},
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
    ReportDraft draft(ManagerKind::npm);
    // The four questions do not depend on each other, and each start of npm costs a Node start-up:
    // they are asked at once, and the other answers count only when the version says npm is there.
    const auto ask = [this](ReadOnlyCommand command) {
        return std::async(std::launch::async, [this, command] { return runner_->run(command); });
    };
    auto prefixAnswer = ask(ReadOnlyCommand::npmPrefixGlobal());
    auto listAnswer = ask(ReadOnlyCommand::npmListGlobalJSON());
    auto cacheAnswer = ask(ReadOnlyCommand::npmCacheDir());
    // A question that failed in any way, thrown or returned, is one npm did not answer.
    const auto answer = [](std::future<CommandResult>& asked) {
        try {
            return asked.get();
        } catch (...) {
            return CommandResult::failure({});
        }
    };
    CommandResult version = CommandResult::failure({});
    try {
        version = runner_->run(ReadOnlyCommand::npmVersion());
    } catch (...) {
    }
    const CommandResult prefix = answer(prefixAnswer);
    const CommandResult list = answer(listAnswer);
    const CommandResult cache = answer(cacheAnswer);
    if (!version.ok) {
        return std::move(draft).finish(sizer_.get(), counted);
    }
    draft.report().detected = true;
    if (!version.output.empty()) {
        draft.report().version = version.output;
    }
    for (const QuickWin& win : quickWins()) {
        draft.offer(win);
    }
    // Only an absolute directory from npm's output is measured or probed: an empty or relative one
    // would resolve against "/" or the working directory, which are not npm's. A flood of output as
    // the prefix would be copied into every item's path.
    const auto isAbsolutePath = [](const CommandResult& result) {
        return result.ok && !result.output.empty() && result.output.front() == '/' && isSinglePathAnswer(result.output);
    };
    draft.step([&] {
        if (!prefix.ok || !isSinglePathAnswer(prefix.output) || !list.ok) {
            return;
        }
        const std::string modules = prefix.output + "/lib/node_modules";
        const std::string commands = prefix.output + "/bin";
        // Only through real folders below the prefix: a link as lib or node_modules would lead anywhere.
        const bool reachable = isAbsolutePath(prefix) && joinsWithoutLinks(prefix.output, "lib/node_modules/");
        std::vector<Global> globals;
        for (auto& [name, packageVersion] : packageList(list.output)) {
            std::optional<std::string> path;
            if (reachable && isSafeRelativeName(name) && joinsWithoutLinks(modules, name)) {
                path = childPath(modules, name);
            }
            globals.push_back(Global{std::move(name), std::move(path), std::move(packageVersion)});
        }
        addGlobals(draft, globals,
            {*prober_, {commands}, {nowSeconds(), prober_->recordsAccessTimes(commands)}, kb_, ManagerKind::npm,
                "npm -g uninstall"});
    });
    draft.step([&] {
        if (cache.ok && !cache.output.empty() && isSinglePathAnswer(cache.output)) {
            draft.add(
                cacheItem("npm cache", cache.output, std::nullopt, "npm's download cache — regenerates automatically."),
                isAbsolutePath(cache) ? std::vector{cache.output} : std::vector<std::string>(), quickWins()[0].title);
        }
    });
    draft.step([&] {
        for (const SideCache& side : sideCaches()) {
            const auto folder = home_.empty() ? std::nullopt : firstFolder(home_, side.places);
            if (!folder) {
                continue;
            }
            DependencyItem& item =
                draft.add(cacheItem(side.name, *folder, std::nullopt, foundIn(side.identity, *folder, home_)),
                    {*folder}, side.quickWin);
            // Its own tool's command, shown with it: npm's commands do not touch it. A tool without
            // one leaves a folder nothing else uses.
            const auto win = std::find_if(quickWins().begin(), quickWins().end(),
                [&](const QuickWin& candidate) { return candidate.title == side.quickWin; });
            item.reclaimCommand = win != quickWins().end() ? win->command : "rm -rf -- " + shellQuoted(*folder);
        }
    });
    return std::move(draft).finish(sizer_.get(), counted);
}

const SourceDescriptor& NpmSource() {
    static const SourceDescriptor source{.kind = ManagerKind::npm,
        .displayName = "npm",
        .shortLabel = "npm",
        .programs = {"npm"},
        .ownProgram = "npm",
        .itemNoun = "global",
        .itemNouns = "globals",
        .lockfiles = {"package-lock.json", "npm-shrinkwrap.json"},
        .restoreCommand = "npm ci"};
    return source;
}

std::shared_ptr<const ManagerAdapter> makeNpmAdapter(const AdapterServices& services) {
    return std::make_shared<NpmAdapter>(
        services.runner, services.sizer, services.prober, services.knowledge, services.home);
}

} // namespace kelvo
