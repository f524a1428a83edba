#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

namespace kelvo {

class DirectorySizing {
public:
    virtual ~DirectorySizing() = default;
    // Allocated bytes of a file or a whole tree (hard links counted once per call, symbolic
    // links never followed); absent when the path is missing or cannot be examined. Blocking.
    virtual std::optional<std::int64_t> size(const std::string& path) const = 0;
};

// Identifies one file on one device.
struct InodeKey {
    std::int32_t dev = 0;
    std::uint64_t ino = 0;
    friend bool operator==(const InodeKey&, const InodeKey&) = default;
};

struct InodeKeyHash {
    std::size_t operator()(const InodeKey& key) const noexcept {
        return std::hash<std::uint64_t>{}(key.ino * 0x9E3779B97F4A7C15ULL ^ static_cast<std::uint32_t>(key.dev));
    }
};

class FileManagerDirectorySizer final : public DirectorySizing {
public:
    std::optional<std::int64_t> size(const std::string& path) const override;
};

} // namespace kelvo
