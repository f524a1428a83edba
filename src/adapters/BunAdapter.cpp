#include "adapters/BunAdapter.h"

#include "adapters/AdapterSupport.h"
#include "adapters/Globals.h"
#include "adapters/Sources.h"
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
    ReportDraft draft(ManagerKind::bun);
    const CommandResult first = runVersion();
    if (!installedBy(first)) {
        return std::move(draft).finish(sizer_.get(), counted);
    }
    draft.report().detected = true;
    draft.offer(quickWins()[0]);
    // A version command that ran out of time would only do so again: a hung bun costs one
    // time limit, not two.
    if (first.ok || first.error.kind != CommandError::Kind::timedOut) {
        if (const CommandResult version = runVersion(); version.ok && !version.output.empty()) {
            draft.report().version = version.output;
        }
    }
    const std::string commands = home_ + "/.bun/bin";
    // bun installs every dependency of its globals beside them: the manifest tells which folders
    // the user added. Without one, every folder counts as a global.
    draft.step([&] {
        const auto folder = toolFolder(home_, "/.bun/install/global");
        if (!folder) {
            return;
        }
        const GlobalFolder globals = readGlobalFolder(*folder, WithoutManifest::everyFolderIsAGlobal);
        addGlobals(draft, globals.globals,
            {*prober_, {commands}, {nowSeconds(), prober_->recordsAccessTimes(commands)}, kb_, ManagerKind::bun,
                "bun remove -g"});
        if (!globals.dependencies.empty()) {
            draft.add(dependenciesItem(dependenciesName, std::nullopt,
                          "Packages your bun globals depend on — they go away with the globals that need them."),
                globals.dependencies);
        }
    });
    draft.step([&] {
        // bun's own program in its folder takes room too.
        if (const std::string program = commands + "/bun"; isRegularFile(program)) {
            draft
                .add(dependenciesItem("bun itself", std::nullopt, "The bun program — it goes when you uninstall bun."),
                    {program})
                .path = program;
        }
        if (const auto cache = toolFolder(home_, "/.bun/install/cache")) {
            draft.add(cacheItem("bun cache", *cache, std::nullopt, "bun's module cache — re-downloaded as needed."),
                {*cache}, quickWins()[0].title, ReportDraft::Keep::ifMeasured);
        }
    });
    return std::move(draft).finish(sizer_.get(), counted);
}

const SourceDescriptor& BunSource() {
    static const SourceDescriptor source{.kind = ManagerKind::bun,
        .displayName = "bun",
        .shortLabel = "bun",
        .programs = {"bun"},
        .ownProgram = "bun",
        .itemNoun = "global",
        .itemNouns = "globals",
        .lockfiles = {"bun.lock", "bun.lockb"},
        .restoreCommand = "bun install --frozen-lockfile"};
    return source;
}

std::shared_ptr<const ManagerAdapter> makeBunAdapter(const AdapterServices& services) {
    return std::make_shared<BunAdapter>(
        services.runner, services.sizer, services.prober, services.knowledge, services.home);
}

} // namespace kelvo
