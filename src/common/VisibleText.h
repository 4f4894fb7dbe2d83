#pragma once

#include <string>
#include <string_view>

namespace dlu {

// Text that came from a file, a package or a PLC, made safe to print on a terminal: control
// characters and DEL become \xNN, a backslash is doubled. Bytes from 0x80 up (UTF-8) pass, so
// that Korean names stay readable.
inline std::string visibleText(std::string_view text) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(text.size());
    for (const char ch : text) {
        const auto c = static_cast<unsigned char>(ch);
        if (c == '\\') {
            out += "\\\\";
        } else if (c < 0x20 || c == 0x7F) {
            out += "\\x";
            out += kHex[c >> 4];
            out += kHex[c & 15];
        } else {
            out += ch;
        }
    }
    return out;
}

} // namespace dlu
