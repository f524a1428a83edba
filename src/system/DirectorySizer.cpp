#include "system/DirectorySizer.h"

#include "system/DirectoryWalk.h"
#include "system/WorkPool.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <climits>
#include <condition_variable>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <unordered_set>
#include <vector>

#include <dirent.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#if defined(__linux__)
#include <sys/syscall.h>
#if __has_include(<linux/openat2.h>) && defined(SYS_openat2)
#include <linux/openat2.h>
#define KELVO_HAVE_OPENAT2 1
#endif
#define KELVO_HAVE_GETDENTS64 1
#endif

// How the walk works:
//
// - Every directory is opened with open/openat(O_DIRECTORY | O_NOFOLLOW), relative to the
//   descriptor of its parent, listed with getdents64 into a large buffer and closed. Entries are
//   classified by the listing's type field where the file system gives one: symbolic links are
//   skipped without a status query, subdirectories are queued (their own blocks come from fstat
//   once they are opened), everything else gets one fstatat(AT_SYMLINK_NOFOLLOW). No file is
//   ever opened. Results equal a plain sequential recursive walk: a subdirectory that cannot be opened
//   or listed contributes 0, its own blocks included; an entry whose status fails is skipped.
// - No recursion: subdirectories go on an explicit stack of nodes (parent, name). A node keeps its
//   descriptor open while queued children still need it, up to a process-wide budget of kept
//   descriptors; beyond the budget a node's descriptor is closed at once and its children are
//   reopened from the nearest ancestor that kept one, by walking the names down from it
//   (openat2 with RESOLVE_NO_SYMLINKS where the kernel has it, else one openat(O_NOFOLLOW) per
//   name). Never "..", never a full path, so depth and path length are unlimited and concurrent
//   renames cannot send the walk outside the tree. The top-level descriptor is always kept.
// - Parallel: the stack is shared by the calling thread and pool helpers (WorkPool.h). The caller
//   always works; helpers are asked for only when more than one directory is queued, and the
//   pool bounds the number of working threads process-wide. Large directories hand parts of
//   their listing (one getdents buffer each) to other threads. Files with a link count above 1
//   go through one sharded inode set per top-level call; all others are counted directly.

