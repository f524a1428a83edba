#include "model/DiskTally.h"

#include "model/FileTable.h"

#include <bit>
#include <map>
#include <mutex>
#include <utility>
#include <vector>

namespace kelvo {

// Scans open a scope per manager, so the first eight scopes (a byte per file) carry nearly every
// claim; the others have a table of their own, empty unless that many scopes are opened.
struct DiskTally::Shards {
    ShardedFileTable<std::uint8_t, 64> first;
    ShardedFileTable<Scopes, 64> others;
};

// Single-link files measured as paths of their own, until settled.
struct DiskTally::SetAside {
    struct File {
        FileKey parent;
        std::int64_t bytes = 0;
        Scopes scopes = 0;  // every scope it was measured for
        Scopes settled = 0; // those whose totals hold it (or whose walks did)
        bool sharedSettled = false;
    };
    std::mutex mutex;
    // By (device, inode): the same file measured twice is one entry.
    std::map<std::pair<std::uint64_t, std::uint64_t>, File> files;
};

DiskTally::DiskTally() : shards_(std::make_unique<Shards>()), setAside_(std::make_unique<SetAside>()) {}

DiskTally::~DiskTally() = default;

DiskTally::Scopes DiskTally::openScope() {
    const int index = nextScope_.fetch_add(1);
    return index < 64 ? Scopes{1} << index : 0;
}

namespace {

// Marks `scopes` as counted in a file's entry; returns those that had not been.
template <class Bits>
Bits claimIn(Bits& counted, Bits scopes) {
    const auto fresh = static_cast<Bits>(scopes & ~counted);
    counted |= scopes;
    return fresh;
}

} // namespace

DiskTally::Scopes DiskTally::claim(std::uint64_t device, std::uint64_t inode, Scopes scopes, Scopes* before) {
    Scopes fresh = 0;
    if (before != nullptr) {
        *before = 0;
    }
    if (const auto first = static_cast<std::uint8_t>(scopes & 0xFF); first != 0) {
        fresh = shards_->first.update(device, inode, [first, before](std::uint8_t& counted, bool) {
            if (before != nullptr) {
                *before = counted;
            }
            return claimIn(counted, first);
        });
    }
    if (const Scopes others = scopes >> 8; others != 0) {
        fresh |=
            shards_->others.update(device, inode, [others](Scopes& counted, bool) { return claimIn(counted, others); })
            << 8;
    }
    return fresh;
}

void DiskTally::add(Scopes scopes, std::int64_t bytes, std::int64_t files, Scopes before) {
    if (const Scopes first = scopes & 0xFF; first != 0 && bytes != 0) {
        if (const Scopes was = before & 0xFF; was != 0) {
            shared_[was].fetch_sub(bytes, std::memory_order_relaxed);
        }
        shared_[(before | first) & 0xFF].fetch_add(bytes, std::memory_order_relaxed);
    }
    while (scopes != 0) {
        const auto bit = static_cast<std::size_t>(std::countr_zero(scopes));
        totals_[bit].fetch_add(bytes, std::memory_order_relaxed);
        if (files != 0) {
            files_[bit].fetch_add(files, std::memory_order_relaxed);
        }
        scopes &= scopes - 1;
    }
}

void DiskTally::addTopLevelFile(FileKey file, FileKey parent, std::int64_t bytes, Scopes scopes) {
    if (scopes == 0) {
        return;
    }
    std::lock_guard lock(setAside_->mutex);
    SetAside::File& entry = setAside_->files[{file.device, file.inode}];
    entry.parent = parent;
    entry.bytes = bytes;
    entry.scopes |= scopes;
}

void DiskTally::settle(Scopes scopes) {
    std::lock_guard lock(setAside_->mutex);
    for (auto& [key, file] : setAside_->files) {
        // The scopes whose walks entered the parent folder: they counted the file there already.
        Scopes walked = 0;
        shards_->first.update(file.parent.device, file.parent.inode, [&](std::uint8_t& counted, bool) {
            walked = counted;
            return 0;
        });
        shards_->others.update(file.parent.device, file.parent.inode, [&](Scopes& counted, bool) {
            walked |= counted << 8;
            return 0;
        });
        const Scopes due = file.scopes & scopes & ~file.settled;
        for (Scopes rest = due & ~walked; rest != 0; rest &= rest - 1) {
            const auto bit = static_cast<std::size_t>(std::countr_zero(rest));
            totals_[bit].fetch_add(file.bytes, std::memory_order_relaxed);
            files_[bit].fetch_add(1, std::memory_order_relaxed);
        }
        file.settled |= due;
        // The split by sharing scopes moves the file from what the walks counted it for to that and
        // the scopes that count it only as a path of its own.
        if ((scopes & wholeScan) != 0 && !file.sharedSettled) {
            file.sharedSettled = true;
            const Scopes was = walked & 0xFF;
            if (const Scopes added = file.scopes & 0xFF & ~was; added != 0) {
                if (was != 0) {
                    shared_[was].fetch_sub(file.bytes, std::memory_order_relaxed);
                }
                shared_[was | added].fetch_add(file.bytes, std::memory_order_relaxed);
            }
        }
    }
}

std::int64_t DiskTally::total(Scopes scope) const {
    return scope == 0 ? 0 : totals_[static_cast<std::size_t>(std::countr_zero(scope))].load();
}

std::int64_t DiskTally::files(Scopes scope) const {
    return scope == 0 ? 0 : files_[static_cast<std::size_t>(std::countr_zero(scope))].load();
}

std::int64_t DiskTally::unionTotal(Scopes scopes) const {
    std::int64_t total = 0;
    for (std::size_t set = 1; set < shared_.size(); ++set) {
        if ((set & scopes) != 0) {
            total += shared_[set].load();
        }
    }
    return total;
}

std::array<std::int64_t, 256> DiskTally::bytesBySharingScopes() const {
    std::array<std::int64_t, 256> bytes{};
    for (std::size_t set = 0; set < shared_.size(); ++set) {
        bytes[set] = shared_[set].load();
    }
    return bytes;
}

} // namespace kelvo
