#include "adapters/GoAdapter.h"

#include "adapters/AdapterSupport.h"
#include "adapters/Globals.h"
#include "adapters/ReportDraft.h"
#include "adapters/Sources.h"
#include "model/Utf8.h"
#include "system/Platform.h"

#include <algorithm>

namespace kelvo {

GoAdapter::GoAdapter(std::shared_ptr<const DirectorySizing> sizer, std::shared_ptr<const FileAccessProbing> prober,
    KnowledgeBase kb, std::string home)
    : sizer_(std::move(sizer)), prober_(std::move(prober)), kb_(std::move(kb)), home_(std::move(home)) {}

const std::vector<QuickWin>& GoAdapter::quickWins() {
    static const std::vector<QuickWin> wins{
        {Uuid::random(), "Clean Go's module cache", "go clean -modcache",
            "Removes every module Go downloaded; they come back when a build needs them. Go makes their folders "
            "read-only, so a plain rm -rf fails on them."},
        {Uuid::random(), "Clean Go's build cache", "go clean -cache",
            "Removes Go's cached build results. The next builds make them again."},
    };
    return wins;
}

std::map<std::string, std::string> GoAdapter::parseEnvFile(std::string_view text) {
    std::map<std::string, std::string> settings;
    while (!text.empty()) {
        const auto end = text.find('\n');
        const std::string_view line = text.substr(0, end);
        text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
        const auto equals = line.find('=');
        if (equals == std::string_view::npos || line.front() < 'A' || line.front() > 'Z') {
            continue;
        }
        settings[std::string(line.substr(0, equals))] = std::string(line.substr(equals + 1));
    }
    return settings;
}

namespace {

// What settings decide of a folder: nothing (Go's default applies), or the folder Go works in, there
// or not (absent: one Kelvo does not look into). The default folder is then not Go's.
struct Decided {
    bool set = false;
    std::optional<std::string> path;
};

std::optional<GoAdapter::Folder> decidedOr(const Decided& decided, std::optional<std::string> fallback) {
    if (decided.set) {
        return decided.path && isRealDirectory(*decided.path) ? std::optional(GoAdapter::Folder{*decided.path, true})
                                                              : std::nullopt;
    }
    return fallback ? std::optional(GoAdapter::Folder{*fallback, false}) : std::nullopt;
}

Decided setting(const std::map<std::string, std::string>& settings, const char* key) {
    const auto found = settings.find(key);
    if (found == settings.end()) {
        return {};
    }
    // One Go refuses (not absolute) leaves its default in force.
    const auto path = plainAbsolute(found->second);
    return path ? Decided{true, path} : Decided{};
}

} // namespace

GoAdapter::Folders GoAdapter::folders(const std::string& home, const std::map<std::string, std::string>& settings) {
    // Go takes the first entry of a GOPATH list; below it, a link (pkg) is not followed.
    std::optional<std::string> gopath;
    if (const auto found = settings.find("GOPATH"); found != settings.end()) {
        gopath = plainAbsolute(found->second.substr(0, found->second.find(':')));
    }
    const auto inGopath = [&](const char* name) {
        return Decided{true, joinsWithoutLinks(*gopath, name) ? std::optional(*gopath + "/" + name) : std::nullopt};
    };
    Folders folders;
    Decided moduleCache = setting(settings, "GOMODCACHE");
    if (!moduleCache.set && gopath) {
        moduleCache = inGopath("pkg/mod");
    }
    folders.moduleCache = decidedOr(moduleCache, toolFolder(home, "/go/pkg/mod"));
    folders.buildCache =
        decidedOr(setting(settings, "GOCACHE"), firstFolder(home, {"/Library/Caches/go-build", "/.cache/go-build"}));
    Decided programs = setting(settings, "GOBIN");
    if (!programs.set && gopath) {
        programs = inGopath("bin");
    }
    folders.programs = decidedOr(programs, toolFolder(home, "/go/bin"));
    return folders;
}

GoAdapter::Folders GoAdapter::folders() const {
    // Go's own configuration folder: macOS's before Linux's.
    const auto envFile = firstEntry(home_, {"/Library/Application Support/go/env", "/.config/go/env"});
    const auto text = envFile ? readFile(*envFile, envFileLimit) : std::nullopt;
    return folders(home_, parseEnvFile(text && isValidUtf8(*text) ? *text : std::string()));
}

bool GoAdapter::isInstalled() const {
    try {
        const Folders found = folders();
        return found.moduleCache || found.buildCache || found.programs;
    } catch (...) {
        return false;
    }
}

ManagerReport GoAdapter::scan(TallyScopes counted) const {
    ReportDraft draft(ManagerKind::go);
    Folders found;
    draft.step([&] { found = folders(); });
    if (!found.moduleCache && !found.buildCache && !found.programs) {
        return std::move(draft).finish(sizer_.get(), counted);
    }
    draft.report().detected = true;
    for (const QuickWin& win : quickWins()) {
        draft.offer(win);
    }
    const auto where = [&](std::string identity, const Folder& folder) {
        return folder.configured
                   ? identity + " Found in " + homeAbbreviated(folder.path, home_) + ", where Go's env file puts it."
                   : foundIn(std::move(identity), folder.path, home_);
    };
    draft.step([&] {
        if (found.moduleCache) {
            DependencyItem item = cacheItem("Go module cache", found.moduleCache->path, std::nullopt,
                where("The modules Go downloaded for builds — downloaded again as needed. Go makes its folders "
                      "read-only: remove it with go clean -modcache, not rm -rf.",
                    *found.moduleCache));
            item.reclaimCommand = quickWins()[0].command;
            item.tool = "go";
            draft.add(std::move(item), {found.moduleCache->path}, quickWins()[0].title);
        }
        if (found.buildCache) {
            DependencyItem item = cacheItem("Go build cache", found.buildCache->path, std::nullopt,
                where("Go's cached build and test results — made again by the next builds.", *found.buildCache));
            item.reclaimCommand = quickWins()[1].command;
            item.tool = "go";
            draft.add(std::move(item), {found.buildCache->path}, quickWins()[1].title);
        }
    });
    // Each program go install left, judged by its last use like a global package's commands.
    draft.step([&] {
        if (!found.programs) {
            return;
        }
        const std::string& bin = found.programs->path;
        auto names = listDirectory(bin).value_or(std::vector<std::string>());
        std::sort(names.begin(), names.end());
        const UseClock clock{nowSeconds(), prober_->recordsAccessTimes(bin)};
        for (const auto& name : names) {
            const std::string path = bin + "/" + name;
            if (!isSafeRelativeName(name) || !isRegularFile(path)) {
                continue;
            }
            DependencyItem item = globalPackageItem(name, std::nullopt, path, std::nullopt,
                commandUse(*prober_, {name}, {bin}), clock, kb_, ManagerKind::go, "rm --");
            // The file itself, named by its whole path: Go has no command that removes a program.
            item.reclaimCommand = "rm -- " + shellQuoted(path);
            item.tool = "go";
            draft.add(std::move(item), {path});
        }
    });
    return std::move(draft).finish(sizer_.get(), counted);
}

const SourceDescriptor& GoSource() {
    static const SourceDescriptor source{.kind = ManagerKind::go,
        .displayName = "Go",
        .shortLabel = "go",
        .ownProgram = "go",
        .ownCommandsPrune = false,
        .summary = [](const std::vector<DependencyItem>& items) {
            const auto caches = std::count_if(
                items.begin(), items.end(), [](const DependencyItem& item) { return item.tier == Tier::safeByDesign; });
            return countsOf({{static_cast<std::int64_t>(items.size()) - caches, "program", "programs"},
                {caches, "cache", "caches"}});
        }};
    return source;
}

std::shared_ptr<const ManagerAdapter> makeGoAdapter(const AdapterServices& services) {
    return std::make_shared<GoAdapter>(services.sizer, services.prober, services.knowledge, services.home);
}

} // namespace kelvo