namespace kelvo {

namespace {

constexpr int kDirectoryFlags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;
#ifdef O_PATH
constexpr int kPassThroughFlags = O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;
#else
constexpr int kPassThroughFlags = kDirectoryFlags;
#endif

constexpr std::size_t kListingBuffer = 128 * 1024;

std::int64_t allocatedBytes(const struct stat& st) { return static_cast<std::int64_t>(st.st_blocks) * 512; }

// ---- statistics -------------------------------------------------------------------------------

struct Counters {
    std::atomic<std::uint64_t> directories{0};
    std::atomic<std::uint64_t> chainOpens{0};
    std::atomic<std::uint64_t> helperGrants{0};
    std::atomic<std::uint64_t> entryBatches{0};
    std::atomic<std::int64_t> keptFdsPeak{0};
};
Counters counters;

void bump(std::atomic<std::uint64_t>& counter) { counter.fetch_add(1, std::memory_order_relaxed); }

// ---- descriptors ------------------------------------------------------------------------------

int initialFdBudget() {
    struct rlimit limit {};
    rlim_t soft = 1024;
    if (::getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY) {
        soft = limit.rlim_cur;
    }
    return static_cast<int>(std::clamp<rlim_t>(soft / 4, 8, 1024));
}

class FdBudget {
public:
    bool tryAcquire() {
        int used = used_.load(std::memory_order_relaxed);
        while (used < limit_.load(std::memory_order_relaxed)) {
            if (used_.compare_exchange_weak(used, used + 1, std::memory_order_relaxed)) {
                std::int64_t peak = counters.keptFdsPeak.load(std::memory_order_relaxed);
                while (used + 1 > peak &&
                       !counters.keptFdsPeak.compare_exchange_weak(peak, used + 1, std::memory_order_relaxed)) {
                }
                return true;
            }
        }
        return false;
    }
    void release() { used_.fetch_sub(1, std::memory_order_relaxed); }
    int limit() const { return limit_.load(); }
    int setLimit(int limit) { return limit_.exchange(std::max(0, limit)); }

private:
    std::atomic<int> used_{0};
    std::atomic<int> limit_{initialFdBudget()};
};
FdBudget fdBudget;

// openat that survives signals and a short shortage of descriptors elsewhere in the process.
int openAt(int dirFd, const char* name, int flags) {
    for (int attempt = 0;; ++attempt) {
        const int fd = ::openat(dirFd, name, flags);
        if (fd >= 0 || errno == EINTR) {
            if (fd >= 0) {
                return fd;
            }
            continue;
        }
        if ((errno == EMFILE || errno == ENFILE) && attempt < 50) {
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
            continue;
        }
        return -1;
    }
}

void closeFd(int fd) {
    if (fd >= 0) {
        ::close(fd);
    }
}

// ---- the tree of queued directories -------------------------------------------------------------

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
    bool budgeted = false; // fd counts against fdBudget
    std::string name;
};

void releaseLife(DirNode* node) {
    // Iterative, so that freeing the last node of a very deep chain cannot exhaust the stack.
    while (node != nullptr && node->lifeRefs.fetch_sub(1, std::memory_order_acq_rel) == 1) {
        DirNode* parent = node->parent;
        delete node;
        node = parent;
    }
}

void releaseFdUse(DirNode* node) {
    if (node->fdUsers.fetch_sub(1, std::memory_order_acq_rel) == 1) {
        closeFd(node->fd);
        node->fd = -1;
        if (node->budgeted) {
            node->budgeted = false;
            fdBudget.release();
        }
    }
}

#ifdef KELVO_HAVE_OPENAT2
std::atomic<bool> openat2Usable{true};

// Opens names[0]/names[1]/... below baseFd with openat2, refusing symbolic links anywhere.
// Returns -2 when the kernel lacks openat2.
int openChainAt2(int baseFd, const std::vector<const std::string*>& names) {
    int current = baseFd;
    std::size_t i = 0;
    std::string piece;
    while (i < names.size()) {
        piece.clear();
        std::size_t j = i;
        while (j < names.size() && (piece.empty() || piece.size() + 1 + names[j]->size() < PATH_MAX - 1)) {
            if (!piece.empty()) {
                piece.push_back('/');
            }
            piece += *names[j];
            ++j;
        }
        struct open_how how {};
        how.flags = static_cast<std::uint64_t>(j == names.size() ? kDirectoryFlags : kPassThroughFlags);
        how.resolve = RESOLVE_NO_SYMLINKS | RESOLVE_NO_MAGICLINKS;
        long next;
        do {
            next = ::syscall(SYS_openat2, current, piece.c_str(), &how, sizeof how);
        } while (next < 0 && errno == EINTR);
        const int savedErrno = errno;
        if (current != baseFd) {
            ::close(current);
        }
        if (next < 0) {
            if (savedErrno == ENOSYS) {
                openat2Usable.store(false);
                return -2;
            }
            return -1;
        }
        current = static_cast<int>(next);
        i = j;
    }
    return current;
}
#endif

// Opens the directory names[0]/names[1]/... below baseFd, one name at a time without following
// a symbolic link anywhere.
int openChain(int baseFd, const std::vector<const std::string*>& names) {
#ifdef KELVO_HAVE_OPENAT2
    if (openat2Usable.load(std::memory_order_relaxed)) {
        const int fd = openChainAt2(baseFd, names);
        if (fd != -2) {
            return fd;
        }
    }
#endif
    int current = baseFd;
    for (std::size_t i = 0; i < names.size(); ++i) {
        const int next =
            openAt(current, names[i]->c_str(), i + 1 == names.size() ? kDirectoryFlags : kPassThroughFlags);
        if (current != baseFd) {
            ::close(current);
        }
        if (next < 0) {
            return -1;
        }
        current = next;
    }
    return current;
}

// Opens a queued node through its anchor (the caller holds a use on the anchor).
int openNode(const DirNode* node) {
    const DirNode* anchor = node->anchor;
    if (node->parent == anchor) {
        return openAt(anchor->fd, node->name.c_str(), kDirectoryFlags);
    }
    bump(counters.chainOpens);
    std::vector<const std::string*> names;
    for (const DirNode* n = node; n != anchor; n = n->parent) {
        names.push_back(&n->name);
    }
    std::reverse(names.begin(), names.end());
    return openChain(anchor->fd, names);
}

// ---- hard links ---------------------------------------------------------------------------------

// Identity of a file; the device keeps all its bits (InodeKey's 32-bit device fits macOS's
// dev_t, but Linux device numbers can be wider).
struct FileIdentity {
    std::uint64_t dev = 0;
    std::uint64_t ino = 0;
    friend bool operator==(const FileIdentity&, const FileIdentity&) = default;
};

struct FileIdentityHash {
    std::size_t operator()(const FileIdentity& key) const noexcept {
        return static_cast<std::size_t>((key.ino * 0x9E3779B97F4A7C15ULL) ^ (key.dev * 0xC2B2AE3D27D4EB4FULL));
    }
};

// The set of files with several links met so far in one top-level call, sharded by hash.
class InodeSet {
public:
    bool insert(const FileIdentity& key) {
        const std::size_t hash = FileIdentityHash{}(key);
        Shard& shard = shards_[(hash >> 40) % kShards];
        std::lock_guard lock(shard.mutex);
        return shard.keys.insert(key).second;
    }

private:
    static constexpr std::size_t kShards = 16;
    struct alignas(64) Shard {
        std::mutex mutex;
        std::unordered_set<FileIdentity, FileIdentityHash> keys;
    };
    std::array<Shard, kShards> shards_;
};

// ---- the walk -----------------------------------------------------------------------------------

// A part of a large directory's listing, handed to another thread: raw getdents64 records.
struct EntryBatch {
    DirNode* node = nullptr; // holds a life reference and a descriptor use on node
    std::vector<char> records;
};

struct WorkItem {
    DirNode* node = nullptr;     // a directory to open and list, or
    EntryBatch* batch = nullptr; // entries of an open directory to examine
};

// Per-thread buffers, kept between calls.
struct Scratch {
    std::vector<char> listing = std::vector<char>(kListingBuffer);
    std::vector<DirNode*> children;
};

Scratch& threadScratch() {
    thread_local Scratch scratch;
    return scratch;
}

class Walk final : public detail::PoolJob, public std::enable_shared_from_this<Walk> {
public:
    // Walks the tree below rootFd (taken over); absent when the top-level directory cannot be listed.
    std::optional<std::int64_t> run(int rootFd);
    void help() override;

private:
    void work(bool isCaller);
    // Opens (unless fd is given), lists and closes one directory. Returns false if it could not
    // be listed. Found subdirectories are appended to scratch.children.
    bool processDirectory(DirNode* node, int fd, bool isRoot, Scratch& scratch, std::int64_t& bytes);
    void processBatch(EntryBatch* batch, Scratch& scratch, std::int64_t& bytes);
    // Examines one entry of an open directory.
    void examine(int dirFd, const char* name, unsigned char type, Scratch& scratch, std::int64_t& bytes);
    // Gives found children their parent and anchor; queues nothing.
    void adopt(DirNode* parent, DirNode* anchor, std::vector<DirNode*>& children);
    // Asks the pool for helpers when `available` queued items are there for others to take.
    void maybeRequestHelpers(std::size_t available);
    // True when a part of a large listing is worth handing to another thread now.
    bool mayHandOff() const;
    void publishBatch(EntryBatch* batch);

