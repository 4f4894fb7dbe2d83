#pragma once

#include "comm/LoaderFrame.h"

#include <array>
#include <cstdint>
#include <span>

namespace dlu {

// Reads one response frame, one byte at a time. The protocol object hands it every byte the
// channel gives and stops as soon as the answer is not NeedMore. A value type with no
// allocation: the data bytes land in a fixed 256-byte buffer.
//
// Noise before the head and repeated head bytes are skipped. With the station header in use
// the station and sequence bytes must match the request at once; a response for another
// station or request is an error, not something to skip.
class FrameReceiver {
public:
    enum class Result { NeedMore, Good, Bad };

    enum class State {
        Head1,
        Head2,
        Command,
        LengthHigh,
        LengthLow,
        Station,
        Sequence,
        Reserved,
        Data,
        CheckHigh,
        CheckLow,
        Done,
    };

    // Starts a new receive for `expectedCommand`; a response carries the station header exactly
    // when `stationHeader` is set, and must then echo `station` and `sequence`.
    void reset(std::uint8_t expectedCommand, bool stationHeader, std::uint8_t station,
               std::uint8_t sequence);

    // The protocol test reads only the start of its answer: Good as soon as an 'E' command byte
    // or both length bytes of the expected command have arrived; the rest stays unread.
    void resetForHeadOnly(std::uint8_t expectedCommand);

    // Good: a frame of the expected command with a correct check code is complete.
    // Bad: the receive failed; errorCode() says why (a PLC error code from an 'E' frame, or
    // one of the ProtocolError codes).
    Result feed(std::uint8_t byte);

    State state() const { return state_; }
    // Command byte accepted (the expected one or 'E'); valid from State::LengthHigh on.
    std::uint8_t command() const { return command_; }
    // Length field as received (station header included); valid from State::Station on.
    std::uint16_t lengthField() const { return lengthField_; }
    std::uint8_t errorCode() const { return error_; }
    std::size_t bytesRead() const { return bytesRead_; }
    // Whether the head of a frame of the expected command (or 'E') has been found, and how many
    // bytes fed before it were noise or stale: the frame's own bytes start there.
    bool headFound() const { return headFound_; }
    std::size_t frameStart() const { return frameStart_; }
    // Data bytes of the frame (station header not included).
    std::span<const std::uint8_t> data() const { return {data_.data(), dataStored_}; }

private:
    Result fail(std::uint8_t code);
    Result succeed();
    Result afterHeader();
    Result feedHead(std::uint8_t byte);
    Result finish();

    State state_ = State::Head1;
    std::uint8_t expected_ = 0;
    bool stationHeader_ = false;
    bool headOnly_ = false;
    std::uint8_t station_ = 0;
    std::uint8_t sequence_ = 0;

    std::uint8_t command_ = 0;
    std::uint16_t lengthField_ = 0;
    std::size_t dataLength_ = 0;
    std::size_t dataStored_ = 0;
    std::uint16_t crc_ = 0;
    std::uint16_t receivedCheck_ = 0;
    std::size_t bytesRead_ = 0;
    std::size_t frameStart_ = 0;
    bool headFound_ = false;
    std::uint8_t error_ = kErrorNone;
    Result outcome_ = Result::NeedMore;
    std::array<std::uint8_t, frame::kResponseDataSize> data_{};
};

} // namespace dlu
