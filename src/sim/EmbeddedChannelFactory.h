#pragma once

#include "comm/ChannelFactory.h"

#include <cstdint>
#include <memory>
#include <string_view>

namespace dlu {
class Clock;
}

namespace dlu::sim {

class PlcSimulator;

// Channel factory whose every channel leads straight to one simulator in this process, for
// tests and for dlutil's embedded connection. Every connection type but the leased line gets
// such a channel; opening it needs no parameters and always works.
class EmbeddedChannelFactory final : public ChannelFactory {
public:
    explicit EmbeddedChannelFactory(PlcSimulator& simulator, Clock* clock = nullptr)
        : simulator_(simulator), clock_(clock) {}

    std::unique_ptr<DeviceChannel> create(std::uint8_t connectionType) override;
    std::uint32_t resolveHostName(std::string_view hostName) override;

    // Channels made so far (each connect makes one).
    int created() const { return created_; }

private:
    PlcSimulator& simulator_;
    Clock* clock_;
    int created_ = 0;
};

} // namespace dlu::sim