    std::mutex mutex_;
    std::condition_variable wake_;
    std::vector<WorkItem> stack_;
    std::size_t pending_ = 0; // queued + being processed
    bool callerWaiting_ = false;
    std::int64_t total_ = 0;
    std::atomic<int> helpers_{0};
    std::atomic<int> outstandingBatches_{0};
    InodeSet inodes_;
};

void Walk::examine(int dirFd, const char* name, unsigned char type, Scratch& scratch, std::int64_t& bytes) {
    if (name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0'))) {
        return;
    }
    if (type == DT_LNK) {
        return; // symbolic links inside a tree are neither counted nor followed
    }
    if (type == DT_DIR) {
        auto* child = new DirNode();
        child->name = name;
        scratch.children.push_back(child);
        return;
    }
    struct stat st {};
    if (::fstatat(dirFd, name, &st, AT_SYMLINK_NOFOLLOW) != 0) {
        return; // vanished or not examinable: skipped
    }
    if (S_ISDIR(st.st_mode)) {
        auto* child = new DirNode();
        child->name = name;
        scratch.children.push_back(child);
        return;
    }
    if (S_ISLNK(st.st_mode)) {
        return;
    }
    if (st.st_nlink > 1 &&
        !inodes_.insert(FileIdentity{static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino)})) {
        return; // another link to this file was counted already in this call
    }
    bytes += allocatedBytes(st);
}

