#include "adapters/ProjectsAdapter.h"

#include "adapters/AdapterSupport.h"
#include "adapters/ReportDraft.h"
#include "adapters/Sources.h"
#include "model/SizeFormat.h"
#include "model/Utf8.h"
#include "system/FileAccessProber.h"
#include "system/ParallelFor.h"
#include "system/Platform.h"
#include "system/ProjectFinder.h"
#include "system/walk/NewestChange.h"

#include <algorithm>
#include <mutex>
#include <set>

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

const std::vector<ProjectsAdapter::ProjectKind>& ProjectsAdapter::projectKinds() {
    static const std::vector<ProjectKind> kinds = [] {
        // JavaScript: a node_modules is full of packages that are folders with their own
        // package.json; its lockfile names the manager that installs it again, as each source
        // describes the lockfiles of its own.
        ProjectKind javascript{"", {"package.json"}, {{"node_modules"}}, {}, {}, true, true};
        for (ManagerKind manager : allManagerKinds) {
            for (const std::string_view name : descriptor(manager).lockfiles) {
                javascript.lockfiles.push_back({std::string(name), descriptor(manager).restoreCommand, manager});
            }
        }
        const std::vector<Lockfile> python{{"poetry.lock", "poetry install"}, {"Pipfile.lock", "pipenv sync"},
            {"uv.lock", "uv sync"}, {"pdm.lock", "pdm sync"}};
        return std::vector<ProjectKind>{javascript,
            {"cargo", {"Cargo.toml"}, {{"target", "", "cargo build"}}, {}, {"CACHEDIR.TAG"}},
            {"maven", {"pom.xml"}, {{"target", "", "mvn package"}}},
            {"gradle", {"build.gradle", "build.gradle.kts", "settings.gradle", "settings.gradle.kts"},
                {{"build", "", "./gradlew build"}, {".gradle", "", "./gradlew build"}}},
            // A virtual environment holds pyvenv.cfg; a folder merely named so is none.
            {"python", {"pyproject.toml", "setup.py", "setup.cfg", "requirements.txt", "Pipfile"},
                {{".venv", "pyvenv.cfg"}, {"venv", "pyvenv.cfg"}, {".tox", "", "tox"}, {".nox", "", "nox"},
                    {".mypy_cache", "", "mypy"}, {".pytest_cache", "", "pytest"}, {".ruff_cache", "", "ruff check"}},
                python},
            {"swift", {"Package.swift"}, {{".build", "", "swift build"}}},
            {"cocoapods", {"Podfile"}, {{"Pods", "", "pod install"}}},
            {"dotnet", {"*.csproj", "*.fsproj"}, {{"bin", "", "dotnet build"}, {"obj", "", "dotnet build"}}}};
    }();
    return kinds;
}

std::vector<std::string> ProjectsAdapter::pinFileNames() {
    std::vector<std::string> names;
    for (ManagerKind manager : allManagerKinds) {
        for (const std::string_view name : descriptor(manager).pinFiles) {
            names.emplace_back(name);
        }
    }
    return names;
}

std::vector<ProjectPin> ProjectsAdapter::readPins(const FoundProjects& found) {
    const std::vector<std::string> names = pinFileNames();
    std::vector<ProjectPin> pins;
    const auto read = [&](const std::string& name, const std::string& folder) {
        // A version file is a line or a few; anything larger, or not text, pins nothing.
        auto text = readFile(folder + (folder.ends_with('/') ? "" : "/") + name, pinReadLimit);
        if (text && isValidUtf8(*text)) {
            pins.push_back(ProjectPin{name, folder, std::move(*text)});
        }
    };
    for (const NotedFile& noted : found.noted) {
        read(names.at(noted.name), noted.folder);
    }
    // What a build folder must hold may name a runtime too (a virtual environment's pyvenv.cfg
    // names the Python it runs); the walk never enters such a folder.
    for (const FoundProject& project : found.projects) {
        const auto& builds = projectKinds()[project.kind].buildFolders;
        const auto build = std::find_if(builds.begin(), builds.end(),
            [&](const BuildFolder& candidate) { return candidate.name == project.buildFolder; });
        if (build != builds.end() && std::find(names.begin(), names.end(), build->requiredInside) != names.end()) {
            read(build->requiredInside, project.folder + "/" + project.buildFolder);
        }
    }
    return pins;
}

