#include "adapters/PnpmAdapter.h"

#include "adapters/AdapterSupport.h"
#include "adapters/Globals.h"
#include "adapters/Sources.h"
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

std::vector<Global> PnpmAdapter::globals(const std::string& pnpmHome, const std::string& layout) {
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
    ReportDraft draft(ManagerKind::pnpm);
    draft.report().version = version();
    const auto store = findStore();
    if (!draft.report().version && !store) {
        return std::move(draft).finish(sizer_.get(), counted);
    }
    draft.report().detected = true;
    const QuickWin& prune = quickWins()[0];
    draft.offer(prune);
    const auto pnpmHome = firstFolder(home_, {"/Library/pnpm", "/.local/share/pnpm"});
    std::vector<std::string> layouts;
    draft.step([&] {
        if (!store) {
            return;
        }
        // The store item is the layout in use, the newest; older layouts beside it are left behind by
        // earlier pnpm versions and never pruned.
        layouts = storeVersions(*store);
        const std::string inUse = layouts.empty() ? *store : *store + "/" + layouts.back();
        draft.add(DependencyItem{{}, storeName, std::nullopt, inUse, std::nullopt, Tier::safeByDesign,
                      {Evidence::managerDefinesPrunable()}, std::string(storeIdentity), std::nullopt},
            {inUse}, prune.title);
        for (std::size_t i = 0; i + 1 < layouts.size(); ++i) {
            // No pnpm command removes a layout no pnpm uses any more.
            const std::string folder = *store + "/" + layouts[i];
            draft.add(DependencyItem{{}, "pnpm store " + layouts[i], std::nullopt, folder, std::nullopt,
                          Tier::orphanCandidate, {Evidence::oldStoreVersion(layouts[i])},
                          "The package store of an earlier pnpm — the pnpm you run now no longer reads it.",
                          "rm -rf -- " + shellQuoted(folder)},
                {folder});
        }
    });
    draft.step([&] {
        // pnpm's prune empties the metadata cache as well as the store's unreferenced packages.
        if (const auto metadata = firstFolder(home_, {"/Library/Caches/pnpm", "/.cache/pnpm"})) {
            draft.add(cacheItem("pnpm metadata cache", *metadata, std::nullopt,
                          foundIn("Package metadata pnpm keeps to resolve versions quickly — fetched again as needed.",
                              *metadata, home_)),
                {*metadata}, prune.title);
        }
    });
    if (!pnpmHome) {
        return std::move(draft).finish(sizer_.get(), counted);
    }
    // The pnpm in use lists and removes the globals of its own layout of the global folder; another
    // layout is what an earlier pnpm left, which no pnpm command removes now.
    draft.step([&] {
        std::vector<Global> globalPackages;
        const bool grouped = readsGroupedGlobals(draft.report().version, layouts);
        for (const auto& layout : globalLayouts(*pnpmHome)) {
            if ((layout.front() == 'v') == grouped) {
                const auto found = globals(*pnpmHome, layout);
                globalPackages.insert(globalPackages.end(), found.begin(), found.end());
                continue;
            }
            const std::string folder = *pnpmHome + "/global/" + layout;
            draft.add(DependencyItem{{}, "pnpm globals in global/" + layout, std::nullopt, folder, std::nullopt,
                          Tier::orphanCandidate, {Evidence::oldGlobalFolder("global/" + layout)},
                          "Globals an earlier pnpm installed — the pnpm you run now neither lists nor removes them; "
                          "their commands go with them.",
                          "rm -rf -- " + shellQuoted(folder)},
                {folder});
        }
        // Commands are in pnpm's folder itself, or in its bin folder since pnpm 11.
        addGlobals(draft, globalPackages,
            {*prober_, {*pnpmHome, *pnpmHome + "/bin"}, {nowSeconds(), prober_->recordsAccessTimes(*pnpmHome)}, kb_,
                ManagerKind::pnpm, "pnpm remove -g"});
    });
    draft.step([&] {
        // pnpm's own program, where pnpm installed itself into its folder: it takes room too.
        if (const std::string program = *pnpmHome + "/pnpm"; isRegularFile(program)) {
            draft.add(DependencyItem{{}, "pnpm itself", std::nullopt, program, std::nullopt, Tier::signalOnly, {},
                          "The pnpm program — it goes when you uninstall pnpm.", std::nullopt},
                {program});
        }
    });
    return std::move(draft).finish(sizer_.get(), counted);
}

const SourceDescriptor& PnpmSource() {
    static const SourceDescriptor source{.kind = ManagerKind::pnpm,
        .displayName = "pnpm",
        .shortLabel = "pnpm",
        .programs = {"pnpm"},
        .ownProgram = "pnpm",
        .summary = [](const std::vector<DependencyItem>&) { return std::string("Content-addressable store"); },
        .lockfiles = {"pnpm-lock.yaml"},
        .restoreCommand = "pnpm install --frozen-lockfile"};
    return source;
}

std::shared_ptr<const ManagerAdapter> makePnpmAdapter(const AdapterServices& services) {
    return std::make_shared<PnpmAdapter>(
        services.runner, services.sizer, services.prober, services.knowledge, services.home);
}

} // namespace kelvo
