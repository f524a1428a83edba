#pragma once

// Finds the user's projects below given roots: folders that hold a marker entry of a kind (of any
// type; it is neither opened nor examined here) beside a real directory that kind's build
// re-creates. The kinds are data handed in: this walk knows no file name of any toolchain.
//
// The walk lists directory entries only. It never descends into a build folder beside its marker,
// a folder of a name never to be entered, a folder whose name begins with ".", an excluded folder
// or one it has walked already (another root lies there, or a bind mount loops back), never
// follows a symbolic link below a root and never leaves the file system of its root; a project's
// other subfolders are walked, so workspace members are found too. A root is the user's choice of
// folder: a link in its own path is resolved once.

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace kelvo {

// A build folder of a kind of project: its name, and an entry it must hold to be one (a Python
// virtual environment holds "pyvenv.cfg"; a folder merely named so does not count).
struct BuildFolderRule {
    std::string name;
    std::string requiredInside{};
};

// A kind of project: any of its markers in a folder makes the folder's build folders (those that
// are real directories) its build folders.
struct ProjectKindRule {
    std::vector<std::string> markers; // entry names; "*.csproj" stands for any name ending so
    std::vector<BuildFolderRule> buildFolders;
    // Regular files of which each such project is told the nearest: in its folder, else in the
    // nearest folder above it up to its root; several in one folder: the newest.
    std::vector<std::string> lockfiles{};
    // Entries looked for inside its build folders, whose presence is told (a cache's tag).
    std::vector<std::string> tags{};
};

struct ProjectSearch {
    std::vector<std::string> roots;    // absolute folders to search
    std::vector<std::string> excluded; // absolute folders never entered
    std::vector<ProjectKindRule> kinds;
    // Build folders of these names are never entered even without a marker beside them: what a
    // tool fills with other projects' copies, each with its own marker and build folder.
    std::vector<std::string> neverEntered;
    // Files (or links) told wherever the walk lists them: the version a project pins a runtime to.
    // Told only, never opened.
    std::vector<std::string> noted{};
};

struct FoundLockfile {
    std::size_t name = 0; // index into the kind's lockfiles
    std::string path;
    double modified = 0; // seconds since 1970
};

// One build folder of one project. A folder two kinds claim (a Cargo and a Maven project's
// "target") is found once, for the first of them.
struct FoundProject {
    std::string folder;      // root (as given, tidied) + "/" + names
    std::size_t root = 0;    // index into ProjectSearch::roots
    std::size_t kind = 0;    // index into ProjectSearch::kinds
    std::string buildFolder; // its name in folder
    std::optional<FoundLockfile> lockfile;
    bool tagged = false; // one of the kind's tags is inside the build folder
};

// A noted file in a folder the walk listed.
struct NotedFile {
    std::string folder;
    std::size_t name = 0; // index into ProjectSearch::noted
    friend bool operator==(const NotedFile&, const NotedFile&) = default;
};

struct FoundProjects {
    std::vector<FoundProject> projects; // by folder in code-point order, then kind and build folder
    std::vector<NotedFile> noted;       // by folder, then name
    std::int64_t skipped = 0;           // roots and folders that could not be opened or listed
};

// Blocking; safe to call from several threads at once. `foldersSeen`, when given, grows by one
// for every folder listed, as the walk goes. Roots are opened as the walk reaches them and other
// folders within the walks' descriptor budget, so that thousands of roots starve nothing else.
FoundProjects findProjects(const ProjectSearch& search, std::atomic<std::int64_t>* foldersSeen = nullptr);

// An absolute path without repeated slashes, "." names or a trailing slash; empty when the path is
// not absolute. ".." stays: without following links it cannot be resolved by the name alone.
std::string tidyPath(const std::string& path);

} // namespace kelvo
