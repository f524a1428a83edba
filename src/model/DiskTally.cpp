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

DiskTally::Scopes DiskTally::claim(std::uint64_t device, std::uint64_t inode, Scopes scopes) {
    Scopes fresh = 0;
    if (const auto first = static_cast<std::uint8_t>(scopes & 0xFF); first != 0) {
        fresh = shards_->first.update(
            device, inode, [first](std::uint8_t& counted, bool) { return claimIn(counted, first); });
    }
    if (const Scopes others = scopes >> 8; others != 0) {
        fresh |=
            shards_->others.update(device, inode, [others](Scopes& counted, bool) { return claimIn(counted, others); })
            << 8;
    }
    return fresh;
}

void DiskTally::add(Scopes scopes, std::int64_t bytes, std::int64_t files) {
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

} // namespace kelvo
