#include "model/DiskTally.h"

#include "model/FileTable.h"

#include <bit>

namespace kelvo {

struct DiskTally::Shards {
    ShardedFileTable<Scopes, 64> counted;
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
    return shards_->counted.update(device, inode, [scopes](Scopes& counted, bool) {
        const Scopes fresh = scopes & ~counted;
        counted |= scopes;
        return fresh;
    });
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
