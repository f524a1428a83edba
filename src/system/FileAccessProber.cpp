#include "system/FileAccessProber.h"

#include <sys/stat.h>
#if defined(__APPLE__)
#include <sys/mount.h>
#else
#include <sys/statvfs.h>
#endif

namespace kelvo {

namespace {

double seconds(const struct timespec& time) {
    return static_cast<double>(time.tv_sec) + static_cast<double>(time.tv_nsec) / 1e9;
}

#if defined(__APPLE__)
const struct timespec& accessTime(const struct stat& status) { return status.st_atimespec; }
const struct timespec& modificationTime(const struct stat& status) { return status.st_mtimespec; }
#else
const struct timespec& accessTime(const struct stat& status) { return status.st_atim; }
const struct timespec& modificationTime(const struct stat& status) { return status.st_mtim; }
#endif

} // namespace

double modificationSeconds(const struct stat& status) { return seconds(modificationTime(status)); }

std::optional<FileTimes> FileManagerFileAccessProber::fileTimes(const std::string& path) const {
    struct stat status {};
    if (::stat(path.c_str(), &status) != 0) {
        return std::nullopt;
    }
    return FileTimes{seconds(accessTime(status)), modificationSeconds(status)};
}

std::optional<double> FileManagerFileAccessProber::entryModified(const std::string& path) const {
    struct stat status {};
    if (::lstat(path.c_str(), &status) != 0) {
        return std::nullopt;
    }
    return modificationSeconds(status);
}

bool FileManagerFileAccessProber::recordsAccessTimes(const std::string& path) const {
#if defined(__APPLE__)
    struct statfs status {};
    return ::statfs(path.c_str(), &status) == 0 && (status.f_flags & MNT_NOATIME) == 0;
#else
    struct statvfs status {};
    return ::statvfs(path.c_str(), &status) == 0 && (status.f_flag & ST_NOATIME) == 0;
#endif
}

} // namespace kelvo
