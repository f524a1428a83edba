#include "support/TestSupport.h"

#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <stdexcept>

#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace kelvo::test {

namespace fs = std::filesystem;

TempDir::TempDir() {
    const char* base = std::getenv("TMPDIR");
    std::string pattern = std::string(base && *base ? base : "/tmp") + "/kelvo-test-XXXXXX";
    if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    path_ = pattern;
}

TempDir::~TempDir() { removeTree(path_); }

void removeTree(const std::string& path) {
    // Folders a test made unreadable become readable again first.
    std::error_code error;
    for (auto it = fs::recursive_directory_iterator(path, fs::directory_options::skip_permission_denied, error);
         it != fs::recursive_directory_iterator(); it.increment(error))
        if (it->is_directory(error) && !it->is_symlink(error))
            fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, error);
    fs::remove_all(path, error);
}

void makeDirs(const std::string& path) { fs::create_directories(path); }

void age(const std::string& path, double daysAgo) {
    const timespec when{static_cast<std::time_t>(static_cast<double>(std::time(nullptr)) - daysAgo * 86400), 0};
    const timespec both[2] = {when, when};
    if (::utimensat(AT_FDCWD, path.c_str(), both, AT_SYMLINK_NOFOLLOW) != 0)
        throw std::runtime_error("cannot age " + path);
}

void writeFile(const std::string& path, const std::string& content) {
    fs::create_directories(fs::path(path).parent_path());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (!(out << content)) throw std::runtime_error("cannot write " + path);
}

void writeScript(const std::string& path, const std::string& body) {
    writeFile(path, "#!/bin/sh\n" + body);
    fs::permissions(path, fs::perms::owner_all | fs::perms::group_exec | fs::perms::others_exec);
}

std::string runCapture(const std::vector<std::string>& argv, int* status) {
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) throw std::runtime_error("pipe failed");
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[1], 1);
    std::vector<char*> args;
    for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    pid_t pid = 0;
    const int rc = ::posix_spawn(&pid, args[0], &actions, nullptr, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(fds[1]);
    std::string out;
    char buffer[65536];
    for (ssize_t n; rc == 0 && (n = ::read(fds[0], buffer, sizeof buffer)) != 0;)
        if (n > 0) out.append(buffer, static_cast<std::size_t>(n));
    ::close(fds[0]);
    int wstatus = 0;
    while (rc == 0 && ::waitpid(pid, &wstatus, 0) < 0) {
    }
    if (status) *status = rc != 0 ? -1 : WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : 128 + WTERMSIG(wstatus);
    return out;
}

std::optional<std::int64_t> duTotal(const std::vector<std::string>& paths) {
    std::vector<std::string> argv{"/usr/bin/du", "-s", "-B1", "-c"};
    argv.insert(argv.end(), paths.begin(), paths.end());
    int status = 0;
    const std::string out = runCapture(argv, &status);
    const std::size_t last = out.rfind('\n', out.size() > 1 ? out.size() - 2 : 0);
    if (status != 0 || out.empty()) return std::nullopt;
    return std::stoll(out.substr(last == std::string::npos ? 0 : last + 1));
}

std::optional<std::int64_t> duBytes(const std::string& path) { return duTotal({path}); }

std::vector<std::string> shellWords(const std::string& command) {
    TempDir empty;
    const std::string out = runCapture({"/bin/sh", "-c", "cd '" + empty.path() + "' && printf '%s\\0' " + command});
    std::vector<std::string> words;
    for (std::size_t start = 0, end; (end = out.find('\0', start)) != std::string::npos; start = end + 1)
        words.push_back(out.substr(start, end - start));
    return words;
}

ScopedEnv::ScopedEnv(const char* name, const std::string& value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old;
    ::setenv(name, value.c_str(), 1);
}

ScopedEnv::~ScopedEnv() { old_ ? ::setenv(name_.c_str(), old_->c_str(), 1) : ::unsetenv(name_.c_str()); }

} // namespace kelvo::test
