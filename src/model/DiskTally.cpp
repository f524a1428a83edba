#include "model/DiskTally.h"

#include "model/FileTable.h"

#include <bit>
#include <mutex>

namespace kelvo {

namespace {

constexpr std::size_t shardCount = 64;

} // namespace

struct DiskTally::Shards {
    struct alignas(64) Shard {
        std::mutex mutex;
        FileTable<Scopes> counted;
    };
    std::array<Shard, shardCount> shards;
};

DiskTally::DiskTally() : shards_(std::make_unique<Shards>()) {}

DiskTally::~DiskTally() = default;

DiskTally::Scopes DiskTally::openScope() {
    const int index = nextScope_.fetch_add(1);
    return index < 64 ? Scopes{1} << index : 0;
}

DiskTally::Scopes DiskTally::claim(std::uint64_t device, std::uint64_t inode, Scopes scopes) {
    if (scopes == 0) {
        return 0;
    }
    const std::uint64_t hashed = FileTable<Scopes>::hash(device, inode);
    auto& shard = shards_->shards[(hashed >> 58) % shardCount];
    std::lock_guard lock(shard.mutex);
    Scopes& counted = *shard.counted.insert(device, inode, hashed).first;
    const Scopes fresh = scopes & ~counted;
    counted |= scopes;
    return fresh;
}

void DiskTally::add(Scopes scopes, std::int64_t bytes) {
    while (scopes != 0) {
        const int bit = std::countr_zero(scopes);
        totals_[static_cast<std::size_t>(bit)].fetch_add(bytes, std::memory_order_relaxed);
        scopes &= scopes - 1;
    }
}

std::int64_t DiskTally::total(Scopes scope) const {
    return scope == 0 ? 0 : totals_[static_cast<std::size_t>(std::countr_zero(scope))].load();
}

} // namespace kelvo
