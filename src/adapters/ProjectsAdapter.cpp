#include "adapters/ProjectsAdapter.h"

#include "adapters/AdapterSupport.h"
#include "adapters/Sources.h"
#include "model/SizeFormat.h"
#include "system/ParallelFor.h"
#include "system/Platform.h"
#include "system/ProjectFinder.h"

#include <algorithm>
#include <mutex>

#include <sys/stat.h>

namespace kelvo {

struct ProjectsAdapter::Progress {
    std::mutex mutex;
    std::string roots; // what is being searched, "" when no search runs
    std::atomic<std::int64_t> folders{0};
};

ProjectsAdapter::ProjectsAdapter(std::shared_ptr<const DirectorySizing> sizer, std::string home, Roots roots)
    : sizer_(std::move(sizer)), home_(std::move(home)), roots_(std::move(roots)),
      progress_(std::make_shared<Progress>()) {}

bool ProjectsAdapter::isInstalled() const {
    try {
        return !roots_().empty();
    } catch (...) {
        return false;
    }
}

std::string ProjectsAdapter::progressNote() const {
    std::lock_guard lock(progress_->mutex);
    if (progress_->roots.empty()) {
        return {};
    }
    return "searching " + progress_->roots + " \u00b7 " + formatCount(progress_->folders.load()) + " folders";
}

namespace {

std::optional<double> modifiedAt(const std::string& path) {
    struct stat status {};
    if (::lstat(path.c_str(), &status) != 0) {
        return std::nullopt;
    }
    return static_cast<double>(status.st_mtim.tv_sec) + static_cast<double>(status.st_mtim.tv_nsec) * 1e-9;
}

} // namespace

namespace {
// Each lockfile's name and the manager it names, as each source describes the lockfiles of its own.
const std::vector<std::pair<std::string, ManagerKind>>& lockfileTable() {
    static const std::vector<std::pair<std::string, ManagerKind>> table = [] {
        std::vector<std::pair<std::string, ManagerKind>> names;
        for (ManagerKind kind : allManagerKinds) {
            for (const std::string_view name : descriptor(kind).lockfiles) {
                names.emplace_back(name, kind);
            }
        }
        return names;
    }();
    return table;
}
} // namespace

ProjectSearch ProjectsAdapter::search(std::vector<std::string> roots, std::vector<std::string> excluded) {
    ProjectSearch search{std::move(roots), std::move(excluded), {{{"package.json"}, {"node_modules"}}},
        // A node_modules is full of packages that are folders with their own package.json.
        {"node_modules"}, {}};
    for (const auto& [name, manager] : lockfileTable()) {
        search.lockfiles.push_back(name);
    }
    return search;
}

const std::vector<ManagerKind>& ProjectsAdapter::lockfileManagers() {
    static const std::vector<ManagerKind> managers = [] {
        std::vector<ManagerKind> kinds;
        for (const auto& [name, manager] : lockfileTable()) {
            kinds.push_back(manager);
        }
        return kinds;
    }();
    return managers;
}

std::optional<double> ProjectsAdapter::lastActivity(
    const std::string& project, const std::optional<Lockfile>& lockfile) {
    std::optional<double> newest;
    const auto consider = [&](const std::optional<double>& at) {
        if (at && (!newest || *at > *newest)) {
            newest = at;
        }
    };
    for (const char* name : {"/package.json", "/.git/HEAD", "/.git/index"}) {
        consider(modifiedAt(project + name));
    }
    if (lockfile) {
        consider(lockfile->modified);
    }
    // Breadth first, three levels, hidden entries and node_modules left out (a tool's own files
    // change without the project changing), at most a bounded number of entries.
    std::vector<std::string> level{project};
    int looked = 0;
    for (int depth = 0; depth < 3 && !level.empty() && looked < activityEntryLimit; ++depth) {
        std::vector<std::string> next;
        for (const auto& folder : level) {
            for (const auto& name : listDirectory(folder).value_or(std::vector<std::string>())) {
                if (name.starts_with('.') || name == "node_modules" || ++looked > activityEntryLimit) {
                    continue;
                }
                const std::string path = folder + "/" + name;
                struct stat status {};
                if (::lstat(path.c_str(), &status) != 0) {
                    continue;
                }
                consider(
                    static_cast<double>(status.st_mtim.tv_sec) + static_cast<double>(status.st_mtim.tv_nsec) * 1e-9);
                if (S_ISDIR(status.st_mode)) {
                    next.push_back(path);
                }
            }
        }
        level = std::move(next);
    }
    return newest;
}

ManagerReport ProjectsAdapter::scan(TallyScopes counted) const {
    return guardedScan(
        ManagerKind::projects, [this, counted](ManagerReport& partial) { return scanUnguarded(partial, counted); });
}

ManagerReport ProjectsAdapter::scanUnguarded(ManagerReport& partial, TallyScopes counted) const {
    std::vector<std::string> roots;
    for (auto root : roots_()) {
        if (root.starts_with('/')) {
            roots.push_back(std::move(root));
        }
    }
    if (roots.empty()) {
        return partial;
    }
    // The managers' own folders in the home hold node_modules that are theirs, already inventoried;
    // most are dot-folders, which the search never enters. On macOS ~/Library is the applications'.
    std::vector<std::string> excluded;
#ifdef __APPLE__
    excluded.push_back(home_ + "/Library");
#endif
    FoundProjects found;
    {
        std::string shown;
        for (const auto& root : roots) {
            shown += (shown.empty() ? "" : ", ") + homeAbbreviated(tidyPath(root), home_);
        }
        {
            std::lock_guard lock(progress_->mutex);
            progress_->roots = shown;
            progress_->folders = 0;
        }
        struct Done {
            Progress& progress;
            ~Done() {
                std::lock_guard lock(progress.mutex);
                progress.roots.clear();
            }
        } done{*progress_};
        found = findProjects(search(roots, excluded), &progress_->folders);
    }
    partial.unreadableFolders = found.skipped;
    partial.detected = !found.projects.empty();
    if (found.projects.empty()) {
        return partial;
    }

    const ManagerTally tally(counted);
    const double now = nowSeconds();
    const std::size_t count = found.projects.size();
    std::vector<DependencyItem> items(count);
    parallelFor(count, [&](std::size_t i) {
        const FoundProject& project = found.projects[i];
        DependencyItem& item = items[i];
        item.id = Uuid::random();
        const auto slash = project.folder.rfind('/');
        item.name = slash == std::string::npos || slash + 1 == project.folder.size() ? project.folder
                                                                                     : project.folder.substr(slash + 1);
        item.path = project.folder + "/" + project.buildFolder;
        item.tier = Tier::signalOnly;
        try {
            std::optional<Lockfile> lockfile;
            if (project.lockfile) {
                lockfile = Lockfile{
                    lockfileManagers()[project.lockfile->name], project.lockfile->path, project.lockfile->modified};
            }
            const auto activity = lastActivity(project.folder, lockfile);
            const ItemSize size = measureItem(*sizer_, {*item.path}, tally.counted());
            item.bytes = size.bytes;
            item.freedBytes = size.freedBytes;
            item.unreadableFolders = size.unreadable;
            if (!lockfile) {
                // Installing again without one may bring other versions: never offered as unused.
                item.evidence.push_back(Evidence::noLockfile());
            } else {
                item.managedBy = lockfile->manager;
                if (activity && now - *activity > staleAfterSeconds) {
                    item.tier = Tier::orphanCandidate;
                    item.evidence.push_back(Evidence::projectUntouched(*activity));
                } else if (activity) {
                    item.evidence.push_back(Evidence::projectActive(*activity));
                }
            }
            if (item.path->find('\0') == std::string::npos) {
                item.reclaimCommand = "rm -rf -- " + shellQuoted(*item.path);
            }
        } catch (...) {
            // What could not be learnt stays unknown; the project is still listed.
        }
    });
    partial.items = std::move(items);
    sortItemsBySize(partial.items);
    partial.onceCountedBytes = tally.total();
    return partial;
}

const SourceDescriptor& ProjectsSource() {
    static const SourceDescriptor source = [] {
        SourceDescriptor source;
        source.kind = ManagerKind::projects;
        source.displayName = "Projects";
        source.shortLabel = "proj";
        source.type = SourceType::projects;
        source.summary = [](const std::vector<DependencyItem>& items) {
            return countOf(static_cast<std::int64_t>(items.size()), "project", "projects");
        };
        return source;
    }();
    return source;
}

std::shared_ptr<const ManagerAdapter> makeProjectsAdapter(const AdapterServices& services) {
    return std::make_shared<ProjectsAdapter>(services.sizer, services.home, services.projectRoots);
}

} // namespace kelvo
