#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <utility>
#include <vector>

namespace kelvo {

// An open-addressing table from a file's (device, inode) to a small value. Nothing is allocated
// per entry, so filling it with hundreds of thousands of files and dropping it stay cheap. Not
// thread-safe: ShardedFileTable below is.
template <class Value>
class FileTable {
public:
    static std::uint64_t hash(std::uint64_t device, std::uint64_t inode) {
        std::uint64_t h = inode * 0x9E3779B97F4A7C15ULL ^ (device + 0x632BE59BD9B4E019ULL) * 0xC2B2AE3D27D4EB4FULL;
        h ^= h >> 29;
        return h * 0xBF58476D1CE4E5B9ULL;
    }

    // The value of the file, made with Value{} when it was not there yet (then `second` is true).
    std::pair<Value*, bool> insert(std::uint64_t device, std::uint64_t inode, std::uint64_t hashed) {
        if ((used_ + 1) * 10 > slots_.size() * 7) {
            grow();
        }
        const std::size_t mask = slots_.size() - 1;
        for (std::size_t i = hashed & mask;; i = (i + 1) & mask) {
            Slot& slot = slots_[i];
            if (!slot.occupied) {
                slot = Slot{device, inode, Value{}, true};
                ++used_;
                return {&slot.value, true};
            }
            if (slot.inode == inode && slot.device == device) {
                return {&slot.value, false};
            }
        }
    }

private:
    struct Slot {
        std::uint64_t device = 0;
        std::uint64_t inode = 0;
        Value value{};
        bool occupied = false;
    };

    void grow() {
        std::vector<Slot> old(slots_.empty() ? 64 : slots_.size() * 2);
        old.swap(slots_);
        const std::size_t mask = slots_.size() - 1;
        for (const Slot& slot : old) {
            if (slot.occupied) {
                std::size_t i = hash(slot.device, slot.inode) & mask;
                while (slots_[i].occupied) {
                    i = (i + 1) & mask;
                }
                slots_[i] = slot;
            }
        }
    }

    std::vector<Slot> slots_;
    std::size_t used_ = 0;
};

// A FileTable split into shards by hash, each behind its own lock, for walks on several threads.
template <class Value, std::size_t shardCount>
class ShardedFileTable {
public:
    // Calls update(value, inserted) on the file's value under its shard's lock; returns its result.
    template <class Update>
    auto update(std::uint64_t device, std::uint64_t inode, Update&& update) {
        const std::uint64_t hashed = FileTable<Value>::hash(device, inode);
        Shard& shard = shards_[(hashed >> 58) % shardCount];
        std::lock_guard lock(shard.mutex);
        const auto [value, inserted] = shard.files.insert(device, inode, hashed);
        return update(*value, inserted);
    }

private:
    struct alignas(64) Shard {
        std::mutex mutex;
        FileTable<Value> files;
    };
    std::array<Shard, shardCount> shards_;
};

} // namespace kelvo
