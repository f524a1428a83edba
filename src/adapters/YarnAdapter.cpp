#include "adapters/YarnAdapter.h"

#include "adapters/AdapterSupport.h"
#include "adapters/Globals.h"
#include "adapters/NvmAdapter.h"
#include "adapters/Sources.h"
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
    ReportDraft draft(ManagerKind::yarn);
    Folders found;
    draft.step([&] { found = folders(); });
    if (found.cache || found.berryCache || found.globals) {
        draft.report().detected = true;
        draft.step([&] { draft.report().version = version(); });
        for (const QuickWin& win : quickWins()) {
            draft.offer(win);
        }
    }
    // The globals the user added are what the global folder's package.json names; everything else
    // in its node_modules came with them. Without a readable manifest, all of it is that.
    draft.step([&] {
        if (!found.globals) {
            return;
        }
        const GlobalFolder folder = readGlobalFolder(*found.globals, WithoutManifest::nothingIsAGlobal);
        const std::string commands = home_ + "/.yarn/bin";
        addGlobals(draft, folder.globals,
            {*prober_, {commands}, {nowSeconds(), prober_->recordsAccessTimes(commands)}, kb_, ManagerKind::yarn,
                "yarn global remove"});
        if (!folder.dependencies.empty()) {
            draft.add(dependenciesItem(dependenciesName, std::nullopt,
                          "Packages your Yarn globals depend on — they go away with the globals that need them."),
                folder.dependencies);
        }
    });
    draft.step([&] {
        if (found.cache) {
            draft.add(cacheItem("Yarn cache", *found.cache, std::nullopt,
                          foundIn("Yarn 1's download cache — downloaded again as needed.", *found.cache, home_)),
                {*found.cache}, quickWins()[0].title);
        }
        if (found.berryCache) {
            draft.add(cacheItem("Yarn shared cache", *found.berryCache, std::nullopt,
                          foundIn("The package archives Yarn 2 and later share between projects — downloaded again "
                                  "as needed.",
                              *found.berryCache, home_)),
                {*found.berryCache}, quickWins()[1].title);
        }
    });
    return std::move(draft).finish(sizer_.get(), counted);
}

const SourceDescriptor& YarnSource() {
    static const SourceDescriptor source{.kind = ManagerKind::yarn,
        .displayName = "Yarn",
        .shortLabel = "yarn",
        .ownProgram = "yarn",
        .summary =
            [](const std::vector<DependencyItem>& items) {
                // What it names: the globals the user added, and its caches.
                const auto caches = std::count_if(items.begin(), items.end(),
                    [](const DependencyItem& item) { return item.tier == Tier::safeByDesign; });
                const auto globals = std::count_if(items.begin(), items.end(), [](const DependencyItem& item) {
                    return item.tier != Tier::safeByDesign && item.name != YarnAdapter::dependenciesName;
                });
                return countsOf({{globals, "global", "globals"}, {caches, "cache", "caches"}});
            },
        .lockfiles = {"yarn.lock"},
        .restoreCommand = "yarn install --frozen-lockfile"};
    return source;
}

std::shared_ptr<const ManagerAdapter> makeYarnAdapter(const AdapterServices& services) {
    return std::make_shared<YarnAdapter>(services.sizer, services.prober, services.knowledge, services.home);
}

} // namespace kelvo