void Walk::adopt(DirNode* parent, DirNode* anchor, std::vector<DirNode*>& children) {
    if (children.empty()) {
        return;
    }
    const int count = static_cast<int>(children.size());
    parent->lifeRefs.fetch_add(count, std::memory_order_relaxed);
    anchor->fdUsers.fetch_add(count, std::memory_order_relaxed);
    for (DirNode* child : children) {
        child->parent = parent;
        child->anchor = anchor;
    }
}

bool Walk::processDirectory(DirNode* node, int fd, bool isRoot, Scratch& scratch, std::int64_t& bytes) {
    DirNode* const anchor = node->anchor;
    if (!isRoot) {
        fd = openNode(node);
    }
    if (fd < 0) {
        releaseFdUse(anchor);
        releaseLife(node);
        return false;
    }
    bump(counters.directories);
    std::int64_t found = 0;
    struct stat own {};
    const std::int64_t ownBytes = ::fstat(fd, &own) == 0 ? allocatedBytes(own) : 0;

    bool listed = false;
#ifdef KELVO_HAVE_GETDENTS64
    // While listing, the node's descriptor is its own: one use by this thread. Batches handed to
    // other threads need it kept open, which takes a budget slot.
    if (!isRoot) {
        node->fd = fd;
        node->fdUsers.store(1, std::memory_order_relaxed);
    }
    for (int chunk = 0;; ++chunk) {
        const long n = ::syscall(SYS_getdents64, fd, scratch.listing.data(), scratch.listing.size());
        if (n < 0 && errno == EINTR) {
            --chunk;
            continue;
        }
        if (n <= 0) {
            break; // the end, or a failure: what was listed so far counts
        }
        listed = true;
        // A large directory: every other buffer goes to another thread when one can help.
        if (chunk % 2 == 1 && mayHandOff() && (isRoot || node->budgeted || (node->budgeted = fdBudget.tryAcquire()))) {
            auto* batch = new EntryBatch();
            batch->node = node;
            batch->records.assign(scratch.listing.data(), scratch.listing.data() + n);
            node->lifeRefs.fetch_add(1, std::memory_order_relaxed);
            node->fdUsers.fetch_add(1, std::memory_order_relaxed);
            publishBatch(batch);
            continue;
        }
        for (long offset = 0; offset < n;) {
            const auto* record = reinterpret_cast<const struct dirent64*>(scratch.listing.data() + offset);
            examine(fd, record->d_name, record->d_type, scratch, found);
            offset += record->d_reclen;
        }
    }
#else
    {
        const int listFd = ::dup(fd);
        DIR* dir = listFd >= 0 ? ::fdopendir(listFd) : nullptr;
        if (dir == nullptr) {
            closeFd(listFd);
        } else {
            listed = true;
            errno = 0;
            while (const struct dirent* entry = ::readdir(dir)) {
                examine(fd, entry->d_name, entry->d_type, scratch, found);
            }
            ::closedir(dir);
        }
    }
    if (!isRoot) {
        node->fd = fd;
        node->fdUsers.store(1, std::memory_order_relaxed);
    }
#endif

    if (!listed) {
        // Not listable: contributes nothing, its own blocks included; nothing was found or handed out.
        if (isRoot) {
            releaseFdUse(node);
        } else {
            releaseFdUse(node); // closes fd (only this thread's use), releases a slot if one was taken
            releaseFdUse(anchor);
        }
        releaseLife(node);
        return false;
    }
    bytes += ownBytes + found;

    // Subdirectories are opened relative to this directory when it may keep its descriptor,
    // else relative to the ancestor this directory was opened from.
    if (!scratch.children.empty()) {
        DirNode* childAnchor = node;
        if (!isRoot && !node->budgeted) {
            if (fdBudget.tryAcquire()) {
                node->budgeted = true;
            } else {
                childAnchor = anchor;
            }
        }
        adopt(node, childAnchor, scratch.children);
    }
    if (!isRoot) {
        releaseFdUse(node); // this thread's own use: closes now unless children or batches need it
        releaseFdUse(anchor);
    } else {
        releaseFdUse(node); // the call's initial use; the root stays open while others need it
    }
    releaseLife(node);
    return true;
}

