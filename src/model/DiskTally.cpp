#include "model/DiskTally.h"

#include "model/FileTable.h"

#include <bit>

namespace kelvo {

// Scans open a scope per manager, so the first eight scopes (a byte per file) carry nearly every
// claim; the others have a table of their own, empty unless that many scopes are opened.
struct DiskTally::Shards {
    ShardedFileTable<std::uint8_t, 64> first;
    ShardedFileTable<Scopes, 64> others;
};

DiskTally::DiskTally() : shards_(std::make_unique<Shards>()) {}

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
