#include "system/DirectorySizer.h"

#include "model/FileTable.h"
#include "system/WorkPool.h"
#include "system/walk/DirectoryListing.h"
#include "system/walk/WalkScheduler.h"
#include "system/walk/WalkTree.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

// The sizer's walk (its scheduler is WalkScheduler.h, the tree of queued directories WalkTree.h,
// the reading of directories per platform DirectoryListing.h):
//
// - Every directory is opened relative to the descriptor of its parent or a kept ancestor, listed
//   a buffer at a time and closed. Entries are classified by the listing's type field where the
//   file system gives one: symbolic links are skipped without a status query, subdirectories are
//   queued (their own blocks come from fstat once they are opened), everything else gets one
//   fstatat(AT_SYMLINK_NOFOLLOW). No file is ever opened. Results equal a plain sequential
//   recursive walk, as du counts: a subdirectory that cannot be opened or listed contributes its own
//   blocks, an entry whose status fails is skipped, and both are counted as unreadable; a directory
//   that is one of its own ancestors (a bind mount inside itself) is not entered.
// - Large directories hand parts of their listing (one buffer each) to other threads. Files with
//   a link count above 1 go through one sharded table of link counts per top-level call, which
//   counts each once and tells whether every link of it was met (what removing the paths frees);
//   all others are counted directly.

namespace kelvo {

namespace {

using walk::DirNode;
using walk::EntryBatch;
using walk::Scratch;

std::int64_t allocatedBytes(const struct stat& st) { return static_cast<std::int64_t>(st.st_blocks) * 512; }

// ---- hard links ---------------------------------------------------------------------------------

using FileId = std::pair<std::uint64_t, std::uint64_t>; // device, inode

FileId idOf(const struct stat& st) {
    return {static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino)};
}

// How many links of each file with several links one top-level call has met. A byte per file, as
// a store of a million hard-linked files fills this table: the count itself up to 253, then
// `allMet` once as many links were met as the file has, or `beyondByte` for the rare file with
// more links, whose count is kept in a map apart.
class LinkCounts {
public:
    struct Met {
        bool first = false; // no other link of the file had been met in this call
        bool last = false;  // with this one, every link of the file was met
    };

    Met meet(const FileId& file, std::uint64_t links) {
        return files_.update(file.first, file.second, [&](std::uint8_t& met, bool inserted) {
            if (met == allMet) {
                return Met{inserted, false};
            }
            std::uint64_t count = 0;
            if (met < beyondByte - 1) {
                count = ++met;
            } else {
                count = countBeyondByte(file, met);
                met = beyondByte;
            }
            if (count < links) {
                return Met{inserted, false};
            }
            met = allMet; // once: a link met again (a rename during the walk) frees nothing more
            return Met{inserted, true};
        });
    }

private:
    static constexpr std::uint8_t beyondByte = 254;
    static constexpr std::uint8_t allMet = 255;

    // Under the file's shard lock, so that one file's count never rises twice at once.
    std::uint64_t countBeyondByte(const FileId& file, std::uint8_t met) {
        std::lock_guard lock(beyondMutex_);
        std::uint64_t& count = beyond_[file];
        count = std::max<std::uint64_t>(count, met) + 1;
        return count;
    }

    ShardedFileTable<std::uint8_t, 16> files_;
    std::mutex beyondMutex_;
    std::map<FileId, std::uint64_t> beyond_;
};

// What a walk or a part of it counted, and how much of that removing the paths would free.
struct Sizes {
    std::int64_t bytes = 0;
    std::int64_t freed = 0;

    Sizes& operator+=(const Sizes& other) {
        bytes += other.bytes;
        freed += other.freed;
        return *this;
    }
};

// ---- the walk -----------------------------------------------------------------------------------

// What one directory (or one batch of its entries) adds: to the call's size, and to the tally by
// the scopes it counts for (a few distinct ones at most; more go to the tally at once). The tally
// hears of it once per directory, so that its counts follow the walk without costing it.
struct Found {
    struct Share {
        DiskTally::Scopes scopes = 0;
        DiskTally::Scopes before = 0; // the scopes that had counted it already
        std::int64_t bytes = 0;
        std::int64_t files = 0;
    };
    DiskTally* tally = nullptr;
    std::int64_t bytes = 0;
    std::int64_t freed = 0;
    std::array<Share, 4> tallied{};
    std::size_t used = 0;
    bool unreadable = false; // something in it could not be examined

