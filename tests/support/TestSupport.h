#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace kelvo::test {

// A fresh directory under $TMPDIR (or /tmp), removed with everything in it on destruction,
// including subdirectories a test made unreadable.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& path() const { return path_; }
    std::string operator/(const std::string& relative) const { return path_ + "/" + relative; }

private:
    std::string path_;
};

void makeDirs(const std::string& path);
void writeFile(const std::string& path, const std::string& content); // makes the parents
void writeScript(const std::string& path, const std::string& body);  // an executable /bin/sh script
void removeTree(const std::string& path);
void age(const std::string& path, double daysAgo); // both times of the entry itself (a link is not followed)

// `du -s -B1 PATH`, and the total line of one `du -s -B1 -c PATHS...` (every file once across
// them); absent if du fails.
std::optional<std::int64_t> duBytes(const std::string& path);
std::optional<std::int64_t> duTotal(const std::vector<std::string>& paths);

// The words a real /bin/sh makes of `command` (run as `printf '%s\0' <command>` in an empty
// directory).
std::vector<std::string> shellWords(const std::string& command);

// Runs argv (no shell) and returns its standard output; exit status in *status when given.
std::string runCapture(const std::vector<std::string>& argv, int* status = nullptr);

// Sets an environment variable for the lifetime of the guard.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const std::string& value);
    ~ScopedEnv();
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    std::string name_;
    std::optional<std::string> old_;
};

} // namespace kelvo::test
