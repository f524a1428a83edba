#include "system/ProjectFinder.h"

#include "model/FileTable.h"
#include "system/DirectoryListing.h"
#include "system/WalkScheduler.h"
#include "system/WalkTree.h"
#include "system/WorkPool.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>
#include <mutex>
#include <string_view>

#include <dirent.h>
#include <sys/stat.h>

// The finder's walk shares the sizer's machinery (WalkScheduler.h, WalkTree.h, DirectoryListing.h):
// directories opened relative to a kept ancestor and never by path, an explicit stack worked on by
// the caller and pool helpers. Per directory it makes one open, one fstat (its device and
// identity) and the listing; an entry costs a status query only where the listing gives no type.
// A project's path is put together from the node chain only when one is found.

namespace kelvo {

namespace {

using walk::DirNode;

// An absolute path without repeated slashes, "." names or a trailing slash; empty when the path is
// not absolute. ".." stays: without following links it cannot be resolved by the name alone.
std::string tidy(const std::string& path) {
    if (path.empty() || path[0] != '/' || path.find('\0') != std::string::npos) {
        return {};
    }
    std::string out;
    for (std::size_t start = 1; start <= path.size();) {
        const std::size_t end = std::min(path.find('/', start), path.size());
        const std::string_view name(path.data() + start, end - start);
        if (!name.empty() && name != ".") {
            out.append("/").append(name);
        }
        start = end + 1;
    }
    return out.empty() ? "/" : out;
}

bool within(const std::string& path, const std::string& folder) {
    return path.starts_with(folder) && (path.size() == folder.size() || folder == "/" || path[folder.size()] == '/');
}

class Finder final : public walk::Scheduler {
public:
    explicit Finder(std::atomic<std::int64_t>* seen) : seen_(seen) {}
    FoundProjects run(const ProjectSearch& search);

private:
    std::int64_t process(const walk::WorkItem& item, walk::Scratch& scratch) override {
        return list(item.node, scratch);
    }
    // Lists one directory (opened through its anchor unless it is a root) and closes it; the
    // subfolders to walk go to scratch.children. Returns the folders it could not open or list.
    std::int64_t list(DirNode* node, walk::Scratch& scratch);
    // What the entries of one directory showed.
    struct Listed {
        bool manifest = false;
        bool modules = false;
        std::int64_t skipped = 0;
    };
    void examine(int fd, const char* name, unsigned char type, Listed& listed, walk::Scratch& scratch);
    // False for a directory met before in this call: an excluded one, a root, or one a bind mount
    // shows twice.
    bool claim(const struct stat& st) {
        return claimed_.update(static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino),
            [](NoValue&, bool inserted) { return inserted; });
    }
    void report(const DirNode* node);

