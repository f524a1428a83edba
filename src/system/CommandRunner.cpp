#include "system/CommandRunner.h"

#include "model/Utf8.h"
#include "system/Platform.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <optional>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace kelvo {

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

// Once the child has exited, how long a descendant that inherited its output may keep the
// pipes open before the process group is killed and reading stops.
constexpr milliseconds pipeGracePeriod{250};
// While the pipes stay quiet, how often the child is checked for having exited (the interval
// starts at 1 ms and doubles up to this).
constexpr milliseconds longestExitCheckInterval{20};

bool isExecutableFile(const std::string& path) {
    struct stat status {};
    return ::stat(path.c_str(), &status) == 0 && S_ISREG(status.st_mode) && ::access(path.c_str(), X_OK) == 0;
}

class Descriptor {
public:
    Descriptor() = default;
    explicit Descriptor(int fd) : fd_(fd) {}
    ~Descriptor() { reset(); }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    Descriptor& operator=(Descriptor&& other) noexcept {
        reset();
        fd_ = other.fd_;
        other.fd_ = -1;
        return *this;
    }

    int get() const { return fd_; }
    bool isOpen() const { return fd_ >= 0; }
    void reset() {
        if (fd_ >= 0) {
            ::close(fd_);
            fd_ = -1;
        }
    }

private:
    int fd_ = -1;
};

// A close-on-exec descriptor numbered above the standard ones, so that the child's dup2 onto
// 0, 1 or 2 can never be a no-op that leaves close-on-exec set.
int aboveStandardDescriptors(int fd) {
    if (fd > STDERR_FILENO) {
        return fd;
    }
    const int moved = ::fcntl(fd, F_DUPFD_CLOEXEC, STDERR_FILENO + 1);
    ::close(fd);
    return moved;
}

struct Pipe {
    Descriptor readEnd;
    Descriptor writeEnd;
};

// Returns 0 or the errno of the failure.
int makePipe(Pipe& pipe) {
    int fds[2];
#ifdef __APPLE__
    if (::pipe(fds) != 0) {
        return errno;
    }
    ::fcntl(fds[0], F_SETFD, FD_CLOEXEC);
    ::fcntl(fds[1], F_SETFD, FD_CLOEXEC);
#else
    if (::pipe2(fds, O_CLOEXEC) != 0) {
        return errno;
    }
#endif
    pipe.readEnd = Descriptor(aboveStandardDescriptors(fds[0]));
    pipe.writeEnd = Descriptor(aboveStandardDescriptors(fds[1]));
    if (!pipe.readEnd.isOpen() || !pipe.writeEnd.isOpen()) {
        return errno != 0 ? errno : EMFILE;
    }
    return 0;
}

// One output stream of the child: what was kept of it, up to the limit.
struct Stream {
    Descriptor fd;
    std::string kept;
};

void readSome(Stream& stream, std::size_t limit, std::array<char, 65536>& buffer) {
    const ssize_t n = ::read(stream.fd.get(), buffer.data(), buffer.size());
    if (n > 0) {
        const std::size_t room = limit > stream.kept.size() ? limit - stream.kept.size() : 0;
        stream.kept.append(buffer.data(), std::min(room, static_cast<std::size_t>(n)));
    } else if (n == 0 || (errno != EINTR && errno != EAGAIN)) {
        stream.fd.reset();
    }
}

// Whether the child has exited, without reaping it: until it is reaped its process id, and so
// its process group id, cannot be handed to another process.
bool hasExited(pid_t pid) {
    for (;;) {
        siginfo_t info{};
        if (::waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOHANG | WNOWAIT) == 0) {
            return info.si_pid == pid;
        }
        if (errno != EINTR) {
            return true; // no longer ours to wait for (reaped elsewhere)
        }
    }
}

// Reaps the child; absent when it could not be waited for.
std::optional<int> reap(pid_t pid) {
    int status = 0;
    for (;;) {
        if (::waitpid(pid, &status, 0) == pid) {
            return status;
        }
        if (errno != EINTR) {
            return std::nullopt;
        }
    }
}

std::vector<char*> nullTerminated(std::vector<std::string>& strings) {
    std::vector<char*> pointers;
    pointers.reserve(strings.size() + 1);
    for (auto& s : strings) {
        pointers.push_back(s.data());
    }
    pointers.push_back(nullptr);
    return pointers;
}

