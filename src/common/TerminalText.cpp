#include "common/TerminalText.h"

#include <cstdint>
#include <cstdio>

namespace dlu {

namespace {

// Length of the UTF-8 sequence at `text[i]` and its code point; 0 when it is not one
// (overlong forms, surrogates and values past U+10FFFF included).
std::size_t decode(std::string_view text, std::size_t i, std::uint32_t& cp) {
    const auto c = static_cast<unsigned char>(text[i]);
    std::size_t len = 0;
    std::uint32_t min = 0;
    if (c < 0x80) {
        cp = c;
        return 1;
    }
    if (c >= 0xC2 && c <= 0xDF) {
        len = 2;
        cp = c & 0x1Fu;
        min = 0x80;
    } else if (c >= 0xE0 && c <= 0xEF) {
        len = 3;
        cp = c & 0x0Fu;
        min = 0x800;
    } else if (c >= 0xF0 && c <= 0xF4) {
        len = 4;
        cp = c & 0x07u;
        min = 0x10000;
    } else {
        return 0;
    }
    if (i + len > text.size()) {
        return 0;
    }
    for (std::size_t k = 1; k < len; ++k) {
        const auto b = static_cast<unsigned char>(text[i + k]);
        if ((b & 0xC0) != 0x80) {
            return 0;
        }
        cp = (cp << 6) | (b & 0x3Fu);
    }
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
        return 0;
    }
    return len;
}

bool reorders(std::uint32_t cp) {
    return (cp >= 0x202A && cp <= 0x202E) || (cp >= 0x2066 && cp <= 0x2069) || cp == 0x200E ||
           cp == 0x200F || cp == 0x061C;
}

void appendHexByte(std::string& out, unsigned char b) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    out += "\\x";
    out += kHex[b >> 4];
    out += kHex[b & 0x0F];
}

} // namespace

std::string displaySafe(std::string_view text, bool keepLineBreaks) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        std::uint32_t cp = 0;
        const std::size_t len = decode(text, i, cp);
        if (len == 0) {
            out += '?';
            ++i;
            continue;
        }
        if (cp == '\n' && keepLineBreaks) {
            out += '\n';
        } else if (cp < 0x20 || (cp >= 0x7F && cp <= 0x9F)) {
            for (std::size_t k = 0; k < len; ++k) {
                appendHexByte(out, static_cast<unsigned char>(text[i + k]));
            }
        } else if (reorders(cp)) {
            char buf[16];
            std::snprintf(buf, sizeof buf, "\\u%04X", static_cast<unsigned>(cp));
            out += buf;
        } else {
            out.append(text.substr(i, len));
        }
        i += len;
    }
    return out;
}

} // namespace dlu
