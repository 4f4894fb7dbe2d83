#pragma once

#include <chrono>
#include <cstdint>
#include <span>

namespace dlu {

enum class FrameDirection { Sent, Received };

// Port for a frame trace: every frame the protocol sends and every frame it receives (also
// the broken ones it gives up on). Password blocks are masked before they reach the sink.
class FrameTrace {
public:
    virtual ~FrameTrace() = default;
    virtual void frame(FrameDirection direction, std::chrono::system_clock::time_point when,
                       std::span<const std::uint8_t> bytes) = 0;
};

} // namespace dlu
