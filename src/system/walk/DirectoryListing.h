#pragma once

// The platform part of the sizer's walk, one file per platform: DirectoryListingLinux.cpp
// (getdents64, openat2) and DirectoryListingPosix.cpp (readdir, one openat per name).

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include <fcntl.h>

namespace kelvo::walk {

inline constexpr int directoryFlags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;
#ifdef O_PATH
inline constexpr int passThroughFlags = O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;
#else
inline constexpr int passThroughFlags = directoryFlags;
#endif

// One listed entry, laid out as Linux's getdents64 writes it; other platforms pack their readdir
// results the same way, so that a buffer of records can be handed to another thread as it is.
struct EntryRecord {
    std::uint64_t inode;
    std::int64_t offset;
    std::uint16_t length; // of the whole record, aligned to 8 bytes
    unsigned char type;   // DT_* value; DT_UNKNOWN when the file system does not say
    char name[1];
};

// Reads an open directory a buffer of records at a time. Does not own the descriptor.
class DirectoryReader {
public:
    explicit DirectoryReader(int fd);
    ~DirectoryReader();
    DirectoryReader(const DirectoryReader&) = delete;
    DirectoryReader& operator=(const DirectoryReader&) = delete;

    // The next records into `buffer`: their length in bytes, 0 at the end, -1 on a failure.
    long next(std::vector<char>& buffer);

private:
    int fd_;
    void* stream_ = nullptr; // where listing needs a stream of its own
};

template <typename Visit>
void forEachEntry(const char* records, std::size_t length, Visit&& visit) {
    for (std::size_t offset = 0; offset < length;) {
        const auto* record = reinterpret_cast<const EntryRecord*>(records + offset);
        visit(static_cast<const char*>(record->name), record->type, record->inode);
        offset += record->length;
    }
}

// Opens the directory names[0]/names[1]/... below baseFd in as few calls as the platform allows,
// refusing symbolic links anywhere; -1 on failure, -2 when the platform has no such call.
int openBeneathWithoutLinks(int baseFd, const std::vector<const std::string*>& names);

} // namespace kelvo::walk
