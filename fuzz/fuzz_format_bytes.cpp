// Size texts for any count, either unit and any separators a locale could hand us.

#include "FuzzSupport.h"

#include "model/SizeFormat.h"

#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 9) {
        return 0;
    }
    std::int64_t bytes = 0;
    std::memcpy(&bytes, data, sizeof bytes);
    const auto unit = (data[8] & 1) ? kelvo::SizeUnit::binary : kelvo::SizeUnit::decimal;
    const auto rest = kelvo::fuzz::asText(data + 9, size - 9);
    const auto lines = kelvo::fuzz::splitLines(rest);

    kelvo::NumberSymbols symbols;
    if (lines.size() >= 3) {
        symbols.decimalSeparator = lines[0];
        symbols.groupSeparator = lines[1];
        symbols.grouping.clear();
        for (const char c : lines[2]) {
            symbols.grouping.push_back(static_cast<signed char>(c));
        }
    }
    const std::string text = kelvo::formatBytes(bytes, unit, symbols);
    FUZZ_REQUIRE(!text.empty());
    FUZZ_REQUIRE(text.ends_with(" KB") || text.ends_with(" MB") || text.ends_with(" GB"));
    FUZZ_REQUIRE(text.size() < 256 + 64 * (symbols.decimalSeparator.size() + symbols.groupSeparator.size()));
    FUZZ_REQUIRE(!kelvo::formatBytes(bytes, unit).empty());
    return 0;
}
