#pragma once

// The directory walks' tree of queued directories and the descriptors they keep open.
//
// A directory met by the walk is a node (parent, name). A node keeps its descriptor open while
// queued children still need it, up to a process-wide budget of kept descriptors; beyond the
// budget its descriptor is closed at once and its children are reopened from the nearest ancestor
// that kept one, by following the names down from it without following a link. Never "..", never a
// full path, so depth and path length are unlimited and concurrent renames cannot send the walk
// outside the tree.

#include "model/DiskTally.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include <sys/stat.h>

namespace kelvo::walk {

// One directory met by the walk. A node lives while it is queued or being listed, or while any
// descendant is (children hold a reference on their parent, so the names up to a kept ancestor
// can always be followed down again).
struct DirNode {
    DirNode* parent = nullptr;
    // While queued: the ancestor (usually the parent) whose descriptor opens this directory;
    // the queued node holds one descriptor use on it.
    DirNode* anchor = nullptr;
    std::atomic<int> lifeRefs{1};
    // Holders of a use may rely on fd being open; the last one to let go closes it.
    std::atomic<int> fdUsers{0};
    int fd = -1;
    bool budgeted = false; // fd counts against the budget
    // The tally scopes this directory and everything below it count for: those of the parent
    // that had not met this directory elsewhere already.
    DiskTally::Scopes counts = 0;
    // The first eight scopes that had counted this directory before this walk met it.
    DiskTally::Scopes before = 0;
    // The file system of the top-level directory, for walks that stay on it.
    std::uint64_t device = 0;
    // The inode its parent's listing gave, and its own identity once opened: the two differ where
    // something is mounted on it, the one place a directory can turn up again below itself.
    std::uint64_t listedInode = 0;
    std::uint64_t ownDevice = 0;
    std::uint64_t ownInode = 0;
    bool belowMount = false; // it or an ancestor is a mount point
    // The project finder's: a root's index among the roots given, and the lockfiles a listed folder
    // holds (index among the names looked for, time), which its descendants' projects read; none
    // for nearly every folder.
    std::size_t rootIndex = 0;
    std::unique_ptr<std::vector<std::pair<std::size_t, double>>> lockfiles;
    std::string name;
};

// Whether a directory opened as `node` (of identity `own`) is one of its own ancestors: through a
// bind mount of a folder inside itself, which like du the walks never enter. Notes the node's
// identity; costs a look up the chain only at and below mount points.
bool isOwnAncestor(DirNode* node, const struct stat& own);

// The status of a queued node's directory without opening it (for one that cannot be opened),
// through its anchor, on which the caller holds a use; false when that fails too.
bool statNode(const DirNode* node, struct stat& status);

void releaseLife(DirNode* node);
void releaseFdUse(DirNode* node);

// A slot of the process-wide budget of kept descriptors.
bool tryAcquireFdSlot();

// openat that survives signals and a short shortage of descriptors elsewhere in the process.
int openAt(int dirFd, const char* name, int flags);
void closeFd(int fd);

// Opens the directory names[0]/names[1]/... below baseFd, following no link anywhere; -1 when it
// cannot be.
int openBeneath(int baseFd, const std::vector<const std::string*>& names);

// Opens a queued node through its anchor (the caller holds a use on the anchor).
int openNode(const DirNode* node);

// The node to open a listed directory's children from: the directory itself when it may keep its
// descriptor (a top-level one, whose anchor is itself, always may; others take a budget slot),
// else the ancestor it was opened from.
DirNode* childAnchor(DirNode* node);
// Gives found children their parent, anchor, counts and device; queues nothing.
void adopt(DirNode* parent, DirNode* anchor, const std::vector<DirNode*>& children);

// A path given to a walk: its status (of a link itself unless `follow`) and, unless `follow`, for a
// directory an open descriptor (-1 when it cannot be opened). Paths longer than PATH_MAX work.
struct TopLevel {
    bool exists = false;
    struct stat status {};
    int fd = -1;
    // The folder that holds it, as the path names it (links followed); absent for "/".
    bool hasParent = false;
    std::uint64_t parentDevice = 0;
    std::uint64_t parentInode = 0;
};
TopLevel openTopLevel(const std::string& path, bool follow = false);

// Counters since the start of the process (see DirectoryWalk.h).
struct WalkCounters {
    std::atomic<std::uint64_t> directories{0};
    std::atomic<std::uint64_t> chainOpens{0};
    std::atomic<std::uint64_t> helperGrants{0};
    std::atomic<std::uint64_t> entryBatches{0};
    std::atomic<std::int64_t> keptFdsPeak{0};
};
WalkCounters& counters();

inline void bump(std::atomic<std::uint64_t>& counter) { counter.fetch_add(1, std::memory_order_relaxed); }

} // namespace kelvo::walk
