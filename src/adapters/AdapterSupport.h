#pragma once

#include "model/ScanModel.h"
#include "system/DirectorySizer.h"
#include "system/FileAccessProber.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kelvo {

// What measuring one item found; both absent when it could not be measured.
struct ItemSize {
    std::optional<std::int64_t> bytes;
    std::optional<std::int64_t> freedBytes;
    std::int64_t unreadable = 0; // folders in it that could not be read wholly
};
// Measures `paths` as one item into the scan's tally: its size and what removing it frees. Never
// throws: a failing sizer leaves the item unmeasured.
ItemSize measureItem(const DirectorySizing& sizer, const std::vector<std::string>& paths, TallyScopes counted);

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

// A download cache the manager prunes itself (its quick win carries the command).
DependencyItem cacheItem(std::string name, std::string path, std::optional<std::int64_t> bytes, std::string identity);

// An identity that names the folder a cache was found in. Only a tool's default folder is looked
// at (an override in the environment is not followed), so the user can tell which one this is.
// A path a tool's setting or record names, when it is absolute UTF-8 of plain parts only (no "..",
// ".", empty part, NUL or line break, which could lead a listing, a comparison or a command
// anywhere else); trailing slashes dropped.
std::optional<std::string> plainAbsolute(std::string_view value);

// Kept for `reason` (a project pins it, a virtual environment runs it): no longer offered for
// removal, and the reason said before any other but earlier ones; each reason once.
void keepFor(DependencyItem& item, Evidence reason);
// Kept because a project pins it (`folder`, the project's).
void keepPinned(DependencyItem& item, const std::string& folder, const std::string& home);
// The pins whose file is one of `files`.
std::vector<const ProjectPin*> pinsOf(const std::vector<ProjectPin>& pins, const std::vector<std::string_view>& files);

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

} // namespace kelvo
