#pragma once

#include "comm/LoaderFrame.h"

#include <array>
#include <cstdint>
#include <span>

namespace dlu::sim {

// The PLC's side of the framing: collects one request frame from the bytes the program sends.
// The length field alone delimits a frame, so the reader needs no knowledge of the commands;
// whether the body starts with a station header is decided by the simulator afterwards.
class RequestReader {
public:
    enum class Result { NeedMore, Good, BadCheck, TooLong };

    void reset();
    Result feed(std::uint8_t byte);

    std::uint8_t command() const { return command_; }
    // Everything the length field counts: station header (if any) and data.
    std::span<const std::uint8_t> body() const { return {body_.data(), length_}; }
    // The whole frame as received, head bytes to check code (valid after Good or BadCheck).
    std::span<const std::uint8_t> frameBytes() const { return {frame_.data(), frameSize_}; }

private:
    enum class State { Head1, Head2, Command, LengthHigh, LengthLow, Body, CheckHigh, CheckLow };

    void keep(std::uint8_t byte);

    State state_ = State::Head1;
    std::uint8_t command_ = 0;
    std::size_t length_ = 0;
    std::size_t stored_ = 0;
    std::uint16_t check_ = 0;
    std::array<std::uint8_t, frame::kRequestBufferSize> body_{};
    std::array<std::uint8_t, frame::kRequestBufferSize> frame_{};
    std::size_t frameSize_ = 0;
};

} // namespace dlu::sim