    // `files` is 1 for anything but a directory.
    void add(std::int64_t size, DiskTally::Scopes scopes, std::int64_t files, DiskTally::Scopes before) {
        bytes += size;
        if (scopes == 0) {
            return;
        }
        for (std::size_t i = 0; i < used; ++i) {
            if (tallied[i].scopes == scopes && tallied[i].before == before) {
                tallied[i].bytes += size;
                tallied[i].files += files;
                return;
            }
        }
        if (used < tallied.size()) {
            tallied[used++] = {scopes, before, size, files};
        } else {
            tally->add(scopes, size, files, before);
        }
    }
    void flushTally() {
        for (std::size_t i = 0; i < used; ++i) {
            tally->add(tallied[i].scopes, tallied[i].bytes, tallied[i].files, tallied[i].before);
        }
        used = 0;
    }
};

class Walk final : public walk::Scheduler {
public:
    explicit Walk(DiskTally* tally) : tally_(tally) {}

    struct Root {
        int fd = -1; // taken over
        DiskTally::Scopes counts = 0;
    };
    // Walks the trees below the roots as one; absent when no top-level directory could be listed.
    std::optional<Sizes> run(const std::vector<Root>& roots);
    // A top-level path that is not a directory, measured as part of this call.
    Sizes countTopLevel(const walk::TopLevel& top, DiskTally::Scopes counts);
    // A top-level directory that cannot be opened: its own blocks, as du counts them.
    Sizes countUnopened(const struct stat& st, DiskTally::Scopes counts);
    // Folders below the top-level paths that could not be read wholly (opened, listed, or every
    // entry examined), the top-level ones included.
    std::int64_t unreadable() const { return unreadable_.load(std::memory_order_relaxed); }
    void noteUnreadable() { unreadable_.fetch_add(1, std::memory_order_relaxed); }
    // With several top-level paths: the walk watches for one of them met again below another.
    void watchFor(std::vector<FileId> directories, std::vector<FileId> files);
    // True when a top-level path was met twice: a link counted twice could look like all of them.
    bool overlapped() const { return overlapped_.load(std::memory_order_relaxed); }

private:
    std::int64_t process(const walk::WorkItem& item, Scratch& scratch) override;
    // Opens (unless fd is given), lists and closes one directory. Returns false if it was not
    // opened. Found subdirectories are appended to scratch.children.
    bool processDirectory(DirNode* node, int fd, bool isRoot, Scratch& scratch, Sizes& sizes);
    void processBatch(EntryBatch* batch, Scratch& scratch, Sizes& sizes);
    // Examines one entry of an open directory.
    void examine(int dirFd, const char* name, unsigned char type, std::uint64_t inode, const DirNode& node,
        Scratch& scratch, Found& found);
    // Counts a file found where `counts` (of a directory that `before` had counted already) apply.
    void countEntry(const struct stat& st, DiskTally::Scopes counts, DiskTally::Scopes before, Found& found);
    void noteIfTop(const std::vector<FileId>& tops, const struct stat& st);
    // A directory's own blocks: claimed in the tally under its identity, which also decides what
    // the scopes `counts` its entries count for (those that had not met it yet).
    void countDirectory(const struct stat& own, DiskTally::Scopes& counts, DiskTally::Scopes& before, Found& found);

