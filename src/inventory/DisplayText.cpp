#include "inventory/DisplayText.h"

#include "model/Utf8.h"

#include <cstdint>

namespace kelvo {

namespace {

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
        const Utf8Step d = decodeUtf8(text, at);
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
        const Utf8Step d = decodeUtf8(json, at);
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
        const Utf8Step d = decodeUtf8(text, at);
        width += d.valid ? 1 : d.length;
        at += d.length;
    }
    return width;
}

} // namespace kelvo
