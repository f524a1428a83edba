#include "system/walk/DirectoryListing.h"

#include <cstddef>
#include <cstring>

#include <dirent.h>
#include <unistd.h>

namespace kelvo::walk {

DirectoryReader::DirectoryReader(int fd) : fd_(fd) {}

DirectoryReader::~DirectoryReader() {
    if (stream_ != nullptr) {
        ::closedir(static_cast<DIR*>(stream_));
    }
}

long DirectoryReader::next(std::vector<char>& buffer) {
    if (stream_ == nullptr) {
        // readdir needs a stream of its own; the caller's descriptor stays open for fstatat.
        const int listFd = ::dup(fd_);
        DIR* dir = listFd >= 0 ? ::fdopendir(listFd) : nullptr;
        if (dir == nullptr) {
            if (listFd >= 0) {
                ::close(listFd);
            }
            return -1;
        }
        stream_ = dir;
    }
    auto* dir = static_cast<DIR*>(stream_);
    std::size_t used = 0;
    for (;;) {
        const long position = ::telldir(dir);
        const struct dirent* entry = ::readdir(dir);
        if (entry == nullptr) {
            return static_cast<long>(used);
        }
        const std::size_t nameLength = std::strlen(entry->d_name);
        const std::size_t length = (offsetof(EntryRecord, name) + nameLength + 1 + 7) & ~std::size_t{7};
        if (used + length > buffer.size()) {
            ::seekdir(dir, position); // the entry goes into the next buffer
            return static_cast<long>(used);
        }
        auto* record = reinterpret_cast<EntryRecord*>(buffer.data() + used);
        record->inode = static_cast<std::uint64_t>(entry->d_ino);
        record->offset = 0;
        record->length = static_cast<std::uint16_t>(length);
        record->type = entry->d_type;
        std::memcpy(record->name, entry->d_name, nameLength + 1);
        used += length;
    }
}

int openBeneathWithoutLinks(int, const std::vector<const std::string*>&) { return -2; }

} // namespace kelvo::walk
