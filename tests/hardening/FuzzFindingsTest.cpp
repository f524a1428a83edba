// Inputs the fuzz targets found, kept so the faults stay fixed.

#include "model/SizeFormat.h"

#include <gtest/gtest.h>

namespace kelvo {
namespace {

// Group sizes below 1 cut empty groups forever (the run never ended and memory grew without
// bound); they now end grouping, as "no further grouping" in a locale does.
TEST(FuzzFindings, GroupSizesBelowOneEndGroupingInsteadOfLoopingForever) {
    constexpr std::int64_t bytes = 1'234'567'000'000'000; // 1,234,567 GB
    NumberSymbols symbols;
    symbols.grouping = {0};
    EXPECT_EQ(formatBytes(bytes, SizeUnit::decimal, symbols), "1234567 GB");
    symbols.grouping = {3, 0};
    EXPECT_EQ(formatBytes(bytes, SizeUnit::decimal, symbols), "1234,567 GB");
    symbols.grouping = {2, -1};
    EXPECT_EQ(formatBytes(bytes, SizeUnit::decimal, symbols), "12345,67 GB");
    symbols.grouping = {3};
    EXPECT_EQ(formatBytes(bytes, SizeUnit::decimal, symbols), "1,234,567 GB");
}

} // namespace
} // namespace kelvo
