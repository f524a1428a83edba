#include "inventory/DisplayText.h"

#include <cstdint>

namespace kelvo {

namespace {

struct Decoded {
    char32_t codePoint = 0;
    std::size_t length = 0; // bytes consumed
    bool valid = false;     // false: `length` bytes form one maximal invalid subsequence
};

// Strict UTF-8 (no overlongs, no surrogates, nothing above U+10FFFF); `text` is not empty.
Decoded decodeAt(std::string_view text, std::size_t at) {
    const auto byte = [&](std::size_t i) { return static_cast<std::uint8_t>(text[at + i]); };
    const std::uint8_t lead = byte(0);
    if (lead < 0x80) {
        return {lead, 1, true};
    }
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
        if (lead == 0xE0) {
            low = 0xA0;
        } else if (lead == 0xED) {
            high = 0x9F;
        }
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        need = 3;
        value = lead & 0x07;
        if (lead == 0xF0) {
            low = 0x90;
        } else if (lead == 0xF4) {
            high = 0x8F;
        }
    } else {
        return {0, 1, false};
    }
    for (std::size_t i = 1; i <= need; ++i) {
        if (at + i >= text.size()) {
            return {0, i, false};
        }
        const std::uint8_t next = byte(i);
        const std::uint8_t min = i == 1 ? low : 0x80;
        const std::uint8_t max = i == 1 ? high : 0xBF;
        if (next < min || next > max) {
            return {0, i, false};
        }
        value = (value << 6) | (next & 0x3F);
    }
    return {value, need + 1, true};
}

constexpr char hexDigits[] = "0123456789abcdef";

void appendHexByte(std::string& out, std::uint8_t value) {
    out += "\\x";
    out.push_back(hexDigits[value >> 4]);
    out.push_back(hexDigits[value & 0x0F]);
}

void appendUnicodeEscape(std::string& out, char32_t codePoint) {
    out += "\\u";
    for (int shift = 12; shift >= 0; shift -= 4) {
        out.push_back(hexDigits[(codePoint >> shift) & 0x0F]);
    }
}

} // namespace

bool isHostileCodePoint(char32_t c) {
    return c < 0x20 || (c >= 0x7F && c <= 0x9F) || c == 0x061C || c == 0x200E || c == 0x200F || c == 0x2028 ||
           c == 0x2029 || (c >= 0x202A && c <= 0x202E) || (c >= 0x2066 && c <= 0x2069);
}

std::string escapeForTerminal(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    std::size_t at = 0;
    while (at < text.size()) {
        const Decoded d = decodeAt(text, at);
        if (!d.valid) {
            for (std::size_t i = 0; i < d.length; ++i) {
                appendHexByte(out, static_cast<std::uint8_t>(text[at + i]));
            }
        } else if (isHostileCodePoint(d.codePoint)) {
            switch (d.codePoint) {
            case '\n': out += "\\n"; break;
            case '\r': out += "\\r"; break;
            case '\t': out += "\\t"; break;
            default:
                if (d.codePoint < 0x80) {
                    appendHexByte(out, static_cast<std::uint8_t>(d.codePoint));
                } else {
                    appendUnicodeEscape(out, d.codePoint);
                }
            }
        } else {
            out.append(text.substr(at, d.length));
        }
        at += d.length;
    }
    return out;
}

std::string escapeHostileInJson(std::string_view json) {
    std::string out;
    out.reserve(json.size());
    std::size_t at = 0;
    while (at < json.size()) {
        const Decoded d = decodeAt(json, at);
        if (d.valid && d.codePoint >= 0x20 && isHostileCodePoint(d.codePoint)) {
            appendUnicodeEscape(out, d.codePoint);
        } else if (d.valid) {
            out.append(json.substr(at, d.length));
        } else {
            // Never produced by a dump with replacement; repaired rather than passed on.
            out += "\\ufffd";
        }
        at += d.length;
    }
    return out;
}

std::size_t displayWidth(std::string_view text) {
    std::size_t width = 0;
    std::size_t at = 0;
    while (at < text.size()) {
        const Decoded d = decodeAt(text, at);
        width += d.valid ? 1 : d.length;
        at += d.length;
    }
    return width;
}

} // namespace kelvo
