#include "adapters/ProjectsAdapter.h"

#include "adapters/AdapterSupport.h"
#include "adapters/ReportDraft.h"
#include "adapters/Sources.h"
#include "model/SizeFormat.h"
#include "system/FileAccessProber.h"
#include "system/ParallelFor.h"
#include "system/Platform.h"
#include "system/ProjectFinder.h"
#include "system/walk/NewestChange.h"

#include <algorithm>
#include <mutex>

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

const std::vector<ProjectsAdapter::ProjectKind>& ProjectsAdapter::projectKinds() {
    // A node_modules is full of packages that are folders with their own package.json.
    static const std::vector<ProjectKind> kinds{{{"package.json"}, {"node_modules"}, true}};
    return kinds;
}

ProjectSearch ProjectsAdapter::search(std::vector<std::string> roots, std::vector<std::string> excluded) {
    ProjectSearch search{std::move(roots), std::move(excluded), {}, {}, {}};
    for (const ProjectKind& kind : projectKinds()) {
        search.kinds.push_back(ProjectKindRule{kind.markers, kind.buildFolders});
        if (kind.neverEntered) {
            search.neverEntered.insert(search.neverEntered.end(), kind.buildFolders.begin(), kind.buildFolders.end());
        }
    }
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
    const std::string& project, const ProjectKind& kind, std::optional<double> lockfileModified) {
    // Three levels, hidden entries and build folders left out (a tool's own files change without
    // the project changing), at most a bounded number of entries; and the markers and git's files.
    ChangeSearch search{3, static_cast<std::size_t>(activityEntryLimit), kind.buildFolders, kind.markers};
    search.also.insert(search.also.end(), {".git/HEAD", ".git/index"});
    std::optional<double> newest = newestChange(project, search);
    if (lockfileModified && (!newest || *lockfileModified > *newest)) {
        newest = lockfileModified;
    }
    return newest;
}

ManagerReport ProjectsAdapter::scan(TallyScopes counted) const {
    ReportDraft draft(ManagerKind::projects);
    std::vector<std::string> roots;
    draft.step([&] {
        for (auto root : roots_()) {
            if (root.starts_with('/')) {
                roots.push_back(std::move(root));
            }
        }
    });
    if (roots.empty()) {
        return std::move(draft).finish(sizer_.get(), counted);
    }
    // The managers' own folders in the home hold projects' build folders that are theirs, already
    // inventoried; most are dot-folders, which the search never enters. On macOS ~/Library is the
    // applications'.
    std::vector<std::string> excluded;
#ifdef __APPLE__
    excluded.push_back(home_ + "/Library");
#endif
    FoundProjects found;
    draft.step([&] {
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
    });
    draft.report().unreadableFolders = found.skipped;
    draft.report().detected = !found.projects.empty();

    const double now = nowSeconds();
    std::vector<std::optional<double>> activity(found.projects.size());
    parallelFor(found.projects.size(), [&](std::size_t i) {
        try {
            const FoundProject& project = found.projects[i];
            activity[i] = lastActivity(project.folder, projectKinds()[project.kind],
                project.lockfile ? std::optional(project.lockfile->modified) : std::nullopt);
        } catch (...) {
            // When it last changed stays unknown; the project is still listed.
        }
    });
    for (std::size_t i = 0; i < found.projects.size(); ++i) {
        const FoundProject& project = found.projects[i];
        DependencyItem item;
        const auto slash = project.folder.rfind('/');
        item.name = slash == std::string::npos || slash + 1 == project.folder.size() ? project.folder
                                                                                     : project.folder.substr(slash + 1);
        item.path = project.folder + "/" + project.buildFolder;
        if (!project.lockfile) {
            // Installing again without one may bring other versions: never offered as unused.
            item.evidence.push_back(Evidence::noLockfile());
        } else {
            item.managedBy = lockfileManagers()[project.lockfile->name];
            if (activity[i] && now - *activity[i] > staleAfterSeconds) {
                item.tier = Tier::orphanCandidate;
                item.evidence.push_back(Evidence::projectUntouched(*activity[i]));
            } else if (activity[i]) {
                item.evidence.push_back(Evidence::projectActive(*activity[i]));
            }
        }
        if (item.path->find('\0') == std::string::npos) {
            item.reclaimCommand = "rm -rf -- " + shellQuoted(*item.path);
        }
        const std::string path = *item.path;
        draft.add(std::move(item), {path});
    }
    return std::move(draft).finish(sizer_.get(), counted);
}

const SourceDescriptor& ProjectsSource() {
    static const SourceDescriptor source{.kind = ManagerKind::projects,
        .displayName = "Projects",
        .shortLabel = "proj",
        .type = SourceType::projects,
        .itemNoun = "project",
        .itemNouns = "projects"};
    return source;
}

std::shared_ptr<const ManagerAdapter> makeProjectsAdapter(const AdapterServices& services) {
    return std::make_shared<ProjectsAdapter>(services.sizer, services.home, services.projectRoots);
}

} // namespace kelvo
