// The report's escaping of names from disk and tools: whatever comes in, what goes to the
// terminal is valid UTF-8 without one raw control, bidi or separator character.

#include "FuzzSupport.h"

#include "inventory/DisplayText.h"
#include "system/CommandRunner.h"

#include <nlohmann/json.hpp>

namespace {

// Decodes valid UTF-8 (the caller checked it) and reports any hostile code point.
bool holdsHostile(std::string_view text) {
    for (std::size_t i = 0; i < text.size();) {
        const auto lead = static_cast<unsigned char>(text[i]);
        char32_t point = lead;
        std::size_t length = 1;
        if (lead >= 0xF0) {
            length = 4;
            point = lead & 0x07;
        } else if (lead >= 0xE0) {
            length = 3;
            point = lead & 0x0F;
        } else if (lead >= 0xC0) {
            length = 2;
            point = lead & 0x1F;
        }
        for (std::size_t k = 1; k < length; ++k) {
            point = (point << 6) | (static_cast<unsigned char>(text[i + k]) & 0x3F);
        }
        if (kelvo::isHostileCodePoint(point)) {
            return true;
        }
        i += length;
    }
    return false;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto text = kelvo::fuzz::asText(data, size);

    const std::string escaped = kelvo::escapeForTerminal(text);
    FUZZ_REQUIRE(kelvo::repairUtf8(escaped) == escaped);
    FUZZ_REQUIRE(!holdsHostile(escaped));
    kelvo::displayWidth(text);

    const std::string repaired = kelvo::repairUtf8(text);
    FUZZ_REQUIRE(kelvo::repairUtf8(repaired) == repaired);

    const std::string json = nlohmann::json{{"name", repaired}}.dump();
    const std::string safe = kelvo::escapeHostileInJson(json);
    FUZZ_REQUIRE(!holdsHostile(safe));
    const auto back = nlohmann::json::parse(safe, nullptr, false);
    FUZZ_REQUIRE(!back.is_discarded() && back.at("name") == repaired);

    const std::string trimmed = kelvo::trimWhitespace(repaired);
    FUZZ_REQUIRE(trimmed.size() <= repaired.size());
    return 0;
}
