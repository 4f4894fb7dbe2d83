#pragma once

#include "comm/Channel.h"

#include <chrono>
#include <cstdint>
#include <vector>

namespace dlu {
class Clock;
}

namespace dlu::sim {

class PlcSimulator;

// Connects the protocol straight to a simulator in the same process: a write hands the request
// to the simulator, a read takes the next byte of its answer. Nothing ever waits: with no byte
// pending a read times out at once, and after the simulator closed the connection it reports
// the link as lost.
//
// With a clock, the channel lets that clock account for time as a serial line would: each byte
// takes the simulator's byte delay and a time-out takes the configured receive time-out. A
// fake clock turns this into numbers a test can check.
class SimulatorChannel final : public Channel {
public:
    explicit SimulatorChannel(PlcSimulator& simulator, Clock* clock = nullptr);

    void setTimeout(std::chrono::milliseconds timeout) override { timeout_ = timeout; }
    bool write(std::span<const std::uint8_t> bytes) override;
    ChannelRead read() override;
    ChannelRead readWithin(std::chrono::milliseconds limit) override;
    std::chrono::microseconds byteTime() const override;
    void close() override { open_ = false; }

    // Opens the channel again after close(): a new connection to the same simulator.
    void reopen();
    bool isOpen() const { return open_; }
    std::chrono::milliseconds timeout() const override { return timeout_; }
    std::size_t pendingBytes() const { return pending_.size() - next_; }

private:
    void pace(std::size_t bytes);

    PlcSimulator& simulator_;
    Clock* clock_;
    bool open_ = true;
    std::chrono::milliseconds timeout_{3000};
    std::vector<std::uint8_t> pending_;
    std::size_t next_ = 0;
    std::chrono::nanoseconds owed_{0}; // line time not yet handed to the clock
};

} // namespace dlu::sim
