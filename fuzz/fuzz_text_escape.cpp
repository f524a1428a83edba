// The report's escaping of names from disk and tools: whatever comes in, what goes to the
// terminal is valid UTF-8 without one raw control, bidi or separator character.

#include "FuzzSupport.h"

#include "inventory/DisplayText.h"
#include "system/CommandRunner.h"

#include <nlohmann/json.hpp>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto text = kelvo::fuzz::asText(data, size);

    const std::string escaped = kelvo::escapeForTerminal(text);
    FUZZ_REQUIRE(kelvo::repairUtf8(escaped) == escaped);
    FUZZ_REQUIRE(!kelvo::fuzz::holdsHostile(escaped));
    kelvo::displayWidth(text);

    const std::string repaired = kelvo::repairUtf8(text);
    FUZZ_REQUIRE(kelvo::repairUtf8(repaired) == repaired);

    const std::string json = nlohmann::json{{"name", repaired}}.dump();
    const std::string safe = kelvo::escapeHostileInJson(json);
    FUZZ_REQUIRE(!kelvo::fuzz::holdsHostile(safe));
    const auto back = nlohmann::json::parse(safe, nullptr, false);
    FUZZ_REQUIRE(!back.is_discarded() && back.at("name") == repaired);

    const std::string trimmed = kelvo::trimWhitespace(repaired);
    FUZZ_REQUIRE(trimmed.size() <= repaired.size());
    return 0;
}
