#pragma once

#include "sim/LineEmulation.h"

#include <chrono>
#include <cstdint>
#include <optional>
#include <random>
#include <set>
#include <vector>

namespace dlu::sim {

// Makes the simulator misbehave on purpose, so that the program's handling of every kind of
// trouble can be seen from its side. Requests and responses are counted from 1 since the
// simulator was made.
struct FaultConfig {
    // Answer a request with 'E' and `code`: every request of `command` (when set), and/or only
    // the request number `nth` (when not 0).
    struct ErrorRule {
        std::optional<std::uint8_t> command;
        std::uint64_t nth = 0;
        std::uint8_t code = 0;
    };

    std::set<std::uint64_t> corruptResponses; // these responses go out with a wrong check code
    double corruptRate = 0.0;                 // ... and each other one with this probability
    std::uint32_t seed = 1;                   // seed of that random choice
    std::vector<ErrorRule> errorReplies;
    std::set<std::uint64_t> dropRequests; // these requests get no answer at all
    std::set<std::uint64_t> loseWrites;   // these writes (or last image blocks) change nothing
    std::set<std::uint64_t> loseAnswers;  // these requests are carried out, their answer lost
    bool echo = false;                    // loopback cable: every byte comes back unchanged
    std::uint64_t closeAfterFrames = 0;   // close the connection after this many responses
    std::uint32_t baud = 0;               // serial line speed to emulate, 0 = no pacing
    std::uint32_t turnaroundMs = 0;       // the PLC's time from a request to its answer
    std::uint32_t adapterLatencyMs = 0;   // USB-serial adapter's latency timer, 0 = no adapter
    // At the first request of this command the simulator stops dead and never returns: a
    // test hook that holds the program at a chosen point of a transfer until it is killed.
    std::optional<std::uint8_t> hangOnCommand;
};

// The fault switches, asked by the dispatcher at each step of a request and its response.
class SimFaults {
public:
    explicit SimFaults(FaultConfig config) : config_(std::move(config)), random_(config_.seed) {}

    FaultConfig& config() { return config_; }
    const FaultConfig& config() const { return config_; }

    bool echoes() const { return config_.echo; }
    // Request number `request` goes unanswered.
    bool drops(std::uint64_t request) const { return config_.dropRequests.contains(request); }
    // The simulator is to stop dead at this request of `command`.
    bool hangs(std::uint8_t command) {
        hung_ = hung_ || (config_.hangOnCommand && command == *config_.hangOnCommand);
        return hung_;
    }
    // Request number `request`, a write or the last block of a device image, is confirmed
    // without being carried out.
    bool losesWrite(std::uint64_t request) const { return config_.loseWrites.contains(request); }
    // Request number `request` is carried out but its answer never reaches the line.
    bool losesAnswer(std::uint64_t request) const { return config_.loseAnswers.contains(request); }
    // The rule that answers request number `request` of `command` with an error, if any.
    const FaultConfig::ErrorRule* errorRuleFor(std::uint8_t command, std::uint64_t request) const;
    // Response number `response` goes out with a wrong check code. Draws from the random
    // choice once per response, so call it exactly once for each.
    bool corrupts(std::uint64_t response);
    // The connection closes after `sent` responses on it.
    bool closesAfter(std::uint64_t sent) const {
        return config_.closeAfterFrames != 0 && sent >= config_.closeAfterFrames;
    }
    // Time one byte takes on the emulated serial line (start bit, 8 data bits, stop bit); zero
    // when no baud rate is set.
    std::chrono::nanoseconds byteDelay() const;
    // The serial line of the baud rate, turnaround and adapter, with nothing on it yet.
    LineEmulation line() const {
        LineEmulation line{config_.baud, std::chrono::milliseconds{config_.turnaroundMs}};
        line.setAdapterLatency(std::chrono::milliseconds{config_.adapterLatencyMs});
        return line;
    }

private:
    FaultConfig config_;
    std::mt19937 random_;
    bool hung_ = false;
};

} // namespace dlu::sim