    DiskTally* const tally_;
    LinkCounts links_;
    // What the items processed by the scheduler free; their bytes are its total.
    std::atomic<std::int64_t> freed_{0};
    std::vector<FileId> topDirectories_; // sorted; empty with a single top-level path
    std::vector<FileId> topFiles_;
    std::atomic<bool> overlapped_{false};
    std::atomic<std::int64_t> unreadable_{0};
};

void Walk::examine(int dirFd, const char* name, unsigned char type, std::uint64_t inode, const DirNode& node,
    Scratch& scratch, Found& found) {
    if (name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0'))) {
        return;
    }
    struct stat st {};
    if (type != DT_DIR && ::fstatat(dirFd, name, &st, AT_SYMLINK_NOFOLLOW) != 0) {
        // Vanished: nothing lost. Not examinable (a folder that can be listed but not searched):
        // skipped, and the measurement says part of it could not be read.
        found.unreadable = found.unreadable || errno != ENOENT;
        return;
    }
    if (type == DT_DIR || S_ISDIR(st.st_mode)) {
        auto* child = new DirNode();
        child->name = name;
        child->listedInode = inode;
        scratch.children.push_back(child);
        return;
    }
    // Anything else counts its own blocks, a symbolic link too (a long target takes a block),
    // which is never followed.
    countEntry(st, node.counts, node.before, found);
}

void Walk::countEntry(const struct stat& st, DiskTally::Scopes counts, DiskTally::Scopes before, Found& found) {
    noteIfTop(topFiles_, st);
    if (st.st_nlink > 1) {
        const FileId file = idOf(st);
        const LinkCounts::Met met = links_.meet(file, static_cast<std::uint64_t>(st.st_nlink));
        if (met.last) {
            found.freed += allocatedBytes(st);
        }
        if (!met.first) {
            return; // another link to this file was counted already in this call
        }
        if (counts != 0) {
            counts = tally_->claim(file.first, file.second, counts, &before);
        }
    } else {
        found.freed += allocatedBytes(st);
    }
    found.add(allocatedBytes(st), counts, 1, before);
}

void Walk::noteIfTop(const std::vector<FileId>& tops, const struct stat& st) {
    if (!tops.empty() && std::binary_search(tops.begin(), tops.end(), idOf(st))) {
        overlapped_.store(true, std::memory_order_relaxed);
    }
}

void Walk::watchFor(std::vector<FileId> directories, std::vector<FileId> files) {
    if (directories.size() + files.size() < 2) {
        return;
    }
    std::sort(directories.begin(), directories.end());
    std::sort(files.begin(), files.end());
    // Two paths of one directory, or two links of one file given as paths: told apart by nothing.
    if (std::adjacent_find(directories.begin(), directories.end()) != directories.end() ||
        std::adjacent_find(files.begin(), files.end()) != files.end()) {
        overlapped_.store(true, std::memory_order_relaxed);
    }
    topDirectories_ = std::move(directories);
    topFiles_ = std::move(files);
}

void Walk::countDirectory(const struct stat& own, DiskTally::Scopes& counts, DiskTally::Scopes& before, Found& found) {
    if (counts != 0) {
        counts = tally_->claim(
            static_cast<std::uint64_t>(own.st_dev), static_cast<std::uint64_t>(own.st_ino), counts, &before);
    }
    found.add(allocatedBytes(own), counts, 0, before);
    found.freed += allocatedBytes(own); // a directory goes with the item that holds it
}

bool Walk::processDirectory(DirNode* node, int fd, bool isRoot, Scratch& scratch, Sizes& sizes) {
    DirNode* const anchor = node->anchor;
    if (!isRoot) {
        fd = walk::openNode(node);
    }
    Found found{tally_};
    struct stat own {};
    if (fd < 0) {
        // Not to be opened (no permission): its own blocks still count, as du counts them, and the
        // measurement says the rest could not be read. One that vanished or became a link is gone.
        if (walk::statNode(node, own) && S_ISDIR(own.st_mode)) {
            countDirectory(own, node->counts, node->before, found);
            found.flushTally();
            sizes += Sizes{found.bytes, found.freed};
            noteUnreadable();
        }
        walk::releaseFdUse(anchor);
        walk::releaseLife(node);
        return false;
    }
    const bool known = ::fstat(fd, &own) == 0;
    if (known && walk::isOwnAncestor(node, own)) {
        // A folder mounted inside itself: entered, it would count its whole tree again.
        walk::closeFd(fd);
        walk::releaseFdUse(anchor);
        walk::releaseLife(node);
        return false;
    }
    walk::bump(walk::counters().directories);
    if (known) {
        if (!isRoot) {
            noteIfTop(topDirectories_, own);
        }
        countDirectory(own, node->counts, node->before, found);
    } else {
        node->counts = 0;
    }

    // While listing, the node's descriptor is its own: one use by this thread. Batches handed to
    // other threads need it kept open, which takes a budget slot.
    if (!isRoot) {
        node->fd = fd;
        node->fdUsers.store(1, std::memory_order_relaxed);
    }
    walk::DirectoryReader reader(fd);
    long n = 0;
    for (int chunk = 0;; ++chunk) {
        n = reader.next(scratch.listing);
        if (n <= 0) {
            break; // the end, or a failure: what was listed so far counts
        }
        // A large directory: every other buffer goes to another thread when one can help.
        if (chunk % 2 == 1 && mayHandOff() &&
            (isRoot || node->budgeted || (node->budgeted = walk::tryAcquireFdSlot()))) {
            auto* batch = new EntryBatch();
            batch->node = node;
            batch->records.assign(scratch.listing.data(), scratch.listing.data() + n);
            node->lifeRefs.fetch_add(1, std::memory_order_relaxed);
            node->fdUsers.fetch_add(1, std::memory_order_relaxed);
            publishBatch(batch);
            continue;
        }
        walk::forEachEntry(scratch.listing.data(), static_cast<std::size_t>(n),
            [&](const char* name, unsigned char type, std::uint64_t inode) {
                examine(fd, name, type, inode, *node, scratch, found);
            });
    }
    if (n < 0 || !known || found.unreadable) {
        noteUnreadable();
    }
    found.flushTally();
    sizes += Sizes{found.bytes, found.freed};

    if (!scratch.children.empty()) {
        walk::adopt(node, walk::childAnchor(node), scratch.children);
    }
    if (!isRoot) {
        walk::releaseFdUse(node); // this thread's own use: closes now unless children or batches need it
        walk::releaseFdUse(anchor);
    } else {
        walk::releaseFdUse(node); // the call's initial use; the root stays open while others need it
    }
    walk::releaseLife(node);
    return true;
}

void Walk::processBatch(EntryBatch* batch, Scratch& scratch, Sizes& sizes) {
    DirNode* node = batch->node;
    Found found{tally_};
    walk::forEachEntry(
        batch->records.data(), batch->records.size(), [&](const char* name, unsigned char type, std::uint64_t inode) {
            examine(node->fd, name, type, inode, *node, scratch, found);
        });
    if (found.unreadable) {
        noteUnreadable();
    }
    found.flushTally();
    sizes += Sizes{found.bytes, found.freed};
    // The node keeps its descriptor (a budget slot) until its last batch and child are done.
    walk::adopt(node, node, scratch.children);
    walk::releaseFdUse(node);
    walk::releaseLife(node);
    delete batch;
}

std::int64_t Walk::process(const walk::WorkItem& item, Scratch& scratch) {
    Sizes sizes;
    if (item.batch != nullptr) {
        processBatch(item.batch, scratch, sizes);
    } else {
        processDirectory(item.node, -1, false, scratch, sizes);
    }
    freed_.fetch_add(sizes.freed, std::memory_order_relaxed);
    return sizes.bytes;
}

Sizes Walk::countTopLevel(const walk::TopLevel& top, DiskTally::Scopes counts) {
    const struct stat& st = top.status;
    if (st.st_nlink == 1 && counts != 0 && top.hasParent) {
        // Reached by walks only through its folder: the tally settles it once they are over.
        tally_->addTopLevelFile({static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino)},
            {top.parentDevice, top.parentInode}, allocatedBytes(st), counts);
        return {allocatedBytes(st), allocatedBytes(st)};
    }
    Found found{tally_};
    countEntry(st, counts, 0, found);
    found.flushTally();
    return {found.bytes, found.freed};
}

