#pragma once

#include "adapters/ReportDraft.h"
#include "model/ManagerAdapter.h"
#include "system/DirectorySizer.h"
#include "system/ProjectFinder.h"

#include <atomic>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace kelvo {

// The build folders of the user's own projects, found in the folders the user chose, each judged by
// its project's last activity and its lockfile.
class ProjectsAdapter final : public ManagerAdapter {
public:
    // The folders to search, asked afresh at each scan (the setting may change between scans).
    using Roots = std::function<std::vector<std::string>()>;

    ProjectsAdapter(std::shared_ptr<const DirectorySizing> sizer, std::string home, Roots roots);

    ManagerKind kind() const override { return ManagerKind::projects; }
    // There are folders to search.
    bool isInstalled() const override;
    using ManagerAdapter::scan;
    ManagerReport scan(TallyScopes counted) const override;
    // While the search runs: "searching ~/src · 12,400 folders"; empty otherwise.
    std::string progressNote() const override;

    // A project untouched for longer than this is likely done with.
    static constexpr double staleAfterSeconds = 90 * 86400.0;
    // At most this many entries are looked at to find when a project last changed.
    static constexpr int activityEntryLimit = 10'000;

    // A kind of project: the files that mark its folder, the folders beside them its build makes
    // again and what makes each again, and the lockfiles that pin what a build folder holds. The one
    // table of them (projectKinds); the search and the activity read nothing else.
    struct BuildFolder {
        std::string name;
        std::string requiredInside{}; // an entry it must hold to be one
        // What makes it again; empty: what its lockfile says, exactly as it was.
        std::string_view restore{};
    };
    struct Lockfile {
        std::string name;
        std::string_view restore;             // what installs the build folder again from it
        std::optional<ManagerKind> manager{}; // the source it names, when it names one
    };
    struct ProjectKind {
        std::string_view managedBy;       // "cargo"; empty: the manager its lockfile names
        std::vector<std::string> markers; // "*.csproj": any name ending so
        std::vector<BuildFolder> buildFolders;
        std::vector<Lockfile> lockfiles{};
        std::vector<std::string> cacheTags{}; // inside a build folder: its tool marks it a cache
        // Never entered even without a marker beside it: what a tool fills with other projects'
        // copies, each with its own marker and build folder.
        bool neverEntered = false;
        // Without a lockfile, never offered as unused: installing again may bring other versions.
        bool keptWithoutLockfile = false;
    };
    static const std::vector<ProjectKind>& projectKinds();

    // What the search looks for: the project kinds as the walk takes them.
    static ProjectSearch search(std::vector<std::string> roots, std::vector<std::string> excluded);
    // Every source's version files, which the search notes.
    static std::vector<std::string> pinFileNames();
    // The noted version files, and those build folders hold, that read as text within pinReadLimit.
    static std::vector<ProjectPin> readPins(const FoundProjects& found);
    static constexpr std::size_t pinReadLimit = 64 * 1024;
    // The newest change among the project's markers, its lockfile, .git/HEAD and .git/index, and
    // the entries of the project and its non-hidden folders but its kind's build folders, three
    // levels deep.
    static std::optional<double> lastActivity(
        const std::string& project, const ProjectKind& kind, std::optional<double> lockfileModified);
    // The workspace an Xcode DerivedData folder was made for, from its info.plist: absent when the
    // file is missing, binary, huge or names none.
    static std::optional<std::string> derivedDataWorkspace(const std::string& folder);

private:
    // The build folders Xcode keeps for every project it built, and its archives.
    void addXcodeFolders(ReportDraft& draft, double now) const;

    std::shared_ptr<const DirectorySizing> sizer_;
    std::string home_;
    Roots roots_;
    // The newest search's progress, for the live note.
    struct Progress;
    std::shared_ptr<Progress> progress_;
};

} // namespace kelvo
