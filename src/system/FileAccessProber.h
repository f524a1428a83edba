#pragma once

#include <optional>
#include <string>

struct stat;

namespace kelvo {

// A status's modification time in seconds since 1970, with nanoseconds. The field that holds it is
// named differently on Linux and macOS; code outside the system layer reads it only through this.
double modificationSeconds(const struct stat& status);

struct FileTimes {
    double accessed = 0; // seconds since 1970, with nanoseconds
    double modified = 0;
};

class FileAccessProbing {
public:
    virtual ~FileAccessProbing() = default;
    // Follows symbolic links; absent when the status cannot be read.
    virtual std::optional<FileTimes> fileTimes(const std::string& path) const = 0;
    // The modification time of the entry itself: a symbolic link's own, not its target's.
    virtual std::optional<double> entryModified(const std::string& path) const = 0;
    // Whether the file system holding `path` records access times (it is not mounted noatime).
    virtual bool recordsAccessTimes(const std::string& path) const = 0;
};

class FileManagerFileAccessProber final : public FileAccessProbing {
public:
    std::optional<FileTimes> fileTimes(const std::string& path) const override;
    std::optional<double> entryModified(const std::string& path) const override;
    bool recordsAccessTimes(const std::string& path) const override;
};

} // namespace kelvo