Sizes Walk::countUnopened(const struct stat& st, DiskTally::Scopes counts) {
    Found found{tally_};
    DiskTally::Scopes before = 0;
    countDirectory(st, counts, before, found);
    found.flushTally();
    noteUnreadable();
    return {found.bytes, found.freed};
}

std::optional<Sizes> Walk::run(const std::vector<Root>& roots) {
    std::vector<DirNode*> rootNodes;
    std::vector<DirNode*> children;
    Scratch& scratch = walk::threadScratch();
    Sizes sizes;
    for (const Root& given : roots) {
        auto* root = new DirNode();
        root->anchor = root;
        root->fd = given.fd;
        root->counts = tally_ != nullptr ? given.counts : 0;
        root->fdUsers.store(1, std::memory_order_relaxed);
        // The caller's reference keeps the root alive until the walk is over.
        root->lifeRefs.store(2, std::memory_order_relaxed);
        scratch.children.clear();
        if (!processDirectory(root, given.fd, true, scratch, sizes)) {
            walk::releaseLife(root);
            continue;
        }
        rootNodes.push_back(root);
        children.insert(children.end(), scratch.children.begin(), scratch.children.end());
    }
    if (rootNodes.empty()) {
        return std::nullopt;
    }
    const std::int64_t bytes = drive(children, sizes.bytes);
    for (DirNode* root : rootNodes) {
        walk::releaseLife(root);
    }
    return Sizes{bytes, sizes.freed + freed_.load()};
}

} // namespace

