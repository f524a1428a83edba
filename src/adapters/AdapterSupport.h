#pragma once

#include "model/NodeVersion.h"
#include "model/ScanModel.h"
#include "system/DirectorySizer.h"
#include "system/FileAccessProber.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace kelvo {

// What one adapter's scan counts into: the whole scan's scope and the manager's own, whose total
// is the report's once-counted total.
class ManagerTally {
public:
    explicit ManagerTally(TallyScopes counted) : counted_(counted) {}
    TallyScopes counted() const { return counted_; }
    // What the manager's items occupy together; absent without a scope of its own.
    std::optional<std::int64_t> total() const {
        const DiskTally::Scopes own = counted_.scopes & ~DiskTally::wholeScan;
        if (counted_.tally == nullptr || own == 0) {
            return std::nullopt;
        }
        counted_.tally->settle(own); // the manager's measurements are over
        return counted_.tally->total(own);
    }

private:
    TallyScopes counted_;
};

// What measuring one item found; both absent when it could not be measured.
struct ItemSize {
    std::optional<std::int64_t> bytes;
    std::optional<std::int64_t> freedBytes;
    std::int64_t unreadable = 0; // folders in it that could not be read wholly
};
// Measures `paths` as one item into the scan's tally: its size and what removing it frees. Never
// throws: a failing sizer leaves the item unmeasured.
ItemSize measureItem(const DirectorySizing& sizer, const std::vector<std::string>& paths, TallyScopes counted);

// Measures parent + "/" + name for each name; the map holds only names that could be measured.
// Names that would leave the parent when joined are never measured.
std::map<std::string, ItemSize> measureChildren(const DirectorySizing& sizer, const std::string& parent,
    const std::vector<std::string>& names, TallyScopes counted);

// What every report goes through last: no command that would not name its item's bytes exactly.
ManagerReport finishedReport(ManagerReport report);

// Runs an adapter's scan steps, which fill in `partial` as they learn; a fault inside them must
// not end the process or cost the other adapters their reports, so it returns what is known.
template <typename Steps>
ManagerReport guardedScan(ManagerKind kind, Steps&& steps) {
    ManagerReport partial = ManagerReport::notDetected(kind);
    try {
        return finishedReport(steps(partial));
    } catch (...) {
        return finishedReport(std::move(partial));
    }
}

// Stable, largest first, an absent size counting as -1.
void sortItemsBySize(std::vector<DependencyItem>& items);

// Names such as "..", "a/../b", "a//b", "" or one holding a NUL: joining them to a parent
// would not name a child of it, so they are listed but never measured or probed.
bool isSafeRelativeName(std::string_view name);

// Where an item of `name` lies in `parent`: absent when that is no place inside an absolute parent
// (an empty or relative answer from a tool, a listed name such as "../x"), so that nothing shows,
// reveals or measures a path outside the manager's folder.
std::optional<std::string> childPath(const std::string& parent, std::string_view name);

// Whether a tool's answer can be a directory path at all: one line, no NUL, at most PATH_MAX
// bytes. Anything else is treated as a failed command, since every item's path is built from it.
bool isSinglePathAnswer(std::string_view output);

// A shell command of fixed words followed by one name, e.g. ("npm -g uninstall", name).
// The name is single-quoted whenever it holds anything outside [A-Za-z0-9@%+=:,./_-].
std::string commandWithName(std::string_view fixedWords, std::string_view name);
// The same, but a name beginning with "-" is preceded by "--" so that the tool cannot read it
// as an option (quoting does not prevent that). Plain names give exactly commandWithName.
std::string commandWithOperand(std::string_view fixedWords, std::string_view name);
std::string shellQuoted(std::string_view word);

// Packages no adapter ever offers to remove, whatever the knowledge base says.
inline const std::set<std::string, std::less<>> builtInCorePackages{"npm", "corepack"};

struct KnowledgeBase;

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
CommandUse commandUse(
    const FileAccessProbing& prober, const std::vector<std::string>& commands, const std::string& commandDirectory);

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

// A download cache the manager prunes itself (its quick win carries the command).
DependencyItem cacheItem(std::string name, std::string path, std::optional<std::int64_t> bytes, std::string identity);

// An identity that names the folder a cache was found in. Only a tool's default folder is looked
// at (an override in the environment is not followed), so the user can tell which one this is.
std::string foundIn(std::string identity, const std::string& folder, const std::string& home);

// Whether home + suffix is a tool's folder reached without a link: the home and the folders
// applications share in it (~/.cache, ~/.config, ~/.local/share, ~/Library, its Caches and
// Application Support) are the user's to move and link elsewhere; every level below them is the
// tool's and must be a real directory, so that a link there cannot lead a listing or a
// measurement into the rest of the disk.
std::optional<std::string> toolFolder(const std::string& home, std::string_view suffix);
// The same where the last level may be an entry of any kind but a link.
std::optional<std::string> toolEntry(const std::string& home, std::string_view suffix);
// The first of the suffixes that is such a folder (or entry), in the order given: a tool's macOS
// place before its Linux one, as each tool picks by platform.
std::optional<std::string> firstFolder(const std::string& home, const std::vector<std::string_view>& suffixes);
std::optional<std::string> firstEntry(const std::string& home, const std::vector<std::string_view>& suffixes);

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

// A quick win as this scan shows it, sized by the items of `items` it covers, named by id (absent
// when that item was not found); absent size when none of them was measured. None when it covers
// items and every one is missing or empty: nothing to clean. A win that covers none is kept.
std::optional<QuickWin> sizedQuickWin(
    const QuickWin& win, const std::vector<DependencyItem>& items, const std::vector<std::optional<Uuid>>& covered);

} // namespace kelvo