ProjectSearch ProjectsAdapter::search(std::vector<std::string> roots, std::vector<std::string> excluded) {
    ProjectSearch search{std::move(roots), std::move(excluded), {}, {}};
    for (const ProjectKind& kind : projectKinds()) {
        ProjectKindRule rule{kind.markers, {}, {}, kind.cacheTags};
        for (const BuildFolder& build : kind.buildFolders) {
            rule.buildFolders.push_back({build.name, build.requiredInside});
            if (kind.neverEntered) {
                search.neverEntered.push_back(build.name);
            }
        }
        for (const Lockfile& lockfile : kind.lockfiles) {
            rule.lockfiles.push_back(lockfile.name);
        }
        search.kinds.push_back(std::move(rule));
    }
    search.noted = pinFileNames();
    return search;
}

std::optional<double> ProjectsAdapter::lastActivity(
    const std::string& project, const ProjectKind& kind, std::optional<double> lockfileModified) {
    // Three levels, hidden entries and build folders left out (a tool's own files change without
    // the project changing), at most a bounded number of entries; and the markers and git's files.
    std::vector<std::string> builds;
    for (const BuildFolder& build : kind.buildFolders) {
        builds.push_back(build.name);
    }
    ChangeSearch search{3, static_cast<std::size_t>(activityEntryLimit), builds, {}};
    for (const std::string& marker : kind.markers) {
        if (!marker.starts_with('*')) {
            search.also.push_back(marker);
        }
    }
    search.also.insert(search.also.end(), {".git/HEAD", ".git/index"});
    std::optional<double> newest = newestChange(project, search);
    if (lockfileModified && (!newest || *lockfileModified > *newest)) {
        newest = lockfileModified;
    }
    return newest;
}

namespace {

std::string lastName(const std::string& path) {
    const auto slash = path.rfind('/');
    return slash == std::string::npos || slash + 1 == path.size() ? path : path.substr(slash + 1);
}

std::string parentOf(const std::string& path) {
    const auto slash = path.rfind('/');
    return slash == std::string::npos || slash == 0 ? "/" : path.substr(0, slash);
}

// Untouched for long: likely done with; otherwise in use. Unknown: nothing said.
void judgeByActivity(DependencyItem& item, std::optional<double> activity, double now) {
    if (activity && now - *activity > ProjectsAdapter::staleAfterSeconds) {
        item.tier = Tier::orphanCandidate;
        item.evidence.push_back(Evidence::projectUntouched(*activity));
    } else if (activity) {
        item.evidence.push_back(Evidence::projectActive(*activity));
    }
}

void removable(DependencyItem& item) {
    if (item.path && item.path->find('\0') == std::string::npos) {
        item.reclaimCommand = "rm -rf -- " + shellQuoted(*item.path);
    }
}

// The text of the <string> after <key>name</key> in an XML property list, its entities decoded.
std::optional<std::string> plistString(std::string_view text, std::string_view name) {
    const std::string key = "<key>" + std::string(name) + "</key>";
    const auto at = text.find(key);
    if (at == std::string_view::npos) {
        return std::nullopt;
    }
    const auto open = text.find_first_not_of(" \t\r\n", at + key.size());
    if (open == std::string_view::npos || text.substr(open, 8) != "<string>") {
        return std::nullopt;
    }
    const auto close = text.find("</string>", open + 8);
    if (close == std::string_view::npos) {
        return std::nullopt;
    }
    std::string value;
    const std::string_view raw = text.substr(open + 8, close - open - 8);
    for (std::size_t i = 0; i < raw.size(); ++i) {
        static constexpr std::pair<std::string_view, char> entities[] = {
            {"&amp;", '&'}, {"&lt;", '<'}, {"&gt;", '>'}, {"&quot;", '"'}, {"&apos;", '\''}};
        const auto entity = std::find_if(std::begin(entities), std::end(entities),
            [&](const auto& candidate) { return raw.substr(i).starts_with(candidate.first); });
        if (entity != std::end(entities)) {
            value.push_back(entity->second);
            i += entity->first.size() - 1;
        } else {
            value.push_back(raw[i]);
        }
    }
    return value;
}

} // namespace

std::optional<std::string> ProjectsAdapter::derivedDataWorkspace(const std::string& folder) {
    // Xcode writes it as XML; a binary or oversized one is not read.
    const auto text = readFile(folder + "/info.plist", 1024 * 1024);
    if (!text || !text->starts_with("<?xml")) {
        return std::nullopt;
    }
    auto workspace = plistString(*text, "WorkspacePath");
    if (!workspace || !workspace->starts_with('/') || workspace->find('\0') != std::string::npos) {
        return std::nullopt;
    }
    return workspace;
}

