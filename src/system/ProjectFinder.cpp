#include "system/ProjectFinder.h"

#include "model/FileTable.h"
#include "system/FileAccessProber.h"
#include "system/WorkPool.h"
#include "system/walk/DirectoryListing.h"
#include "system/walk/WalkScheduler.h"
#include "system/walk/WalkTree.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <string_view>
#include <tuple>
#include <unordered_map>

#include <dirent.h>
#include <sys/stat.h>

// The finder's walk shares the sizer's machinery (WalkScheduler.h, WalkTree.h, DirectoryListing.h):
// directories opened relative to a kept ancestor and never by path, an explicit stack worked on by
// the caller and pool helpers. Per directory it makes one open, one fstat (its device and
// identity) and the listing; an entry costs a status query only where the listing gives no type,
// and a lockfile one for its type and time. A project's path is put together from the node chain
// only when one is found; its lockfile is the nearest one its chain of folders met.

namespace kelvo {

std::string tidyPath(const std::string& path) {
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

namespace {

using walk::DirNode;

bool within(const std::string& path, const std::string& folder) {
    return path.starts_with(folder) && (path.size() == folder.size() || folder == "/" || path[folder.size()] == '/');
}

// A root as the walk reaches it: where it is (links resolved) and what it is.
struct Root {
    std::string resolved;
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
};

// What a name may be to the search, worked out once so that an entry costs one lookup.
struct NameRoles {
    std::uint64_t markerOf = 0; // the kinds it marks, as bits
    std::uint64_t buildOf = 0;  // the kinds it is a build folder of
    int lockfile = -1;          // its index among every kind's lockfile names
    int noted = -1;             // its index among the noted names
};

class Finder final : public walk::Scheduler {
public:
    Finder(const ProjectSearch& search, std::atomic<std::int64_t>* seen);
    FoundProjects run();

private:
    std::int64_t process(const walk::WorkItem& item, walk::Scratch& scratch) override {
        return list(item.node, scratch);
    }
    // Lists one directory (opened through its anchor, or by its resolved path if it is a root) and
    // closes it; the subfolders to walk go to scratch.children. Returns the folders it could not
    // open or list.
    std::int64_t list(DirNode* node, walk::Scratch& scratch);
    // Opens a root's directory; -1 when it is gone or is no longer what was claimed.
    int openRoot(const DirNode* node) const;
    // What the entries of one directory showed.
    struct Listed {
        std::uint64_t markers = 0;       // the kinds marked, as bits
        std::vector<std::string> builds; // directory entries named as some kind's build folder
        std::vector<std::size_t> noted;  // noted files, as indices
        std::int64_t skipped = 0;
    };
    NameRoles rolesOf(const char* name) const;
    void examine(int fd, const char* name, unsigned char type, DirNode& node, Listed& listed, walk::Scratch& scratch);
    // False for a directory met before in this call: an excluded one, a root, or one a bind mount
    // shows twice.
    bool claim(std::uint64_t device, std::uint64_t inode) {
        return claimed_.update(device, inode, [](NoValue&, bool inserted) { return inserted; });
    }
    // Reports the listed folder's build folders; returns them (pointers into listed.builds).
    std::vector<const std::string*> report(const DirNode* node, int fd, const Listed& listed);
    // The lockfile of `kind` in the nearest folder of `chain` (the project's, then those above it up
    // to its root) that holds one; `path` is the project's.
    std::optional<FoundLockfile> nearestLockfile(
        const std::vector<const DirNode*>& chain, std::string path, std::size_t kind) const;

    const ProjectSearch& search_;
    std::atomic<std::int64_t>* const seen_;
    std::unordered_map<std::string_view, NameRoles> roles_;
    std::vector<std::pair<std::string, std::size_t>> suffixMarkers_; // "*.csproj": ".csproj", its kind
    std::vector<std::string> lockfileNames_;                         // every kind's, each once
    std::vector<std::vector<std::size_t>> kindLockfiles_;            // each kind's, as indices above
    std::vector<Root> roots_;                                        // by DirNode::rootIndex
    ShardedFileTable<NoValue, 16> claimed_;
    std::mutex foundMutex_;
    std::vector<FoundProject> found_;
    std::vector<NotedFile> noted_;
};

// The folder's path: the root's name (its whole path) and the names below it.
std::string pathOf(const DirNode* node) {
    std::vector<const DirNode*> chain;
    for (const DirNode* n = node; n != nullptr; n = n->parent) {
        chain.push_back(n);
    }
    std::string path = chain.back()->name;
    for (auto n = chain.rbegin() + 1; n != chain.rend(); ++n) {
        path.append(path.back() == '/' ? "" : "/").append((*n)->name);
    }
    return path;
}

bool isOneOf(const char* name, const std::vector<std::string>& names) {
    return std::any_of(names.begin(), names.end(), [&](const std::string& candidate) { return candidate == name; });
}

Finder::Finder(const ProjectSearch& search, std::atomic<std::int64_t>* seen) : search_(search), seen_(seen) {
    kindLockfiles_.resize(search_.kinds.size());
    for (std::size_t kind = 0; kind < search_.kinds.size() && kind < 64; ++kind) {
        const ProjectKindRule& rule = search_.kinds[kind];
        for (const std::string& marker : rule.markers) {
            if (marker.starts_with('*')) {
                suffixMarkers_.emplace_back(marker.substr(1), kind);
            } else {
                roles_[marker].markerOf |= std::uint64_t{1} << kind;
            }
        }
        for (const BuildFolderRule& build : rule.buildFolders) {
            roles_[build.name].buildOf |= std::uint64_t{1} << kind;
        }
        for (const std::string& lockfile : rule.lockfiles) {
            const auto known = std::find(lockfileNames_.begin(), lockfileNames_.end(), lockfile);
            kindLockfiles_[kind].push_back(static_cast<std::size_t>(known - lockfileNames_.begin()));
            if (known == lockfileNames_.end()) {
                lockfileNames_.push_back(lockfile);
            }
        }
    }
    for (std::size_t i = 0; i < lockfileNames_.size(); ++i) {
        roles_[lockfileNames_[i]].lockfile = static_cast<int>(i);
    }
    for (std::size_t i = 0; i < search_.noted.size(); ++i) {
        roles_[search_.noted[i]].noted = static_cast<int>(i);
    }
}

NameRoles Finder::rolesOf(const char* name) const {
    const std::string_view text(name);
    const auto found = roles_.find(text);
    NameRoles roles = found != roles_.end() ? found->second : NameRoles{};
    for (const auto& [suffix, kind] : suffixMarkers_) {
        if (text.size() > suffix.size() && text.ends_with(suffix)) {
            roles.markerOf |= std::uint64_t{1} << kind;
        }
    }
    return roles;
}

void Finder::examine(
    int fd, const char* name, unsigned char type, DirNode& node, Listed& listed, walk::Scratch& scratch) {
    if (name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0'))) {
        return;
    }
    const NameRoles roles = rolesOf(name);
    listed.markers |= roles.markerOf; // whatever its type, which only the listing tells
    if (roles.lockfile >= 0) {
        struct stat st {};
        // A lockfile is a file: a folder or a link of that name is none.
        if (::fstatat(fd, name, &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(st.st_mode)) {
            if (!node.lockfiles) {
                node.lockfiles = std::make_unique<std::vector<std::pair<std::size_t, double>>>();
            }
            node.lockfiles->emplace_back(static_cast<std::size_t>(roles.lockfile), modificationSeconds(st));
        }
    }
    if (roles.noted >= 0) {
        struct stat st {};
        // A link too: the tool that reads the file follows it (a workspace's shared version file).
        if (::fstatat(fd, name, &st, AT_SYMLINK_NOFOLLOW) == 0 && (S_ISREG(st.st_mode) || S_ISLNK(st.st_mode))) {
            listed.noted.push_back(static_cast<std::size_t>(roles.noted));
        }
    }
    if (roles.markerOf != 0 && type != DT_DIR && type != DT_UNKNOWN) {
        return;
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
    if (roles.buildOf != 0) {
        listed.builds.emplace_back(name); // walked only if no marker claims it
    } else if (name[0] != '.') {          // hidden folders hold what applications keep, with build folders of their own
        auto* child = new DirNode();
        child->name = name;
        scratch.children.push_back(child);
    }
}

int Finder::openRoot(const DirNode* node) const {
    const Root& root = roots_[node->rootIndex];
    const walk::TopLevel top = walk::openTopLevel(root.resolved);
    struct stat own {};
    if (top.fd >= 0 && (::fstat(top.fd, &own) != 0 || static_cast<std::uint64_t>(own.st_dev) != root.device ||
                           static_cast<std::uint64_t>(own.st_ino) != root.inode)) {
        walk::closeFd(top.fd);
        return -1;
    }
    return top.fd;
}

std::int64_t Finder::list(DirNode* node, walk::Scratch& scratch) {
    DirNode* const anchor = node->anchor;
    const bool isRoot = node->parent == nullptr;
    int fd = -1;
    if (isRoot) {
        // Opened only now: a search of thousands of folders keeps few of them open at once.
        fd = openRoot(node);
        if (fd < 0) {
            walk::releaseLife(node);
            return 1;
        }
    } else {
        fd = walk::openNode(node);
        struct stat own {};
        const bool opened = fd >= 0 && ::fstat(fd, &own) == 0;
        // A mount point (as du -x), an excluded folder, a root or a folder met before: not entered.
        if (!opened || static_cast<std::uint64_t>(own.st_dev) != node->device ||
            !claim(static_cast<std::uint64_t>(own.st_dev), static_cast<std::uint64_t>(own.st_ino))) {
            walk::closeFd(fd);
            walk::releaseFdUse(anchor);
            walk::releaseLife(node);
            return opened ? 0 : 1;
        }
    }
    node->fd = fd;
    node->fdUsers.store(1, std::memory_order_relaxed); // this thread's use while listing
    walk::bump(walk::counters().directories);
    Listed listed;
    walk::DirectoryReader reader(fd);
    long n = 0;
    while ((n = reader.next(scratch.listing)) > 0) {
        walk::forEachEntry(scratch.listing.data(), static_cast<std::size_t>(n),
            [&](const char* name, unsigned char type, std::uint64_t) {
                examine(fd, name, type, *node, listed, scratch);
            });
    }
    if (n < 0) {
        ++listed.skipped; // what was listed before the failure still counts
    } else if (seen_ != nullptr) {
        seen_->fetch_add(1, std::memory_order_relaxed);
    }
    if (!listed.noted.empty()) {
        const std::string path = pathOf(node);
        std::lock_guard lock(foundMutex_);
        for (const std::size_t name : listed.noted) {
            noted_.push_back(NotedFile{path, name});
        }
    }
    const std::vector<const std::string*> claimed = report(node, fd, listed);
    // A build folder without its marker beside it (or without what it must hold) is nobody's:
    // walked like any other folder.
    for (const std::string& name : listed.builds) {
        if (std::find(claimed.begin(), claimed.end(), &name) == claimed.end() && name[0] != '.' &&
            !isOneOf(name.c_str(), search_.neverEntered)) {
            auto* child = new DirNode();
            child->name = name;
            scratch.children.push_back(child);
        }
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

std::vector<const std::string*> Finder::report(const DirNode* node, int fd, const Listed& listed) {
    // Each build folder once, for the first kind whose marker stands beside it and whose entry, when
    // it asks for one, the folder holds.
    std::vector<std::tuple<std::size_t, const std::string*, bool>> builds;
    for (const std::string& name : listed.builds) {
        const std::uint64_t kinds = rolesOf(name.c_str()).buildOf & listed.markers;
        for (std::size_t kind = 0; kind < search_.kinds.size() && kind < 64; ++kind) {
            if ((kinds >> kind & 1U) == 0) {
                continue;
            }
            const ProjectKindRule& rule = search_.kinds[kind];
            const auto build = std::find_if(rule.buildFolders.begin(), rule.buildFolders.end(),
                [&](const BuildFolderRule& candidate) { return candidate.name == name; });
            const auto holds = [&](const std::string& entry) {
                struct stat st {};
                return ::fstatat(fd, (name + "/" + entry).c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0;
            };
            if (build->requiredInside.empty() || holds(build->requiredInside)) {
                builds.emplace_back(kind, &name, std::any_of(rule.tags.begin(), rule.tags.end(), holds));
                break;
            }
        }
    }
    if (builds.empty()) {
        return {};
    }
    // The node holds its ancestors alive, up to the root, whose name is its whole path.
    std::vector<const DirNode*> chain;
    for (const DirNode* n = node; n != nullptr; n = n->parent) {
        chain.push_back(n);
    }
    const std::string path = pathOf(node);
    std::vector<FoundProject> found;
    for (const auto& [kind, name, tagged] : builds) {
        found.push_back(
            FoundProject{path, chain.back()->rootIndex, kind, *name, nearestLockfile(chain, path, kind), tagged});
    }
    std::vector<const std::string*> claimed;
    for (const auto& [kind, name, tagged] : builds) {
        claimed.push_back(name);
    }
    std::lock_guard lock(foundMutex_);
    found_.insert(found_.end(), std::make_move_iterator(found.begin()), std::make_move_iterator(found.end()));
    return claimed;
}

std::optional<FoundLockfile> Finder::nearestLockfile(
    const std::vector<const DirNode*>& chain, std::string path, std::size_t kind) const {
    const std::vector<std::size_t>& wanted = kindLockfiles_[kind];
    for (const DirNode* n : chain) {
        std::optional<FoundLockfile> newest;
        for (const auto& [index, modified] :
            n->lockfiles ? *n->lockfiles : std::vector<std::pair<std::size_t, double>>()) {
            const auto own = std::find(wanted.begin(), wanted.end(), index);
            if (own != wanted.end() && (!newest || modified > newest->modified)) {
                newest = FoundLockfile{static_cast<std::size_t>(own - wanted.begin()),
                    path + (path.ends_with('/') ? "" : "/") + lockfileNames_[index], modified};
            }
        }
        if (newest) {
            return newest;
        }
        path.resize(path.size() - std::min(path.size(), n->name.size() + (n->parent != nullptr ? 1 : 0)));
    }
    return std::nullopt;
}

FoundProjects Finder::run() {
    FoundProjects result;
    std::vector<std::string> excluded;
    for (const std::string& given : search_.excluded) {
        if (std::string path = tidyPath(given); !path.empty()) {
            // Claimed by what the path names (a link followed), so that any spelling of it is kept out.
            const walk::TopLevel top = walk::openTopLevel(path, true);
            if (top.exists && S_ISDIR(top.status.st_mode)) {
                claim(static_cast<std::uint64_t>(top.status.st_dev), static_cast<std::uint64_t>(top.status.st_ino));
            }
            excluded.push_back(std::move(path));
        }
    }
    // Every root is claimed before any is walked: one that lies inside another is walked once, as
    // itself, and a root given twice once. None is opened yet.
    std::vector<DirNode*> roots;
    for (std::size_t index = 0; index < search_.roots.size(); ++index) {
        std::string path = tidyPath(search_.roots[index]);
        if (!path.empty() && std::any_of(excluded.begin(), excluded.end(),
                                 [&](const std::string& folder) { return within(path, folder); })) {
            continue;
        }
        // The user's own choice of folder: a home moved to another disk and linked back is searched.
        char* resolved = path.empty() ? nullptr : ::realpath(path.c_str(), nullptr);
        struct stat own {};
        const bool found = resolved != nullptr && ::lstat(resolved, &own) == 0 && S_ISDIR(own.st_mode);
        Root root{resolved != nullptr ? resolved : "", static_cast<std::uint64_t>(own.st_dev),
            static_cast<std::uint64_t>(own.st_ino)};
        std::free(resolved);
        if (!found) {
            ++result.skipped;
            continue;
        }
        if (!claim(root.device, root.inode)) {
            continue;
        }
        auto* node = new DirNode();
        node->anchor = node;
        node->device = root.device;
        node->rootIndex = index;
        // Paths are shown as the user wrote the folder (a home behind a link stays ~), but ".." read
        // by the name alone could name another folder than the system resolves: then as resolved.
        const bool climbs = path == "/.." || path.ends_with("/..") || path.find("/../") != std::string::npos;
        node->name = climbs ? root.resolved : std::move(path);
        roots_.resize(std::max(roots_.size(), index + 1));
        roots_[index] = std::move(root);
        roots.push_back(node);
    }
    // Queued last to first, so that the walk takes them in the order given.
    std::reverse(roots.begin(), roots.end());
    result.skipped += drive(roots, 0);
    std::lock_guard lock(foundMutex_);
    result.projects = std::move(found_);
    std::sort(result.projects.begin(), result.projects.end(), [](const FoundProject& a, const FoundProject& b) {
        return std::tie(a.folder, a.kind, a.buildFolder) < std::tie(b.folder, b.kind, b.buildFolder);
    });
    result.noted = std::move(noted_);
    std::sort(result.noted.begin(), result.noted.end(),
        [](const NotedFile& a, const NotedFile& b) { return std::tie(a.folder, a.name) < std::tie(b.folder, b.name); });
    return result;
}

} // namespace

FoundProjects findProjects(const ProjectSearch& search, std::atomic<std::int64_t>* foldersSeen) {
    detail::WorkPool::Participation participation;
    return std::make_shared<Finder>(search, foldersSeen)->run();
}

} // namespace kelvo
