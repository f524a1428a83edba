#include "system/FileAccessProber.h"

#include <sys/stat.h>

namespace kelvo {

namespace {

double seconds(const struct timespec& time) {
    return static_cast<double>(time.tv_sec) + static_cast<double>(time.tv_nsec) / 1e9;
}

} // namespace

std::optional<FileTimes> FileManagerFileAccessProber::fileTimes(const std::string& path) const {
    struct stat status {};
    if (::stat(path.c_str(), &status) != 0) {
        return std::nullopt;
    }
#ifdef __APPLE__
    return FileTimes{seconds(status.st_atimespec), seconds(status.st_mtimespec)};
#else
    return FileTimes{seconds(status.st_atim), seconds(status.st_mtim)};
#endif
}

} // namespace kelvo