void ProjectsAdapter::addXcodeFolders(ReportDraft& draft, double now) const {
    if (const auto derived = toolFolder(home_, "/Library/Developer/Xcode/DerivedData")) {
        for (const std::string& name : listDirectory(*derived).value_or(std::vector<std::string>())) {
            const auto path = childPath(*derived, name);
            if (!path || !isRealDirectory(*path) || name == "ModuleCache.noindex") {
                continue;
            }
            DependencyItem item;
            // "App-bqsdjkwhemkgtqdxoxwwcdbzyhwq": the project's name, then Xcode's hash of its path.
            const auto dash = name.rfind('-');
            item.name = (dash == std::string::npos || dash == 0 ? name : name.substr(0, dash)) + " \u00b7 DerivedData";
            item.path = path;
            item.managedBy = "xcode"; // which Xcode builds again
            removable(item);
            if (const auto workspace = derivedDataWorkspace(*path)) {
                item.project = parentOf(*workspace);
                if (!pathExists(*workspace)) {
                    item.tier = Tier::orphanCandidate;
                    item.evidence.push_back(Evidence::projectGone(homeAbbreviated(*workspace, home_)));
                } else {
                    const std::vector<std::string> builds{"build", "DerivedData"};
                    judgeByActivity(item,
                        newestChange(*item.project, ChangeSearch{3, static_cast<std::size_t>(activityEntryLimit),
                                                        builds, {lastName(*workspace), ".git/HEAD", ".git/index"}}),
                        now);
                }
            }
            draft.add(std::move(item), {*path});
        }
    }
    if (const auto archives = toolFolder(home_, "/Library/Developer/Xcode/Archives")) {
        DependencyItem item;
        item.name = "Xcode archives";
        item.path = archives;
        item.managedBy = "xcode";
        item.identity = "The apps you archived for release, with the symbols that read their crash reports: keep "
                        "them for every version still in use.";
        draft.add(std::move(item), {*archives});
    }
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
    draft.step([&] { draft.report().pins = readPins(found); });

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
        const ProjectKind& kind = projectKinds()[project.kind];
        const BuildFolder& build = *std::find_if(kind.buildFolders.begin(), kind.buildFolders.end(),
            [&](const BuildFolder& candidate) { return candidate.name == project.buildFolder; });
        const Lockfile* lockfile = project.lockfile ? &kind.lockfiles[project.lockfile->name] : nullptr;
        DependencyItem item;
        item.name = lastName(project.folder) + " \u00b7 " + project.buildFolder;
        item.path = project.folder + "/" + project.buildFolder;
        item.project = project.folder;
        if (!kind.managedBy.empty()) {
            item.managedBy = std::string(kind.managedBy);
        } else if (lockfile && lockfile->manager) {
            item.managedBy = std::string(rawValue(*lockfile->manager));
        }
        if (!build.restore.empty()) {
            item.restoreCommand = std::string(build.restore);
        } else if (lockfile) {
            item.restoreCommand = std::string(lockfile->restore);
            item.restoresExactly = true;
        }
        if (!lockfile && build.restore.empty()) {
            // Installing again without one may bring other versions: never offered as unused where
            // the kind keeps what it cannot reinstall as it was, said for the others.
            item.evidence.push_back(Evidence::noLockfile());
        }
        if (lockfile || !kind.keptWithoutLockfile) {
            judgeByActivity(item, activity[i], now);
        }
        if (project.tagged) {
            item.evidence.push_back(Evidence::markedAsCache());
        }
        removable(item);
        const std::string path = *item.path;
        draft.add(std::move(item), {path});
    }
    draft.step([&] { addXcodeFolders(draft, now); });
    draft.report().detected = !draft.empty();
    return std::move(draft).finish(sizer_.get(), counted);
}

const SourceDescriptor& ProjectsSource() {
    static const SourceDescriptor source{.kind = ManagerKind::projects,
        .displayName = "Projects",
        .shortLabel = "proj",
        .type = SourceType::projects,
        .summary = [](const std::vector<DependencyItem>& items) {
            // Projects, not folders: a Gradle project has two build folders, a Python one several.
            std::set<std::string, std::less<>> projects;
            for (const DependencyItem& item : items) {
                projects.insert(item.project.value_or(item.path.value_or(item.name)));
            }
            const auto folders = static_cast<std::int64_t>(items.size());
            return folders == static_cast<std::int64_t>(projects.size())
                       ? countOf(folders, "project", "projects")
                       : countsOf({{static_cast<std::int64_t>(projects.size()), "project", "projects"},
                             {folders, "build folder", "build folders"}});
        }};
    return source;
}

std::shared_ptr<const ManagerAdapter> makeProjectsAdapter(const AdapterServices& services) {
    return std::make_shared<ProjectsAdapter>(services.sizer, services.home, services.projectRoots);
}

} // namespace kelvo