    std::atomic<std::int64_t>* const seen_;
    ShardedFileTable<NoValue, 16> claimed_;
    std::mutex foundMutex_;
    std::vector<std::string> found_;
};

void Finder::examine(int fd, const char* name, unsigned char type, Listed& listed, walk::Scratch& scratch) {
    if (name[0] == '.') {
        return; // ".", ".." and hidden folders, where applications keep node_modules of their own
    }
    if (std::strcmp(name, "package.json") == 0) {
        listed.manifest = true; // whatever its type, which only the listing tells
        if (type != DT_DIR) {
            return;
        }
    }
    if (type == DT_UNKNOWN) {
        struct stat st {};
        if (::fstatat(fd, name, &st, AT_SYMLINK_NOFOLLOW) != 0) {
            listed.skipped += errno != ENOENT ? 1 : 0; // one that vanished since is no folder lost
            return;
        }
        type = S_ISDIR(st.st_mode) ? DT_DIR : DT_REG;
    }
    if (type != DT_DIR) {
        return; // links are never followed, whatever they point at
    }
    if (std::strcmp(name, "node_modules") == 0) {
        listed.modules = true; // never entered
        return;
    }
    auto* child = new DirNode();
    child->name = name;
    scratch.children.push_back(child);
}

std::int64_t Finder::list(DirNode* node, walk::Scratch& scratch) {
    DirNode* const anchor = node->anchor;
    const bool isRoot = anchor == node;
    if (!isRoot) {
        const int fd = walk::openNode(node);
        struct stat own {};
        const bool opened = fd >= 0 && ::fstat(fd, &own) == 0;
        // A mount point (as du -x), an excluded folder, a root or a folder met before: not entered.
        if (!opened || static_cast<std::uint64_t>(own.st_dev) != node->device || !claim(own)) {
            walk::closeFd(fd);
            walk::releaseFdUse(anchor);
            walk::releaseLife(node);
            return opened ? 0 : 1;
        }
        node->fd = fd;
        node->fdUsers.store(1, std::memory_order_relaxed); // this thread's use while listing
    }
    walk::bump(walk::counters().directories);
    const int fd = node->fd;
    Listed listed;
    walk::DirectoryReader reader(fd);
    long n = 0;
    while ((n = reader.next(scratch.listing)) > 0) {
        walk::forEachEntry(scratch.listing.data(), static_cast<std::size_t>(n),
            [&](const char* name, unsigned char type, std::uint64_t) { examine(fd, name, type, listed, scratch); });
    }
    if (n < 0) {
        ++listed.skipped; // what was listed before the failure still counts
    } else if (seen_ != nullptr) {
        seen_->fetch_add(1, std::memory_order_relaxed);
    }
    if (listed.manifest && listed.modules) {
        report(node);
    }
    if (!scratch.children.empty()) {
        walk::adopt(node, walk::childAnchor(node), scratch.children);
    }
    walk::releaseFdUse(node); // closes unless queued children need the descriptor
    if (!isRoot) {
        walk::releaseFdUse(anchor);
    }
    walk::releaseLife(node);
    return listed.skipped;
}

void Finder::report(const DirNode* node) {
    // The node holds its ancestors alive, up to the root, whose name is its whole path.
    std::vector<const std::string*> names;
    for (const DirNode* n = node; n != nullptr; n = n->parent) {
        names.push_back(&n->name);
    }
    std::string path = *names.back();
    for (auto name = names.rbegin() + 1; name != names.rend(); ++name) {
        path.append(path.back() == '/' ? "" : "/").append(**name);
    }
    std::lock_guard lock(foundMutex_);
    found_.push_back(std::move(path));
}

FoundProjects Finder::run(const ProjectSearch& search) {
    FoundProjects result;
    std::vector<std::string> excluded;
    for (const std::string& given : search.excluded) {
        if (std::string path = tidy(given); !path.empty()) {
            // Claimed by what the path names (a link followed), so that any spelling of it is kept out.
            const walk::TopLevel top = walk::openTopLevel(path, true);
            if (top.exists && S_ISDIR(top.status.st_mode)) {
                claim(top.status);
            }
            excluded.push_back(std::move(path));
        }
    }
    // Every root is claimed before any is walked: one that lies inside another is walked once, as
    // itself, and a root given twice once.
    std::vector<DirNode*> roots;
    for (const std::string& given : search.roots) {
        std::string path = tidy(given);
        if (!path.empty() && std::any_of(excluded.begin(), excluded.end(),
                                 [&](const std::string& folder) { return within(path, folder); })) {
            continue;
        }
        const walk::TopLevel top = walk::openTopLevel(path); // a link is no directory here
        struct stat own {};
        if (top.fd < 0 || ::fstat(top.fd, &own) != 0) {
            walk::closeFd(top.fd);
            ++result.skipped;
            continue;
        }
        if (!claim(own)) {
            walk::closeFd(top.fd);
            continue;
        }
        auto* root = new DirNode();
        root->anchor = root;
        root->fd = top.fd;
        root->device = static_cast<std::uint64_t>(own.st_dev);
        root->name = std::move(path);
        root->fdUsers.store(1, std::memory_order_relaxed);
        root->lifeRefs.store(2, std::memory_order_relaxed); // the call's reference, until the walk is over
        roots.push_back(root);
    }
    walk::Scratch& scratch = walk::threadScratch();
    std::vector<DirNode*> children;
    std::int64_t skipped = 0;
    for (DirNode* root : roots) {
        scratch.children.clear();
        skipped += list(root, scratch);
        children.insert(children.end(), scratch.children.begin(), scratch.children.end());
    }
    result.skipped += drive(children, skipped);
    for (DirNode* root : roots) {
        walk::releaseLife(root);
    }
    std::lock_guard lock(foundMutex_);
    result.folders = std::move(found_);
    std::sort(result.folders.begin(), result.folders.end()); // each is there once: its folder was claimed
    return result;
}

} // namespace

FoundProjects findProjects(const ProjectSearch& search, std::atomic<std::int64_t>* foldersSeen) {
    detail::WorkPool::Participation participation;
    return std::make_shared<Finder>(foldersSeen)->run(search);
}

} // namespace kelvo
