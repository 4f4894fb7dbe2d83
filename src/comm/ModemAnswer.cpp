#include "comm/ModemAnswer.h"

#include <cstddef>

namespace dlu {

namespace {

constexpr std::string_view kConnect = "CONNECT";
// More digits than any line rate has: a longer number is not a rate.
constexpr std::size_t kMaxRateDigits = 9;

} // namespace

std::optional<std::uint32_t> connectLineRate(std::string_view answer) {
    if (answer.substr(0, kConnect.size()) != kConnect) {
        return std::nullopt;
    }
    std::size_t i = kConnect.size();
    while (i < answer.size() && answer[i] == ' ') {
        ++i;
    }
    std::uint32_t rate = 0;
    std::size_t digits = 0;
    for (; i < answer.size() && answer[i] >= '0' && answer[i] <= '9'; ++i) {
        if (++digits > kMaxRateDigits) {
            return std::nullopt;
        }
        rate = rate * 10 + static_cast<std::uint32_t>(answer[i] - '0');
    }
    if (rate == 0) {
        return std::nullopt;
    }
    return rate;
}

} // namespace dlu