CommandResult launchFailure(int errnoValue) {
    CommandError error;
    error.kind = CommandError::Kind::launchFailed;
    error.errnoValue = errnoValue;
    return CommandResult::failure(std::move(error));
}

// Starts the child in a process group of its own, standard input from /dev/null, standard
// output and error onto the pipes' write ends, and no other descriptor of ours.
// Returns 0 or the errno of the failure.
int spawnChild(pid_t& pid, const std::string& executable, std::vector<std::string>& arguments,
    std::vector<std::string>& environment, const Pipe& out, const Pipe& err) {
    posix_spawn_file_actions_t actions;
    posix_spawnattr_t attributes;
    int rc = ::posix_spawn_file_actions_init(&actions);
    if (rc != 0) {
        return rc;
    }
    rc = ::posix_spawnattr_init(&attributes);
    if (rc != 0) {
        ::posix_spawn_file_actions_destroy(&actions);
        return rc;
    }

    short flags = POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF;
#ifdef __APPLE__
    flags |= POSIX_SPAWN_CLOEXEC_DEFAULT;
#endif
    sigset_t noSignals;
    sigemptyset(&noSignals);
    sigset_t allSignals; // back to their default actions, whatever this process ignores
    sigfillset(&allSignals);
    sigdelset(&allSignals, SIGKILL);
    sigdelset(&allSignals, SIGSTOP);

    rc = ::posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    if (rc == 0) {
        rc = ::posix_spawn_file_actions_adddup2(&actions, out.writeEnd.get(), STDOUT_FILENO);
    }
    if (rc == 0) {
        rc = ::posix_spawn_file_actions_adddup2(&actions, err.writeEnd.get(), STDERR_FILENO);
    }
#if defined(__GLIBC__) && (__GLIBC__ > 2 || (__GLIBC__ == 2 && __GLIBC_MINOR__ >= 34))
    // Descriptors that other code of this process opened without close-on-exec stay behind too.
    if (rc == 0) {
        rc = ::posix_spawn_file_actions_addclosefrom_np(&actions, STDERR_FILENO + 1);
    }
#endif
    if (rc == 0) {
        rc = ::posix_spawnattr_setflags(&attributes, flags);
    }
    if (rc == 0) {
        rc = ::posix_spawnattr_setpgroup(&attributes, 0);
    }
    if (rc == 0) {
        rc = ::posix_spawnattr_setsigmask(&attributes, &noSignals);
    }
    if (rc == 0) {
        rc = ::posix_spawnattr_setsigdefault(&attributes, &allSignals);
    }
    if (rc == 0) {
        const auto argv = nullTerminated(arguments);
        const auto envp = nullTerminated(environment);
        rc = ::posix_spawn(&pid, executable.c_str(), &actions, &attributes, argv.data(), envp.data());
    }
    ::posix_spawnattr_destroy(&attributes);
    ::posix_spawn_file_actions_destroy(&actions);
    return rc;
}

} // namespace

CommandRunner::CommandRunner(CandidateTable candidates, std::chrono::milliseconds timeout, std::size_t outputLimit)
    : candidates_(std::move(candidates)), timeout_(timeout), outputLimit_(outputLimit) {}

ResolvedTool CommandRunner::resolve(CommandTool tool) const {
    const std::string home = homeDirectory();
    for (const CandidatePath& candidate : candidates_[static_cast<std::size_t>(tool)]) {
        if (candidate.locate) {
            const std::optional<std::string> located = home.empty() ? std::nullopt : candidate.locate(home);
            if (located && isExecutableFile(*located)) {
                return {*located, located->substr(0, located->rfind('/'))};
            }
            continue;
        }
        if (candidate.relativeToHome && home.empty()) {
            continue;
        }
        const std::string path = candidate.relativeToHome ? home + candidate.path : candidate.path;
        if (isExecutableFile(path)) {
            return {path, {}};
        }
    }
    return {};
}

