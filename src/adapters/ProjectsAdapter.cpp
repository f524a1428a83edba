#include "adapters/ProjectsAdapter.h"

#include "adapters/AdapterSupport.h"
#include "model/SizeFormat.h"
#include "system/FileAccessProber.h"
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
    return modificationSeconds(status);
}

std::string parentOf(const std::string& path) {
    const auto slash = path.rfind('/');
    return slash == 0 || slash == std::string::npos ? "/" : path.substr(0, slash);
}

} // namespace

std::optional<ProjectsAdapter::Lockfile> ProjectsAdapter::nearestLockfile(
    const std::string& project, const std::string& root) {
    static const std::pair<const char*, ManagerKind> names[] = {{"package-lock.json", ManagerKind::npm},
        {"npm-shrinkwrap.json", ManagerKind::npm}, {"pnpm-lock.yaml", ManagerKind::pnpm},
        {"yarn.lock", ManagerKind::yarn}, {"bun.lock", ManagerKind::bun}, {"bun.lockb", ManagerKind::bun}};
    for (std::string folder = project;; folder = parentOf(folder)) {
        std::optional<Lockfile> newest;
        for (const auto& [name, manager] : names) {
            const std::string path = folder + "/" + name;
            struct stat status {};
            // A lockfile is a file; a folder or a link of that name is not one.
            if (::lstat(path.c_str(), &status) != 0 || !S_ISREG(status.st_mode)) {
                continue;
            }
            const double modified = modificationSeconds(status);
            if (!newest || modified > newest->modified) {
                newest = Lockfile{manager, path, modified};
            }
        }
        if (newest || folder == root || folder.size() <= root.size() || folder == "/") {
            return newest;
        }
    }
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
                consider(modificationSeconds(status));
                if (S_ISDIR(status.st_mode)) {
                    next.push_back(path);
                }
            }
        }
        level = std::move(next);
    }
    return newest;
}

std::string ProjectsAdapter::restoreCommand(ManagerKind manager) {
    switch (manager) {
    case ManagerKind::pnpm: return "pnpm install --frozen-lockfile";
    case ManagerKind::yarn: return "yarn install --frozen-lockfile";
    case ManagerKind::bun: return "bun install --frozen-lockfile";
    default: return "npm ci";
    }
}

ManagerReport ProjectsAdapter::scan(TallyScopes counted) const {
    return guardedScan(
        ManagerKind::projects, [this, counted](ManagerReport& partial) { return scanUnguarded(partial, counted); });
}

ManagerReport ProjectsAdapter::scanUnguarded(ManagerReport& partial, TallyScopes counted) const {
    std::vector<std::string> roots;
    for (auto root : roots_()) {
        while (root.size() > 1 && root.back() == '/') {
            root.pop_back();
        }
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
            shown += (shown.empty() ? "" : ", ") + homeAbbreviated(root, home_);
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
        found = findProjects(ProjectSearch{roots, excluded}, &progress_->folders);
    }
    partial.detected = !found.folders.empty();
    if (found.folders.empty()) {
        return partial;
    }

    const ManagerTally tally(counted);
    const double now = nowSeconds();
    const std::size_t count = found.folders.size();
    std::vector<DependencyItem> items(count);
    parallelFor(count, [&](std::size_t i) {
        const std::string& project = found.folders[i];
        DependencyItem& item = items[i];
        item.id = Uuid::random();
        const auto slash = project.rfind('/');
        item.name = slash == std::string::npos || slash + 1 == project.size() ? project : project.substr(slash + 1);
        item.path = project + "/node_modules";
        item.tier = Tier::signalOnly;
        try {
            std::string root = "/";
            for (const auto& candidate : roots) {
                if ((project == candidate || project.starts_with(candidate + "/")) && candidate.size() >= root.size()) {
                    root = candidate;
                }
            }
            const auto lockfile = nearestLockfile(project, root);
            const auto activity = lastActivity(project, lockfile);
            const ItemSize size = measureItem(*sizer_, {*item.path}, tally.counted());
            item.bytes = size.bytes;
            item.freedBytes = size.freedBytes;
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

} // namespace kelvo
