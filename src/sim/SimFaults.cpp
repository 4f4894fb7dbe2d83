#include "sim/SimFaults.h"

namespace dlu::sim {

const FaultConfig::ErrorRule* SimFaults::errorRuleFor(std::uint8_t command,
                                                      std::uint64_t request) const {
    for (const auto& rule : config_.errorReplies) {
        const bool commandMatches = !rule.command || *rule.command == command;
        const bool nthMatches = rule.nth == 0 || rule.nth == request;
        if (commandMatches && nthMatches && (rule.command || rule.nth != 0)) {
            return &rule;
        }
    }
    return nullptr;
}

bool SimFaults::corrupts(std::uint64_t response) {
    return config_.corruptResponses.contains(response) ||
           (config_.corruptRate > 0.0 &&
            std::uniform_real_distribution<double>(0.0, 1.0)(random_) < config_.corruptRate);
}

std::chrono::nanoseconds SimFaults::byteDelay() const {
    if (config_.baud == 0) {
        return std::chrono::nanoseconds{0};
    }
    constexpr std::int64_t kBitsPerByte = 10;
    return std::chrono::nanoseconds{kBitsPerByte * 1'000'000'000LL / config_.baud};
}

} // namespace dlu::sim
