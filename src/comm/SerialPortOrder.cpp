#include "comm/SerialPortOrder.h"

#include <algorithm>
#include <cstdint>
#include <tuple>

namespace dlu {

namespace {

struct PortKey {
    std::string text;         // the name without its digits
    std::uint64_t number = 0; // the number formed by its digits
    bool hasNumber = false;
};

PortKey keyOf(std::string_view name) {
    PortKey key;
    for (const char c : name) {
        if (c >= '0' && c <= '9') {
            // Saturate instead of wrapping on absurdly long digit runs.
            const auto digit = static_cast<std::uint64_t>(c - '0');
            key.number =
                key.number > (UINT64_MAX - digit) / 10 ? UINT64_MAX : key.number * 10 + digit;
            key.hasNumber = true;
        } else {
            key.text += c;
        }
    }
    return key;
}

} // namespace

bool serialPortNameLess(std::string_view a, std::string_view b) {
    const PortKey ka = keyOf(a);
    const PortKey kb = keyOf(b);
    return std::tie(ka.text, ka.hasNumber, ka.number, a) <
           std::tie(kb.text, kb.hasNumber, kb.number, b);
}

std::vector<std::string> sortSerialPortNames(std::vector<std::string> names) {
    std::sort(names.begin(), names.end(),
              [](const std::string& a, const std::string& b) { return serialPortNameLess(a, b); });
    return names;
}

} // namespace dlu