std::optional<std::int64_t> DirectorySizing::measure(const std::string& path, TallyScopes counted) const {
    const auto bytes = size(path);
    if (bytes && counted.tally != nullptr) {
        counted.tally->add(counted.scopes, *bytes);
    }
    return bytes;
}

std::optional<std::int64_t> DirectorySizing::measureTogether(
    const std::vector<std::string>& paths, TallyScopes counted) const {
    std::optional<std::int64_t> total;
    for (const auto& path : paths) {
        if (const auto bytes = measure(path, counted)) {
            total = total.value_or(0) + *bytes;
        }
    }
    return total;
}

std::optional<Measurement> DirectorySizing::measureItem(
    const std::vector<std::string>& paths, TallyScopes counted) const {
    const auto bytes = measureTogether(paths, counted);
    return bytes ? std::optional(Measurement{*bytes, std::nullopt}) : std::nullopt;
}

std::optional<std::int64_t> FileManagerDirectorySizer::size(const std::string& path) const {
    return measureTogether({path}, {});
}

std::optional<std::int64_t> FileManagerDirectorySizer::measure(const std::string& path, TallyScopes counted) const {
    return measureTogether({path}, counted);
}

std::optional<std::int64_t> FileManagerDirectorySizer::measureTogether(
    const std::vector<std::string>& paths, TallyScopes counted) const {
    const auto item = measureItem(paths, counted);
    return item ? std::optional(item->bytes) : std::nullopt;
}

std::optional<Measurement> FileManagerDirectorySizer::measureItem(
    const std::vector<std::string>& paths, TallyScopes counted) const {
    const DiskTally::Scopes counts = counted.tally != nullptr ? counted.scopes : 0;
    detail::WorkPool::Participation participation;
    auto walk = std::make_shared<Walk>(counted.tally);
    Sizes total;
    bool measured = false;
    std::vector<Walk::Root> roots;
    std::vector<FileId> directories;
    std::vector<FileId> files;
    for (const auto& path : paths) {
        const walk::TopLevel top = walk::openTopLevel(path);
        if (!top.exists) {
            continue;
        }
        if (!S_ISDIR(top.status.st_mode)) {
            // A file, a symbolic link itself, anything else.
            total += walk->countTopLevel(top, counts);
            measured = true;
            files.push_back(idOf(top.status));
        } else if (top.fd >= 0) {
            roots.push_back(Walk::Root{top.fd, counts});
            directories.push_back(idOf(top.status));
        } else {
            total += walk->countUnopened(top.status, counts);
            measured = true;
            directories.push_back(idOf(top.status));
        }
    }
    walk->watchFor(std::move(directories), std::move(files));
    if (const auto walked = roots.empty() ? std::nullopt : walk->run(roots)) {
        total += *walked;
        measured = true;
    }
    if (!measured) {
        return std::nullopt;
    }
    Measurement item{total.bytes, std::nullopt, walk->unreadable()};
    if (!walk->overlapped()) {
        // A file that grew between two of its links must not free more than was counted of it.
        item.freedBytes = std::min(total.freed, total.bytes);
    }
    return item;
}

} // namespace kelvo
