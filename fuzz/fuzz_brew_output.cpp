// brew's version text and line listings.

#include "FuzzSupport.h"

#include "adapters/HomebrewAdapter.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto text = kelvo::fuzz::asText(data, size);
    if (const auto version = kelvo::HomebrewAdapter::versionFromOutput(text)) {
        FUZZ_REQUIRE(!version->empty() && version->find_first_of(" \n") == std::string::npos);
    }
    for (const auto& line : kelvo::HomebrewAdapter::lines(text)) {
        FUZZ_REQUIRE(!line.empty() && line.find('\n') == std::string::npos);
        FUZZ_REQUIRE(line.front() != ' ' && line.front() != '\t' && line.back() != ' ' && line.back() != '\t');
    }
    return 0;
}
