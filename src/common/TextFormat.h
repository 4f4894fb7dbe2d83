#pragma once

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <string>
#include <string_view>

namespace dlu {

// printf-style formatting of a message text taken from the string table, such as
// "The range is from 0 to %d.". The format comes from our own table, never from outside input.
template <typename... Args> std::string formatText(std::string_view format, Args... args) {
    const std::string fmt(format); // snprintf needs a terminated format
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
#pragma GCC diagnostic ignored "-Wformat-security"
    const int needed = std::snprintf(nullptr, 0, fmt.c_str(), args...);
    std::string out;
    if (needed > 0) {
        out.resize(static_cast<std::size_t>(needed) + 1);
        std::snprintf(out.data(), out.size(), fmt.c_str(), args...);
        out.resize(static_cast<std::size_t>(needed));
    }
#pragma GCC diagnostic pop
    return out;
}

// ASCII letters to upper case; every other byte (UTF-8 and legacy Korean text too) as it is.
inline std::string upperAscii(std::string_view s) {
    std::string out(s);
    std::transform(out.begin(), out.end(), out.begin(), [](char c) {
        return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
    });
    return out;
}

} // namespace dlu
