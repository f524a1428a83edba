#include "system/Platform.h"

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include <dirent.h>
#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#ifdef __APPLE__
#include <climits>
#include <mach-o/dyld.h>
#endif

namespace kelvo {

namespace {

// The password-database entry of the current user, copied out (getpwuid_r keeps this thread-safe).
struct PasswordEntry {
    std::string name;
    std::string directory;
};

std::optional<PasswordEntry> currentUserEntry() {
    long suggested = ::sysconf(_SC_GETPW_R_SIZE_MAX);
    std::vector<char> buffer(suggested > 0 ? static_cast<std::size_t>(suggested) : 4096);
    for (;;) {
        struct passwd entry {};
        struct passwd* found = nullptr;
        const int rc = ::getpwuid_r(::getuid(), &entry, buffer.data(), buffer.size(), &found);
        if (rc == ERANGE && buffer.size() < (1u << 20)) {
            buffer.resize(buffer.size() * 2);
            continue;
        }
        if (rc == EINTR) {
            continue;
        }
        if (rc != 0 || found == nullptr) {
            return std::nullopt;
        }
        return PasswordEntry{found->pw_name ? found->pw_name : "", found->pw_dir ? found->pw_dir : ""};
    }
}

std::string withoutTrailingSlashes(std::string path) {
    while (path.size() > 1 && path.back() == '/') {
        path.pop_back();
    }
    return path;
}

std::string parentDirectory(const std::string& path) {
    const auto slash = path.rfind('/');
    if (slash == std::string::npos) {
        return ".";
    }
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string executablePath() {
#ifdef __APPLE__
    std::uint32_t size = 0;
    ::_NSGetExecutablePath(nullptr, &size);
    std::string path(size, '\0');
    if (::_NSGetExecutablePath(path.data(), &size) != 0) {
        return {};
    }
    path.resize(std::char_traits<char>::length(path.c_str()));
    char resolved[PATH_MAX];
    if (::realpath(path.c_str(), resolved) != nullptr) {
        return resolved;
    }
    return path;
#else
    std::string path(256, '\0');
    for (;;) {
        const ssize_t n = ::readlink("/proc/self/exe", path.data(), path.size());
        if (n < 0) {
            return {};
        }
        if (static_cast<std::size_t>(n) < path.size()) {
            path.resize(static_cast<std::size_t>(n));
            return path;
        }
        path.resize(path.size() * 2);
    }
#endif
}

} // namespace

std::string homeDirectory() {
    const char* home = std::getenv("HOME");
    if (home != nullptr && home[0] == '/') {
        return withoutTrailingSlashes(home);
    }
    if (auto entry = currentUserEntry(); entry && !entry->directory.empty()) {
        return withoutTrailingSlashes(entry->directory);
    }
    return {};
}

std::string userName() {
    if (auto entry = currentUserEntry(); entry && !entry->name.empty()) {
        return entry->name;
    }
    for (const char* variable : {"USER", "LOGNAME"}) {
        if (const char* value = std::getenv(variable); value != nullptr && value[0] != '\0') {
            return value;
        }
    }
    return {};
}

std::string resourceDirectory() {
    const std::string executable = executablePath();
    if (executable.empty()) {
        return {};
    }
    const std::string directory = parentDirectory(executable);
#ifdef __APPLE__
    const std::string bundleMacOS = "/Contents/MacOS";
    if (directory.size() > bundleMacOS.size() &&
        directory.compare(directory.size() - bundleMacOS.size(), bundleMacOS.size(), bundleMacOS) == 0) {
        return directory.substr(0, directory.size() - std::string("/MacOS").size()) + "/Resources";
    }
#endif
    // Said without "..", since it is named in the message when the resources are missing.
    const std::string prefix = parentDirectory(directory);
    return (prefix == "/" ? "" : prefix) + "/share/kelvo";
}

std::optional<std::string> missingResource(const std::string& directory, const std::vector<std::string>& names) {
    for (const std::string& name : names) {
        struct stat status {};
        if (::stat((directory + "/" + name).c_str(), &status) != 0 || !S_ISREG(status.st_mode)) {
            return name;
        }
    }
    return std::nullopt;
}

bool pathExists(const std::string& path) {
    struct stat status {};
    return ::stat(path.c_str(), &status) == 0;
}

bool isDirectory(const std::string& path) {
    struct stat status {};
    return ::stat(path.c_str(), &status) == 0 && S_ISDIR(status.st_mode);
}

bool isRealDirectory(const std::string& path) {
    struct stat status {};
    return ::lstat(path.c_str(), &status) == 0 && S_ISDIR(status.st_mode);
}

bool isRegularFile(const std::string& path) {
    struct stat status {};
    return ::lstat(path.c_str(), &status) == 0 && S_ISREG(status.st_mode);
}

bool joinsWithoutLinks(const std::string& parent, std::string_view name) {
    std::string path = parent;
    std::size_t start = 0;
    for (std::size_t slash = name.find('/'); slash != std::string_view::npos; slash = name.find('/', start)) {
        path += "/";
        path += name.substr(start, slash - start);
        struct stat status {};
        if (::lstat(path.c_str(), &status) != 0) {
            return true; // nothing there to lead anywhere; measuring finds nothing either
        }
        if (!S_ISDIR(status.st_mode)) {
            return false;
        }
        start = slash + 1;
    }
    return true;
}

bool isEntryNotLink(const std::string& path) {
    struct stat status {};
    return ::lstat(path.c_str(), &status) == 0 && !S_ISLNK(status.st_mode);
}

std::optional<std::string> readLink(const std::string& path) {
    std::string target(256, '\0');
    for (;;) {
        const ssize_t length = ::readlink(path.c_str(), target.data(), target.size());
        if (length < 0) {
            return std::nullopt;
        }
        if (static_cast<std::size_t>(length) < target.size()) {
            target.resize(static_cast<std::size_t>(length));
            return target;
        }
        if (target.size() >= (1u << 20)) {
            return std::nullopt;
        }
        target.resize(target.size() * 4);
    }
}

std::optional<std::vector<std::string>> listDirectory(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) {
        return std::nullopt;
    }
    DIR* directory = ::fdopendir(fd);
    if (directory == nullptr) {
        ::close(fd);
        return std::nullopt;
    }
    std::vector<std::string> names;
    for (;;) {
        errno = 0;
        const dirent* entry = ::readdir(directory);
        if (entry == nullptr) {
            break;
        }
        const std::string name = entry->d_name;
        if (name != "." && name != "..") {
            names.push_back(name);
        }
    }
    const bool failed = errno != 0;
    ::closedir(directory);
    if (failed) {
        return std::nullopt;
    }
    return names;
}

std::optional<std::string> readFile(const std::string& path, std::size_t maxBytes) {
    // O_NONBLOCK: opening a FIFO or a device must never wait; only regular files are read.
    int flags = O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY;
#ifdef O_NOATIME
    // Reading leaves the access time alone where the system lets us (files we own), so that a
    // scan changes nothing, not even what tells when a package was last used.
    int fd = ::open(path.c_str(), flags | O_NOATIME);
    if (fd < 0 && errno == EPERM) {
        fd = ::open(path.c_str(), flags);
    }
#else
    const int fd = ::open(path.c_str(), flags);
#endif
    if (fd < 0) {
        return std::nullopt;
    }
    struct stat status {};
    if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode) || status.st_size < 0 ||
        static_cast<std::uint64_t>(status.st_size) > maxBytes) {
        ::close(fd);
        return std::nullopt;
    }
    std::string content;
    content.reserve(static_cast<std::size_t>(status.st_size));
    char buffer[65536];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0 || content.size() + static_cast<std::size_t>(n) > maxBytes) {
            ::close(fd);
            return std::nullopt;
        }
        if (n == 0) {
            break;
        }
        content.append(buffer, static_cast<std::size_t>(n));
    }
    ::close(fd);
    return content;
}

} // namespace kelvo
