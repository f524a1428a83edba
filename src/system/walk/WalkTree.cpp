#include "system/walk/WalkTree.h"

#include "system/walk/DirectoryListing.h"
#include "system/walk/DirectoryWalk.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <thread>
#include <vector>

#include <sys/resource.h>
#include <unistd.h>

namespace kelvo::walk {

namespace {

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
                std::int64_t peak = counters().keptFdsPeak.load(std::memory_order_relaxed);
                while (used + 1 > peak &&
                       !counters().keptFdsPeak.compare_exchange_weak(peak, used + 1, std::memory_order_relaxed)) {
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

FdBudget& fdBudget() {
    static FdBudget budget;
    return budget;
}

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
            // Links in the leading part are followed, as lstat of the whole path would.
            next = openAt(current, piece.c_str(), passThroughFlags & ~O_NOFOLLOW);
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

WalkCounters& counters() {
    static WalkCounters instance;
    return instance;
}

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
            fdBudget().release();
        }
    }
}

bool tryAcquireFdSlot() { return fdBudget().tryAcquire(); }

int openAt(int dirFd, const char* name, int flags) {
    for (int attempt = 0;; ++attempt) {
        const int fd = ::openat(dirFd, name, flags);
        if (fd >= 0) {
            return fd;
        }
        if (errno == EINTR) {
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

int openBeneath(int baseFd, const std::vector<const std::string*>& names) {
    if (const int fd = openBeneathWithoutLinks(baseFd, names); fd != -2) {
        return fd;
    }
    int current = baseFd;
    for (std::size_t i = 0; i < names.size(); ++i) {
        const int next = openAt(current, names[i]->c_str(), i + 1 == names.size() ? directoryFlags : passThroughFlags);
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

int openNode(const DirNode* node) {
    const DirNode* anchor = node->anchor;
    if (node->parent == anchor) {
        return openAt(anchor->fd, node->name.c_str(), directoryFlags);
    }
    bump(counters().chainOpens);
    std::vector<const std::string*> names;
    for (const DirNode* n = node; n != anchor; n = n->parent) {
        names.push_back(&n->name);
    }
    std::reverse(names.begin(), names.end());
    return openBeneath(anchor->fd, names);
}

bool isOwnAncestor(DirNode* node, const struct stat& own) {
    node->ownDevice = static_cast<std::uint64_t>(own.st_dev);
    node->ownInode = static_cast<std::uint64_t>(own.st_ino);
    const DirNode* parent = node->parent;
    if (parent == nullptr) {
        return false;
    }
    node->belowMount =
        parent->belowMount || node->ownInode != node->listedInode || node->ownDevice != parent->ownDevice;
    if (!node->belowMount) {
        return false;
    }
    for (const DirNode* up = parent; up != nullptr; up = up->parent) {
        if (up->ownInode == node->ownInode && up->ownDevice == node->ownDevice) {
            return true;
        }
    }
    return false;
}

bool statNode(const DirNode* node, struct stat& status) {
    const DirNode* anchor = node->anchor;
    if (node->parent == anchor) {
        return ::fstatat(anchor->fd, node->name.c_str(), &status, AT_SYMLINK_NOFOLLOW) == 0;
    }
    std::vector<const std::string*> names;
    for (const DirNode* n = node->parent; n != anchor; n = n->parent) {
        names.push_back(&n->name);
    }
    std::reverse(names.begin(), names.end());
    const int parentFd = openBeneath(anchor->fd, names);
    const bool found = parentFd >= 0 && ::fstatat(parentFd, node->name.c_str(), &status, AT_SYMLINK_NOFOLLOW) == 0;
    closeFd(parentFd);
    return found;
}

DirNode* childAnchor(DirNode* node) {
    if (node->anchor == node || node->budgeted || (node->budgeted = tryAcquireFdSlot())) {
        return node;
    }
    return node->anchor;
}

void adopt(DirNode* parent, DirNode* anchor, const std::vector<DirNode*>& children) {
    if (children.empty()) {
        return;
    }
    const int count = static_cast<int>(children.size());
    parent->lifeRefs.fetch_add(count, std::memory_order_relaxed);
    anchor->fdUsers.fetch_add(count, std::memory_order_relaxed);
    for (DirNode* child : children) {
        child->parent = parent;
        child->anchor = anchor;
        child->counts = parent->counts;
        child->device = parent->device;
    }
}

TopLevel openTopLevel(const std::string& path, bool follow) {
    TopLevel top;
    if (path.empty() || path.find('\0') != std::string::npos) {
        return top;
    }
    int baseFd = AT_FDCWD;
    std::string lastName;
    const char* name = path.c_str();
    if (path.size() >= PATH_MAX) {
        baseFd = openLongParent(path, lastName);
        if (baseFd < 0) {
            return top;
        }
        name = lastName.c_str();
    }
    top.exists = ::fstatat(baseFd, name, &top.status, follow ? 0 : AT_SYMLINK_NOFOLLOW) == 0;
    if (top.exists && !follow && S_ISDIR(top.status.st_mode)) {
        top.fd = openAt(baseFd, name, directoryFlags);
    }
    if (top.exists) {
        struct stat parent {};
        const std::string::size_type slash = path.find_last_not_of('/') == std::string::npos
                                                 ? std::string::npos
                                                 : path.rfind('/', path.find_last_not_of('/'));
        if (baseFd != AT_FDCWD) {
            top.hasParent = ::fstat(baseFd, &parent) == 0;
        } else if (slash != std::string::npos) {
            top.hasParent = ::stat(slash == 0 ? "/" : path.substr(0, slash).c_str(), &parent) == 0;
        }
        top.parentDevice = static_cast<std::uint64_t>(parent.st_dev);
        top.parentInode = static_cast<std::uint64_t>(parent.st_ino);
    }
    if (baseFd != AT_FDCWD) {
        ::close(baseFd);
    }
    return top;
}

} // namespace kelvo::walk

namespace kelvo::detail {

int directoryWalkFdBudget() { return walk::fdBudget().limit(); }

int setDirectoryWalkFdBudget(int budget) { return walk::fdBudget().setLimit(budget); }

DirectoryWalkStats directoryWalkStats() {
    const walk::WalkCounters& c = walk::counters();
    return {
        c.directories.load(), c.chainOpens.load(), c.helperGrants.load(), c.entryBatches.load(), c.keptFdsPeak.load()};
}

} // namespace kelvo::detail
