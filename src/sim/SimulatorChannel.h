#pragma once

#include "comm/Channel.h"
#include "sim/LineEmulation.h"

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
// fake clock turns this into numbers a test can check. With a USB-serial adapter in the line
// (its latency timer set), the bytes of an answer reach the clock's reader when the adapter
// hands over their batch, counted from the clock's time when the request was written.
//
// Without a clock, a simulator with a baud rate or a turnaround is behind an emulated serial
// line in real time: a request takes its wire time to arrive, the answer leaves after the
// turnaround and each of its bytes is handed out no earlier than it would have come through
// the cable. A read waits for its byte at most the receive time-out.
class SimulatorChannel final : public Channel {
public:
    explicit SimulatorChannel(PlcSimulator& simulator, Clock* clock = nullptr);

    void setTimeout(std::chrono::milliseconds timeout) override { timeout_ = timeout; }
    bool write(std::span<const std::uint8_t> bytes) override;
    ChannelRead read() override;
    ChannelRead readWithin(std::chrono::milliseconds limit) override;
    std::size_t readSome(std::span<std::uint8_t> out, std::chrono::milliseconds limit,
                         std::uint8_t& status) override;
    std::chrono::microseconds byteTime() const override;
    void close() override { open_ = false; }

    // Opens the channel again after close(): a new connection to the same simulator.
    void reopen();
    bool isOpen() const { return open_; }
    std::chrono::milliseconds timeout() const override { return timeout_; }
    std::size_t pendingBytes() const { return pending_.size() - next_; }

private:
    void pace(std::size_t bytes);
    // The bytes of one answer on the emulated line: pending_[first] leaves at `start`.
    struct Block {
        std::size_t first;
        LineEmulation::TimePoint start;
    };
    ChannelRead readPaced();
    ChannelRead readThroughAdapter();
    // The line that times the bytes handed out: the real-time one, or the adapter's on a clock.
    const LineEmulation& timing() const { return clock_ ? adapter_ : line_; }
    // When pending_[next_] comes through the emulated line.
    LineEmulation::TimePoint dueTime();

    PlcSimulator& simulator_;
    Clock* clock_;
    bool open_ = true;
    std::chrono::milliseconds timeout_{3000};
    std::vector<std::uint8_t> pending_;
    std::size_t next_ = 0;
    std::chrono::nanoseconds owed_{0}; // line time not yet handed to the clock
    LineEmulation line_;
    LineEmulation adapter_;     // with a clock: the adapter model alone, the baud for its arrivals
    std::vector<Block> blocks_; // answers not fully read, oldest first
    std::size_t block_ = 0;     // the block of pending_[next_]
};

} // namespace dlu::sim
