// Size texts for any count and unit and whatever separators and grouping a locale hands us: 8 bytes
// of count, 1 of unit, then the decimal separator, group separator and group sizes on three lines.

#include "FuzzSupport.h"

#include "model/SizeFormat.h"

#include <cstring>

using namespace kelvo;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::int64_t bytes = 0;
    if (size < sizeof bytes + 1) return 0;
    std::memcpy(&bytes, data, sizeof bytes);
    const auto unit = (data[8] & 1) ? SizeUnit::binary : SizeUnit::decimal;
    const auto lines = fuzz::splitLines(fuzz::asText(data + 9, size - 9));
    NumberSymbols symbols;
    if (lines.size() >= 3) {
        symbols = {lines[0], lines[1], std::vector<int>(lines[2].begin(), lines[2].end())};
    }
    const std::string text = formatBytes(bytes, unit, symbols);
    FUZZ_REQUIRE(text.ends_with(" KB") || text.ends_with(" MB") || text.ends_with(" GB"));
    // At most 19 digits, each perhaps followed by a group separator, and one decimal separator.
    FUZZ_REQUIRE(text.size() <= 24 + 19 * symbols.groupSeparator.size() + symbols.decimalSeparator.size());
    FUZZ_REQUIRE((bytes == 0) == text.starts_with("Zero") && (bytes < 0) == text.starts_with("-"));
    return 0;
}