CommandResult CommandRunner::run(const ReadOnlyCommand& command) const {
    const CommandTool tool = toolFor(command);
    const ResolvedTool resolved = resolve(tool);
    const std::string& executable = resolved.executable;
    if (executable.empty()) {
        return CommandResult::failure({CommandError::Kind::toolNotFound, 0, {}, 0});
    }

    std::vector<std::string> arguments = argumentsFor(command);
    arguments.insert(arguments.begin(), executable);
    const std::string home = homeDirectory();
    std::vector<std::string> environment = {
        "PATH=" + (resolved.pathPrefix.empty() ? "" : resolved.pathPrefix + ":") + childSearchPath(),
        "USER=" + userName(),
    };
    for (std::string& value : childEnvironment(command, home)) {
        environment.push_back(std::move(value));
    }

    Pipe outPipe;
    Pipe errPipe;
    if (const int rc = makePipe(outPipe); rc != 0) {
        return launchFailure(rc);
    }
    if (const int rc = makePipe(errPipe); rc != 0) {
        return launchFailure(rc);
    }
    pid_t pid = -1;
    if (const int rc = spawnChild(pid, executable, arguments, environment, outPipe, errPipe); rc != 0) {
        return launchFailure(rc);
    }
    outPipe.writeEnd.reset();
    errPipe.writeEnd.reset();

    std::array<Stream, 2> streams;
    streams[0].fd = std::move(outPipe.readEnd);
    streams[1].fd = std::move(errPipe.readEnd);
    std::array<char, 65536> buffer;

    const auto deadline = Clock::now() + timeout_;
    std::optional<Clock::time_point> exitedAt;
    milliseconds exitCheckInterval{1};
    bool timedOut = false;
    int pollError = 0;
    for (;;) {
        if (!exitedAt && hasExited(pid)) {
            exitedAt = Clock::now();
        }
        const bool pipesOpen = streams[0].fd.isOpen() || streams[1].fd.isOpen();
        if (exitedAt && !pipesOpen) {
            break;
        }
        const auto now = Clock::now();
        if (now >= deadline) {
            timedOut = true;
            break;
        }
        if (exitedAt && now >= *exitedAt + pipeGracePeriod) {
            break; // a descendant holds the pipes
        }
        auto wait = deadline - now;
        if (exitedAt) {
            wait = std::min(wait, *exitedAt + pipeGracePeriod - now);
        } else {
            wait = std::min<Clock::duration>(wait, exitCheckInterval);
            exitCheckInterval = std::min(exitCheckInterval * 2, longestExitCheckInterval);
        }
        const auto waitMs = std::chrono::ceil<milliseconds>(wait).count();

        std::array<pollfd, 2> fds{};
        std::array<Stream*, 2> polled{};
        nfds_t count = 0;
        for (Stream& stream : streams) {
            if (stream.fd.isOpen()) {
                fds[count] = {stream.fd.get(), POLLIN, 0};
                polled[count++] = &stream;
            }
        }
        const int ready = ::poll(fds.data(), count, static_cast<int>(std::clamp<long long>(waitMs, 1, 60'000)));
        if (ready < 0) {
            if (errno == EINTR) {
                continue;
            }
            pollError = errno;
            break;
        }
        for (nfds_t i = 0; i < count; ++i) {
            if (fds[i].revents != 0) {
                readSome(*polled[i], outputLimit_, buffer);
            }
        }
    }

    if (timedOut || pollError != 0 || streams[0].fd.isOpen() || streams[1].fd.isOpen()) {
        // The child is not reaped yet, so both ids still name it and its group.
        ::kill(-pid, SIGKILL);
        ::kill(pid, SIGKILL);
    }
    streams[0].fd.reset();
    streams[1].fd.reset();
    const std::optional<int> status = reap(pid);

    if (timedOut) {
        return CommandResult::failure({CommandError::Kind::timedOut, 0, {}, 0});
    }
    if (pollError != 0) {
        return launchFailure(pollError);
    }
    if (status && WIFEXITED(*status) && WEXITSTATUS(*status) == 0) {
        return CommandResult::success(answerInHome(command, trimWhitespace(repairUtf8(streams[0].kept)), home));
    }
    std::int32_t code = -1; // the status could not be collected
    if (status && WIFEXITED(*status)) {
        code = WEXITSTATUS(*status);
    } else if (status && WIFSIGNALED(*status)) {
        code = 128 + WTERMSIG(*status);
    }
    return CommandResult::failure({CommandError::Kind::failed, code, repairUtf8(streams[1].kept), 0});
}

std::string childSearchPath() {
#ifdef __linux__
    return "/opt/homebrew/bin:/usr/local/bin:/home/linuxbrew/.linuxbrew/bin:/usr/bin:/bin:/usr/sbin:/sbin";
#else
    return "/opt/homebrew/bin:/usr/local/bin:/usr/bin:/bin:/usr/sbin:/sbin";
#endif
}

} // namespace kelvo
