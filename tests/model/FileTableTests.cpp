// The flat tables behind the sizer's hard-link set and the tally, on the keys a walk can meet.

#include "model/DiskTally.h"
#include "model/FileTable.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace kelvo {
namespace {

// Every key starts at the same slot: only the probing tells them apart.
struct SameHash {
    std::uint64_t operator()(std::uint64_t) const { return 0x9E3779B97F4A7C15ULL; }
};

TEST(FileTable, EveryKeyOnceWithItsValueThroughGrowthAndCollisions) {
    ProbeTable<std::uint32_t, std::uint64_t, SameHash> colliding;
    for (int pass = 0; pass < 2; ++pass) {
        for (std::uint32_t key = 1; key <= 3'000; ++key) {
            const auto [value, inserted] = colliding.insert(key, SameHash{}(key));
            ASSERT_EQ(inserted, pass == 0) << key;
            *value = pass == 0 ? key * 7 : *value;
            ASSERT_EQ(*value, key * 7);
        }
    }
    // Inode 0, 64-bit inodes, then dense runs (as file systems hand inodes out) that repeat their
    // low halves and grow the table over them, and the same numbers again on a second device: all
    // distinct files.
    FileTable<std::uint64_t> files;
    std::vector<std::uint64_t> inodes{0};
    for (std::uint64_t i = 1; i <= 20'000; ++i) inodes.push_back((i << 32) | i);
    for (std::uint64_t i = 1; i <= 150'000; ++i) inodes.push_back(i);
    for (int pass = 0; pass < 2; ++pass) {
        for (const std::uint64_t device : {2049, 66}) {
            for (const std::uint64_t inode : inodes) {
                const auto [value, inserted] = files.insert(device, inode, InodeHash{}(inode));
                ASSERT_EQ(inserted, pass == 0) << device << ":" << inode;
                *value = pass == 0 ? inode ^ device : *value;
                ASSERT_EQ(*value, inode ^ device);
            }
        }
    }
}

TEST(FileTable, ATallyKeepsScopesBeyondTheFirstEightApart) {
    DiskTally tally;
    std::vector<DiskTally::Scopes> scopes{DiskTally::wholeScan};
    while (const DiskTally::Scopes scope = tally.openScope()) scopes.push_back(scope);
    ASSERT_EQ(scopes.size(), 64u);
    const DiskTally::Scopes low = scopes[3], high = scopes[40], higher = scopes[63];
    EXPECT_EQ(tally.claim(7, 9, low | high), low | high);
    EXPECT_EQ(tally.claim(7, 9, low | high | higher), higher);
    EXPECT_EQ(tally.claim(7, 9, DiskTally::wholeScan | high), DiskTally::wholeScan);
    EXPECT_EQ(tally.claim(8, 9, low | high), low | high) << "another device, another file";
}

} // namespace
} // namespace kelvo
