#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <type_traits>
#include <utility>
#include <vector>

namespace kelvo {

// The value type of a table that is only a set: it takes no room.
struct NoValue {};

// Spreads inode numbers, which come in dense runs, over all 64 bits (the finaliser of MurmurHash3).
struct InodeHash {
    std::uint64_t operator()(std::uint64_t inode) const {
        inode ^= inode >> 33;
        inode *= 0xFF51AFD7ED558CCDULL;
        inode ^= inode >> 33;
        inode *= 0xC4CEB9FE1A85EC53ULL;
        return inode ^ (inode >> 33);
    }
};

// Open addressing with linear probing over the keys alone, 0 marking an empty slot; values, when
// there are any, in an array beside them. A store of a million hard-linked files puts a million
// keys here, so a slot is as small as the key: the start slot is the hash scaled to the capacity
// (not masked), which lets the table grow by half instead of doubling and stay 53-80 % full.
// Not thread-safe.
template <class Key, class Value, class Hash = InodeHash>
class ProbeTable {
public:
    // The value of `key` (never 0), made with Value{} when it was not there yet (then `second` is
    // true); `hashed` is Hash{}(key). The pointer holds until the next insert.
    std::pair<Value*, bool> insert(Key key, std::uint64_t hashed) {
        if ((used_ + 1) * 5 > keys_.size() * 4) {
            grow();
        }
        for (std::size_t i = start(hashed, keys_.size());; i = i + 1 == keys_.size() ? 0 : i + 1) {
            if (keys_[i] == 0) {
                keys_[i] = key;
                ++used_;
                return {valueAt(i), true};
            }
            if (keys_[i] == key) {
                return {valueAt(i), false};
            }
        }
    }

private:
    static constexpr bool valued = !std::is_empty_v<Value>;

    // hashed * capacity / 2^64 in 64-bit arithmetic; capacities stay below 2^32.
    static std::size_t start(std::uint64_t hashed, std::size_t capacity) {
        return static_cast<std::size_t>(((hashed >> 32) * capacity) >> 32);
    }

    Value* valueAt(std::size_t i) {
        if constexpr (valued) {
            return &values_[i];
        } else {
            return &none_;
        }
    }

    void grow() {
        std::vector<Key> keys(keys_.empty() ? 64 : keys_.size() + keys_.size() / 2);
        std::vector<Value> values(valued ? keys.size() : 0);
        for (std::size_t k = 0; k < keys_.size(); ++k) {
            if (keys_[k] == 0) {
                continue;
            }
            std::size_t i = start(Hash{}(keys_[k]), keys.size());
            while (keys[i] != 0) {
                i = i + 1 == keys.size() ? 0 : i + 1;
            }
            keys[i] = keys_[k];
            if constexpr (valued) {
                values[i] = values_[k];
            }
        }
        keys_.swap(keys);
        values_.swap(values);
    }

    std::vector<Key> keys_;
    std::vector<Value> values_;
    std::size_t used_ = 0;
    [[no_unique_address]] Value none_{};
};

// A table from a file's (device, inode) to a small value. Each device has its own keys, so a slot
// holds the inode alone: 4 bytes while inode numbers fit (ext4's always do), 8 beyond. Inode 0
// names no file on the systems read here, but a file system may still report it: it is kept aside.
// Not thread-safe: ShardedFileTable below is.
template <class Value>
class FileTable {
public:
    // The value of the file, made with Value{} when it was not there yet (then `second` is true);
    // `hashed` is InodeHash{}(inode).
    std::pair<Value*, bool> insert(std::uint64_t device, std::uint64_t inode, std::uint64_t hashed) {
        Device& files = deviceFiles(device);
        if (inode == 0) {
            return {&files.zero, !std::exchange(files.zeroSeen, true)};
        }
        if (inode <= UINT32_MAX) {
            return files.narrow.insert(static_cast<std::uint32_t>(inode), hashed);
        }
        return files.wide.insert(inode, hashed);
    }

private:
    struct Device {
        std::uint64_t device = 0;
        ProbeTable<std::uint32_t, Value> narrow;
        ProbeTable<std::uint64_t, Value> wide;
        bool zeroSeen = false;
        Value zero{};
    };

    // A walk meets one device or a few, each in long runs.
    Device& deviceFiles(std::uint64_t device) {
        if (last_ < devices_.size() && devices_[last_].device == device) {
            return devices_[last_];
        }
        for (last_ = 0; last_ < devices_.size(); ++last_) {
            if (devices_[last_].device == device) {
                return devices_[last_];
            }
        }
        devices_.push_back(Device{device, {}, {}, false, Value{}});
        return devices_.back();
    }

    std::vector<Device> devices_;
    std::size_t last_ = 0;
};

// A FileTable split into shards by hash, each behind its own lock, for walks on several threads.
// Each shard grows on its own, so a growing table holds its old and new slots for a 1/shardCount
// part of the files only.
template <class Value, std::size_t shardCount>
class ShardedFileTable {
public:
    // Calls update(value, inserted) on the file's value under its shard's lock; returns its result.
    template <class Update>
    auto update(std::uint64_t device, std::uint64_t inode, Update&& update) {
        // The low bits pick the shard, the high ones the slot, so a shard's files use all its slots.
        const std::uint64_t hashed = InodeHash{}(inode);
        Shard& shard = shards_[hashed % shardCount];
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
