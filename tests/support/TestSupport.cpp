#include "support/TestSupport.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <stdexcept>

#include <fcntl.h>
#include <ftw.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace kelvo::test {

namespace {

int makeWritable(const char* path, const struct stat*, int type, struct FTW*) {
    if (type == FTW_D || type == FTW_DNR || type == FTW_DP) {
        ::chmod(path, 0700);
    }
    return 0;
}

int removeEntry(const char* path, const struct stat*, int, struct FTW*) {
    ::remove(path);
    return 0;
}

} // namespace

TempDir::TempDir() {
    const char* base = std::getenv("TMPDIR");
    std::string pattern = std::string(base && *base ? base : "/tmp") + "/kelvo-test-XXXXXX";
    if (::mkdtemp(pattern.data()) == nullptr) {
        throw std::runtime_error("mkdtemp failed");
    }
    path_ = pattern;
}

TempDir::~TempDir() { removeTree(path_); }

void removeTree(const std::string& path) {
    // Unreadable directories first become readable again, then everything goes depth-first.
    ::nftw(path.c_str(), makeWritable, 64, FTW_PHYS);
    ::nftw(path.c_str(), makeWritable, 64, FTW_PHYS);
    ::nftw(path.c_str(), removeEntry, 64, FTW_PHYS | FTW_DEPTH);
}

void makeDirs(const std::string& path) {
    for (std::size_t i = 1; i <= path.size(); ++i) {
        if (i == path.size() || path[i] == '/') {
            const std::string prefix = path.substr(0, i);
            if (::mkdir(prefix.c_str(), 0755) != 0 && errno != EEXIST) {
                throw std::runtime_error("mkdir failed: " + prefix + ": " + std::strerror(errno));
            }
        }
    }
}

void writeFile(const std::string& path, const std::string& content) {
    const auto slash = path.rfind('/');
    if (slash != std::string::npos && slash > 0) {
        makeDirs(path.substr(0, slash));
    }
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) {
        throw std::runtime_error("open failed: " + path + ": " + std::strerror(errno));
    }
    std::size_t done = 0;
    while (done < content.size()) {
        const ssize_t n = ::write(fd, content.data() + done, content.size() - done);
        if (n <= 0) {
            ::close(fd);
            throw std::runtime_error("write failed: " + path);
        }
        done += static_cast<std::size_t>(n);
    }
    ::close(fd);
}

void writeScript(const std::string& path, const std::string& body) {
    writeFile(path, "#!/bin/sh\n" + body);
    ::chmod(path.c_str(), 0755);
}

std::string runCapture(const std::vector<std::string>& argv, int* status) {
    int pipeFds[2];
    if (::pipe2(pipeFds, O_CLOEXEC) != 0) {
        throw std::runtime_error("pipe failed");
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipeFds[1], 1);
    std::vector<char*> args;
    for (const auto& a : argv) {
        args.push_back(const_cast<char*>(a.c_str()));
    }
    args.push_back(nullptr);
    pid_t pid = 0;
    const int rc = ::posix_spawn(&pid, args[0], &actions, nullptr, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(pipeFds[1]);
    std::string out;
    if (rc == 0) {
        char buffer[65536];
        ssize_t n;
        while ((n = ::read(pipeFds[0], buffer, sizeof buffer)) > 0 || (n < 0 && errno == EINTR)) {
            if (n > 0) {
                out.append(buffer, static_cast<std::size_t>(n));
            }
        }
    }
    ::close(pipeFds[0]);
    int wstatus = 0;
    if (rc == 0) {
        while (::waitpid(pid, &wstatus, 0) < 0 && errno == EINTR) {
        }
    }
    if (status) {
        *status = rc != 0 ? -1 : (WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : 128 + WTERMSIG(wstatus));
    }
    return out;
}

std::optional<std::int64_t> duBytes(const std::string& path) {
    int status = 0;
    const std::string out = runCapture({"/usr/bin/du", "-s", "-B1", path}, &status);
    if (status != 0 || out.empty()) {
        return std::nullopt;
    }
    return std::stoll(out);
}

std::optional<std::int64_t> duTotal(const std::vector<std::string>& paths) {
    std::vector<std::string> argv{"/usr/bin/du", "-s", "-B1", "-c"};
    argv.insert(argv.end(), paths.begin(), paths.end());
    int status = 0;
    const std::string out = runCapture(argv, &status);
    const std::size_t last = out.rfind('\n', out.size() > 1 ? out.size() - 2 : 0);
    if (status != 0 || out.empty()) {
        return std::nullopt;
    }
    return std::stoll(out.substr(last == std::string::npos ? 0 : last + 1));
}

std::vector<std::string> shellWords(const std::string& command) {
    TempDir empty;
    const std::string script = "cd '" + empty.path() + "' && printf '%s\\0' " + command;
    const std::string out = runCapture({"/bin/sh", "-c", script});
    std::vector<std::string> words;
    std::string current;
    for (char c : out) {
        if (c == '\0') {
            words.push_back(current);
            current.clear();
        } else {
            current.push_back(c);
        }
    }
    return words;
}

ScopedEnv::ScopedEnv(const char* name, const std::string& value) : name_(name) {
    if (const char* old = std::getenv(name)) {
        old_ = old;
    }
    ::setenv(name, value.c_str(), 1);
}

ScopedEnv::~ScopedEnv() {
    if (old_) {
        ::setenv(name_.c_str(), old_->c_str(), 1);
    } else {
        ::unsetenv(name_.c_str());
    }
}

} // namespace kelvo::test
