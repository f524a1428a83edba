#pragma once

// Finds the user's JavaScript projects: folders that hold an entry `package.json` (of any type;
// it is neither opened nor examined here) and a real directory `node_modules`.
//
// The walk lists directory entries only. It never descends into a `node_modules` folder, a folder
// whose name begins with ".", an excluded folder or one it has walked already (another root lies
// there, or a bind mount loops back), never follows a symbolic link and never leaves the file
// system of its root; a project's other subfolders are walked, so workspace members are found too.

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

namespace kelvo {

struct ProjectSearch {
    std::vector<std::string> roots;    // absolute folders to search
    std::vector<std::string> excluded; // absolute folders never entered
};

struct FoundProjects {
    std::vector<std::string> folders; // root + "/" + names, in code-point order, each once
    std::int64_t skipped = 0;         // roots and folders that could not be opened or listed
};

// Blocking; safe to call from several threads at once. `foldersSeen`, when given, grows by one
// for every folder listed, as the walk goes.
FoundProjects findProjects(const ProjectSearch& search, std::atomic<std::int64_t>* foldersSeen = nullptr);

} // namespace kelvo