void Walk::processBatch(EntryBatch* batch, Scratch& scratch, std::int64_t& bytes) {
    DirNode* node = batch->node;
    const std::vector<char>& records = batch->records;
    for (std::size_t offset = 0; offset < records.size();) {
        const auto* record = reinterpret_cast<const struct dirent64*>(records.data() + offset);
        examine(node->fd, record->d_name, record->d_type, scratch, bytes);
        offset += record->d_reclen;
    }
    // The node keeps its descriptor (a budget slot) until its last batch and child are done.
    adopt(node, node, scratch.children);
    releaseFdUse(node);
    releaseLife(node);
    delete batch;
}

void Walk::maybeRequestHelpers(std::size_t available) {
    auto& pool = detail::WorkPool::instance();
    if (available == 0 || pool.saturated()) {
        return;
    }
    const int wanted = static_cast<int>(std::min<std::size_t>(available, static_cast<std::size_t>(pool.limit() - 1))) -
                       helpers_.load(std::memory_order_relaxed);
    if (wanted <= 0) {
        return;
    }
    helpers_.fetch_add(wanted);
    const int granted = pool.requestHelpers(shared_from_this(), wanted);
    if (granted < wanted) {
        helpers_.fetch_sub(wanted - granted);
    }
    counters.helperGrants.fetch_add(static_cast<std::uint64_t>(granted), std::memory_order_relaxed);
}

bool Walk::mayHandOff() const {
    const auto& pool = detail::WorkPool::instance();
    if (outstandingBatches_.load(std::memory_order_relaxed) >= 2 * pool.limit()) {
        return false; // others are behind already: keep memory bounded and work here
    }
    return helpers_.load(std::memory_order_relaxed) > 0 || !pool.saturated();
}

void Walk::publishBatch(EntryBatch* batch) {
    bump(counters.entryBatches);
    outstandingBatches_.fetch_add(1, std::memory_order_relaxed);
    std::size_t queued = 0;
    {
        std::lock_guard lock(mutex_);
        stack_.push_back(WorkItem{nullptr, batch});
        ++pending_;
        queued = stack_.size();
        if (callerWaiting_) {
            wake_.notify_all();
        }
    }
    maybeRequestHelpers(queued); // the lister goes on listing: everything queued is for others
}

void Walk::work(bool isCaller) {
    Scratch& scratch = threadScratch();
    std::unique_lock lock(mutex_);
    while (true) {
        if (stack_.empty()) {
            if (!isCaller || pending_ == 0) {
                return;
            }
            callerWaiting_ = true;
            {
                detail::WorkPool::Waiting waiting;
                wake_.wait(lock, [&] { return !stack_.empty() || pending_ == 0; });
            }
            callerWaiting_ = false;
            continue;
        }
        const WorkItem item = stack_.back();
        stack_.pop_back();
        lock.unlock();

        std::int64_t bytes = 0;
        scratch.children.clear();
        if (item.batch != nullptr) {
            processBatch(item.batch, scratch, bytes);
            outstandingBatches_.fetch_sub(1, std::memory_order_relaxed);
        } else {
            processDirectory(item.node, -1, false, scratch, bytes);
        }

        lock.lock();
        total_ += bytes;
        for (DirNode* child : scratch.children) {
            stack_.push_back(WorkItem{child, nullptr});
        }
        const std::size_t added = scratch.children.size();
        pending_ += added;
        --pending_;
        if (pending_ == 0) {
            wake_.notify_all();
        } else if (callerWaiting_ && added > 0) {
            wake_.notify_all();
        }
        const std::size_t queued = stack_.size();
        if (queued >= 2 && helpers_.load(std::memory_order_relaxed) < detail::WorkPool::instance().limit() - 1) {
            lock.unlock();
            maybeRequestHelpers(queued - 1); // this thread takes the next one itself
            lock.lock();
        }
    }
}

void Walk::help() {
    work(false);
    helpers_.fetch_sub(1);
}

