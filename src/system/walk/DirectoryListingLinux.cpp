#include "system/walk/DirectoryListing.h"

#include <atomic>
#include <cerrno>
#include <climits>

#include <sys/syscall.h>
#include <unistd.h>

#if __has_include(<linux/openat2.h>) && defined(SYS_openat2)
#include <linux/openat2.h>
#define KELVO_HAVE_OPENAT2 1
#endif

namespace kelvo::walk {

static_assert(sizeof(EntryRecord) >= 19, "the record layout of getdents64");

DirectoryReader::DirectoryReader(int fd) : fd_(fd) {}

DirectoryReader::~DirectoryReader() = default;

long DirectoryReader::next(std::vector<char>& buffer) {
    for (;;) {
        const long n = ::syscall(SYS_getdents64, fd_, buffer.data(), buffer.size());
        if (n < 0 && errno == EINTR) {
            continue;
        }
        return n < 0 ? -1 : n;
    }
}

#ifdef KELVO_HAVE_OPENAT2
namespace {
std::atomic<bool> openat2Usable{true};
}

int openBeneathWithoutLinks(int baseFd, const std::vector<const std::string*>& names) {
    if (!openat2Usable.load(std::memory_order_relaxed)) {
        return -2;
    }
    // As few calls as PATH_MAX allows; every piece is resolved without following a link.
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
        how.flags = static_cast<std::uint64_t>(j == names.size() ? directoryFlags : passThroughFlags);
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
#else
int openBeneathWithoutLinks(int, const std::vector<const std::string*>&) { return -2; }
#endif

} // namespace kelvo::walk
