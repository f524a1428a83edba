// Node version names and nvm's default alias: the first line is the alias text, the others are
// version folder names. Parsing round-trips, ordering is a stable permutation, and the resolved
// default is always one of the installed names.

#include "FuzzSupport.h"

#include "adapters/AdapterSupport.h"
#include "adapters/NvmAdapter.h"

#include <algorithm>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto lines = kelvo::fuzz::splitLines(kelvo::fuzz::asText(data, size));
    const std::string alias = lines.front();
    const std::vector<std::string> names(lines.begin() + 1, lines.end());

    for (const auto& name : lines) {
        if (const auto parsed = kelvo::parseNodeVersion(name)) {
            const std::string canonical = "v" + std::to_string(parsed->major) + "." + std::to_string(parsed->minor) +
                                          "." + std::to_string(parsed->patch);
            FUZZ_REQUIRE(kelvo::parseNodeVersion(canonical) == parsed);
        }
    }

    const auto sorted = kelvo::sortNewestFirst(names);
    FUZZ_REQUIRE(std::is_permutation(sorted.begin(), sorted.end(), names.begin(), names.end()));
    const kelvo::NodeVersion none{-1, -1, -1};
    for (std::size_t i = 1; i < sorted.size(); ++i) {
        FUZZ_REQUIRE(kelvo::parseNodeVersion(sorted[i - 1]).value_or(none) >=
                     kelvo::parseNodeVersion(sorted[i]).value_or(none));
    }

    if (const auto chosen = kelvo::NvmAdapter::resolveDefaultVersion(alias, names)) {
        FUZZ_REQUIRE(std::find(names.begin(), names.end(), *chosen) != names.end());
    }
    for (const auto& [major, newest] : kelvo::NvmAdapter::newestInSeries(names)) {
        const auto parsed = kelvo::parseNodeVersion(newest);
        FUZZ_REQUIRE(parsed && parsed->major == major);
    }
    return 0;
}
