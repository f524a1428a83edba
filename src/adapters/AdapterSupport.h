#pragma once

#include "model/NodeVersion.h"
#include "model/ScanModel.h"
#include "system/DirectorySizer.h"
#include "system/FileAccessProber.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace kelvo {

// Measures parent + "/" + name for each name; the map holds only names that could be measured.
// Names that would leave the parent when joined are never measured.
std::map<std::string, std::int64_t> measureChildren(const DirectorySizing& sizer, const std::string& parent,
                                                    const std::vector<std::string>& names);

// Runs an adapter's scan steps, which fill in `partial` as they learn; a fault inside them must
// not end the process or cost the other adapters their reports, so it returns what is known.
template <typename Steps>
ManagerReport guardedScan(ManagerKind kind, Steps&& steps) {
    ManagerReport partial = ManagerReport::notDetected(kind);
    try {
        return steps(partial);
    } catch (...) {
        return partial;
    }
}

// Stable, largest first, an absent size counting as -1.
void sortItemsBySize(std::vector<DependencyItem>& items);

// Names such as "..", "a/../b", "a//b", "" or one holding a NUL: joining them to a parent
// would not name a child of it, so they are listed but never measured or probed.
bool isSafeRelativeName(std::string_view name);

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

// A globally installed package of npm or bun: always in use as far as Kelvo can tell, with its
// last use as evidence, the knowledge base's identity, and `removeWords` + name unless it is core.
DependencyItem globalPackageItem(const std::string& name, std::optional<std::string> version, std::string path,
                                 std::optional<std::int64_t> bytes, std::optional<double> lastUse,
                                 const KnowledgeBase& kb, ManagerKind manager, std::string_view removeWords);

// A download cache the manager prunes itself (its quick win carries the command).
DependencyItem cacheItem(std::string name, std::string path, std::optional<std::int64_t> bytes,
                         std::string identity);

// Latest access of the package's commands that came at least a day after their last change.
std::optional<double> lastUseOfCommands(const FileAccessProbing& prober, const std::string& packageDirectory,
                                        std::string_view packageName, const std::string& commandDirectory);

} // namespace kelvo
