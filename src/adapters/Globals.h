#pragma once

// Global packages, as npm, bun, Yarn and pnpm keep them: what a global's package.json says, how
// the use of its commands judges it, and the global folders of bun, Yarn and pnpm, read one way.

#include "adapters/ReportDraft.h"
#include "knowledge/KnowledgeBase.h"
#include "model/ScanModel.h"
#include "system/FileAccessProber.h"

#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace kelvo {

// Packages no adapter ever offers to remove, whatever the knowledge base says.
inline const std::set<std::string, std::less<>> builtInCorePackages{"npm", "corepack"};

// What a global package's package.json says: its version and the names of its commands.
struct PackageManifest {
    std::optional<std::string> version;
    std::vector<std::string> commands; // in code-point order
};
// Unreadable, not JSON or not an object: no version and no commands.
PackageManifest readPackageManifest(const std::string& packageDirectory, std::string_view packageName);

// What the command folder tells of a global package's use.
struct CommandUse {
    // The latest access of a command that came at least a day after the command's last change.
    std::optional<double> lastUse;
    // When the newest command entry was made: the entry's own time, not its target's, since package
    // files keep whatever times their archive gave them.
    std::optional<double> installedAt;
};
// The use of `commands` in any of `commandFolders` (where the manager links a global's commands).
CommandUse commandUse(const FileAccessProbing& prober, const std::vector<std::string>& commands,
    const std::vector<std::string>& commandFolders);

// What a scan judges global packages by: its time, and whether the command folder's file system
// records access times at all (mounted noatime it does not, and no use can be read from it).
struct UseClock {
    double now = 0;
    bool accessTimesRecorded = false;
};
// A global whose commands were last used, or not used since an install, longer ago than this is
// likely unused.
inline constexpr double staleAfterSeconds = 90 * 86400.0;

// A globally installed package of npm or bun, with the knowledge base's identity and
// `removeWords` + name unless it is core. In use, unless its commands say it is stale; a core
// package is never offered for removal and never judged stale.
DependencyItem globalPackageItem(const std::string& name, std::optional<std::string> version,
    std::optional<std::string> path, std::optional<std::int64_t> bytes, const CommandUse& use, const UseClock& clock,
    const KnowledgeBase& kb, ManagerKind manager, std::string_view removeWords);

// The dependency names of a global folder's package.json, which name exactly what the user added,
// in code-point order; an object without "dependencies" names none. Absent when the file is
// missing, not a regular file, huge, not JSON or of another shape.
std::optional<std::vector<std::string>> manifestDependencies(const std::string& packageJson);

// Every other entry of a global node_modules folder: what the globals pulled in ("@scope/name"
// where a scope also holds a global, and only when the scope is a folder, not a link), in
// code-point order.
std::vector<std::string> otherEntries(const std::string& modulesDirectory, const std::vector<std::string>& globals);

// Several folders measured as one signalOnly item without a path: what a manager's globals depend on.
DependencyItem dependenciesItem(std::string name, std::optional<std::int64_t> bytes, std::string identity);

// A global as its manager lists it: its name, where it lies (absent when that is no place inside the
// manager's folder) and its version when the listing says.
struct Global {
    std::string name;
    std::optional<std::string> path;
    std::optional<std::string> version = std::nullopt;
};

// What a global folder holds: a package.json whose dependencies are the globals the user added, and
// node_modules beside it with them and everything they pulled in.
struct GlobalFolder {
    std::vector<Global> globals;           // in code-point order
    std::vector<std::string> dependencies; // the folders of what they pulled in
};
// Without a readable package.json, every folder in node_modules is a global (bun's) or none is
// (Yarn 1's: then everything there came with globals it no longer names).
enum class WithoutManifest { everyFolderIsAGlobal, nothingIsAGlobal };
// `folder` is reached without links; nothing below it is followed (a node_modules that is a link
// holds nothing here).
GlobalFolder readGlobalFolder(const std::string& folder, WithoutManifest without);

// How a manager's globals are judged and removed.
struct GlobalJudging {
    const FileAccessProbing& prober;
    std::vector<std::string> commandFolders;
    UseClock clock;
    const KnowledgeBase& kb;
    ManagerKind manager;
    std::string_view removeWords; // "npm -g uninstall"
};
// An item per global, measured at its path, its version read from its package.json where the
// listing gave none.
void addGlobals(ReportDraft& draft, const std::vector<Global>& globals, const GlobalJudging& judging);

} // namespace kelvo
