#include "model/Utf8.h"

#include <array>
#include <cstdint>

namespace kelvo {

Utf8Step decodeUtf8(std::string_view text, std::size_t at) {
    const auto byte = [&](std::size_t i) { return static_cast<std::uint8_t>(text[at + i]); };
    const std::uint8_t lead = byte(0);
    if (lead < 0x80) {
        return {lead, 1, true};
    }
    // Length and the allowed range of the second byte, which excludes overlong forms,
    // surrogates and code points above U+10FFFF.
    std::size_t need = 0;
    char32_t value = 0;
    std::uint8_t low = 0x80;
    std::uint8_t high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        need = 1;
        value = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        need = 2;
        value = lead & 0x0F;
        low = lead == 0xE0 ? 0xA0 : 0x80;
        high = lead == 0xED ? 0x9F : 0xBF;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        need = 3;
        value = lead & 0x07;
        low = lead == 0xF0 ? 0x90 : 0x80;
        high = lead == 0xF4 ? 0x8F : 0xBF;
    } else {
        return {0, 1, false};
    }
    for (std::size_t i = 1; i <= need; ++i) {
        if (at + i >= text.size()) {
            return {0, i, false};
        }
        const std::uint8_t next = byte(i);
        if (next < (i == 1 ? low : 0x80) || next > (i == 1 ? high : 0xBF)) {
            return {0, i, false};
        }
        value = (value << 6) | (next & 0x3F);
    }
    return {value, need + 1, true};
}

std::string repairUtf8(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size());
    for (std::size_t at = 0; at < bytes.size();) {
        const Utf8Step step = decodeUtf8(bytes, at);
        if (step.valid) {
            out.append(bytes.substr(at, step.length));
        } else {
            out.append("\xEF\xBF\xBD");
        }
        at += step.length;
    }
    return out;
}

bool isValidUtf8(std::string_view bytes) {
    for (std::size_t at = 0; at < bytes.size();) {
        const Utf8Step step = decodeUtf8(bytes, at);
        if (!step.valid) {
            return false;
        }
        at += step.length;
    }
    return true;
}

std::string trimWhitespace(std::string_view text) {
    static constexpr std::array<std::string_view, 25> blanks = {
        " ",
        "\t",
        "\n",
        "\v",
        "\f",
        "\r",
        "\xC2\x85",
        "\xC2\xA0",
        "\xE1\x9A\x80",
        "\xE2\x80\x80",
        "\xE2\x80\x81",
        "\xE2\x80\x82",
        "\xE2\x80\x83",
        "\xE2\x80\x84",
        "\xE2\x80\x85",
        "\xE2\x80\x86",
        "\xE2\x80\x87",
        "\xE2\x80\x88",
        "\xE2\x80\x89",
        "\xE2\x80\x8A",
        "\xE2\x80\xA8",
        "\xE2\x80\xA9",
        "\xE2\x80\xAF",
        "\xE2\x81\x9F",
        "\xE3\x80\x80",
    };
    const auto strip = [&](bool fromFront) {
        for (const std::string_view blank : blanks) {
            if (fromFront ? text.starts_with(blank) : text.ends_with(blank)) {
                fromFront ? text.remove_prefix(blank.size()) : text.remove_suffix(blank.size());
                return true;
            }
        }
        return false;
    };
    while (strip(true)) {
    }
    while (strip(false)) {
    }
    return std::string(text);
}

} // namespace kelvo