std::optional<std::int64_t> Walk::run(int rootFd) {
    auto* root = new DirNode();
    root->anchor = root;
    root->fd = rootFd;
    root->fdUsers.store(1, std::memory_order_relaxed);
    // The caller's reference keeps the root alive until the walk is over.
    root->lifeRefs.store(2, std::memory_order_relaxed);

    Scratch& scratch = threadScratch();
    scratch.children.clear();
    std::int64_t bytes = 0;
    const bool listed = processDirectory(root, rootFd, true, scratch, bytes);
    if (!listed) {
        releaseLife(root);
        return std::nullopt;
    }
    std::size_t queued = 0;
    {
        std::lock_guard lock(mutex_);
        total_ += bytes;
        for (DirNode* child : scratch.children) {
            stack_.push_back(WorkItem{child, nullptr});
        }
        pending_ += scratch.children.size();
        queued = stack_.size();
    }
    if (queued > 1) {
        maybeRequestHelpers(queued - 1);
    }
    work(true);
    releaseLife(root);
    std::lock_guard lock(mutex_);
    return total_;
}

// ---- the top-level path ---------------------------------------------------------------------------

// Splits a path too long for one system call into a directory descriptor and a last name, walking
// the leading part in pieces shorter than PATH_MAX (following links there, as lstat would).
// Returns -1 on failure.
int openLongParent(const std::string& path, std::string& lastName) {
    std::string trimmed = path;
    while (trimmed.size() > 1 && trimmed.back() == '/') {
        trimmed.pop_back();
    }
    const std::size_t slash = trimmed.rfind('/');
    if (slash == std::string::npos || slash + 1 == trimmed.size()) {
        return -1;
    }
    lastName = trimmed.substr(slash + 1);
    const std::string parent = trimmed.substr(0, slash + 1); // ends with '/'
    int current = AT_FDCWD;
    std::size_t start = 0;
    while (start < parent.size()) {
        if (start > 0) {
            // Later pieces are relative to the directory opened so far: never absolute.
            start = parent.find_first_not_of('/', start);
            if (start == std::string::npos) {
                break;
            }
        }
        std::size_t end = parent.size();
        if (end - start >= PATH_MAX - 1) {
            const std::size_t cut = parent.rfind('/', start + PATH_MAX - 2);
            if (cut == std::string::npos || cut < start) {
                end = start; // a single name longer than PATH_MAX
            } else {
                end = cut + 1;
            }
        }
        int next = -1;
        if (end > start) {
            const std::string piece = parent.substr(start, end - start);
#ifdef O_PATH
            next = openAt(current, piece.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
#else
            next = openAt(current, piece.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
#endif
        }
        if (current != AT_FDCWD) {
            ::close(current);
        }
        if (next < 0) {
            return -1;
        }
        current = next;
        start = end;
    }
    return current;
}

} // namespace

std::optional<std::int64_t> FileManagerDirectorySizer::size(const std::string& path) const {
    if (path.empty() || path.find('\0') != std::string::npos) {
        return std::nullopt;
    }
    int baseFd = AT_FDCWD;
    std::string lastName;
    const char* name = path.c_str();
    if (path.size() >= PATH_MAX) {
        baseFd = openLongParent(path, lastName);
        if (baseFd < 0) {
            return std::nullopt;
        }
        name = lastName.c_str();
    }
    struct Base {
        int fd;
        ~Base() {
            if (fd != AT_FDCWD) {
                ::close(fd);
            }
        }
    } base{baseFd};

    struct stat st {};
    if (::fstatat(baseFd, name, &st, AT_SYMLINK_NOFOLLOW) != 0) {
        return std::nullopt;
    }
    if (!S_ISDIR(st.st_mode)) {
        return allocatedBytes(st); // a file, a symbolic link itself, anything else
    }
    const int fd = openAt(baseFd, name, kDirectoryFlags);
    if (fd < 0) {
        return std::nullopt; // a top-level directory that cannot be listed
    }
    detail::WorkPool::Participation participation;
    auto walk = std::make_shared<Walk>();
    return walk->run(fd);
}

namespace detail {

int directoryWalkFdBudget() { return fdBudget.limit(); }

int setDirectoryWalkFdBudget(int budget) { return fdBudget.setLimit(budget); }

DirectoryWalkStats directoryWalkStats() {
    DirectoryWalkStats stats;
    stats.directories = counters.directories.load();
    stats.chainOpens = counters.chainOpens.load();
    stats.helperGrants = counters.helperGrants.load();
    stats.entryBatches = counters.entryBatches.load();
    stats.keptFdsPeak = counters.keptFdsPeak.load();
    return stats;
}

} // namespace detail

} // namespace kelvo
