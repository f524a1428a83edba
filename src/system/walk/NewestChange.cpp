#include "system/walk/NewestChange.h"

#include "system/FileAccessProber.h"
#include "system/walk/DirectoryListing.h"
#include "system/walk/WalkScheduler.h"
#include "system/walk/WalkTree.h"

#include <algorithm>
#include <deque>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

namespace kelvo {

namespace {

// An open directory descriptor, closed on leaving.
struct OpenFolder {
    int fd = -1;
    OpenFolder() = default;
    explicit OpenFolder(int descriptor) : fd(descriptor) {}
    OpenFolder(const OpenFolder&) = delete;
    OpenFolder& operator=(const OpenFolder&) = delete;
    ~OpenFolder() { walk::closeFd(fd); }
};

} // namespace

std::optional<double> newestChange(const std::string& folder, const ChangeSearch& search) {
    const walk::TopLevel top = walk::openTopLevel(folder);
    const OpenFolder root(top.fd);
    if (root.fd < 0) {
        return std::nullopt;
    }
    std::optional<double> newest;
    const auto consider = [&](const struct stat& status) {
        if (const double at = modificationSeconds(status); !newest || at > *newest) {
            newest = at;
        }
    };
    for (const std::string& path : search.also) {
        struct stat status {};
        if (::fstatat(root.fd, path.c_str(), &status, AT_SYMLINK_NOFOLLOW) == 0) {
            consider(status);
        }
    }
    // Level by level, each folder opened from the root by its names, none of them a link.
    std::deque<std::pair<std::vector<std::string>, int>> queue{{{}, 1}};
    std::size_t looked = 0;
    std::vector<char>& buffer = walk::threadScratch().listing;
    while (!queue.empty() && looked < search.entryLimit) {
        // Plain names, not a structured binding: clang 14 cannot capture those in a lambda.
        const std::vector<std::string> names = std::move(queue.front().first);
        const int level = queue.front().second;
        queue.pop_front();
        std::vector<const std::string*> chain;
        for (const std::string& name : names) {
            chain.push_back(&name);
        }
        const OpenFolder opened(chain.empty() ? -1 : walk::openBeneath(root.fd, chain));
        const int fd = chain.empty() ? root.fd : opened.fd;
        if (fd < 0) {
            continue;
        }
        walk::DirectoryReader reader(fd);
        for (long n = 0; looked < search.entryLimit && (n = reader.next(buffer)) > 0;) {
            walk::forEachEntry(
                buffer.data(), static_cast<std::size_t>(n), [&](const char* name, unsigned char, std::uint64_t) {
                    if (name[0] == '.' || looked >= search.entryLimit ||
                        std::find(search.skipped.begin(), search.skipped.end(), name) != search.skipped.end()) {
                        return;
                    }
                    ++looked;
                    struct stat status {};
                    if (::fstatat(fd, name, &status, AT_SYMLINK_NOFOLLOW) != 0) {
                        return;
                    }
                    consider(status);
                    if (S_ISDIR(status.st_mode) && level < search.depth) {
                        std::vector<std::string> below = names;
                        below.emplace_back(name);
                        queue.emplace_back(std::move(below), level + 1);
                    }
                });
        }
    }
    return newest;
}

} // namespace kelvo
