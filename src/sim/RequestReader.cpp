#include "sim/RequestReader.h"

#include "comm/Crc16Dnp.h"

namespace dlu::sim {

namespace {

// The largest body that fits a request buffer together with head, length and check code.
constexpr std::size_t kMaxBody = frame::kRequestBufferSize - frame::kPrefixSize - frame::kCheckSize;

} // namespace

void RequestReader::reset() {
    state_ = State::Head1;
    command_ = 0;
    length_ = 0;
    stored_ = 0;
    check_ = 0;
    frameSize_ = 0;
}

void RequestReader::keep(std::uint8_t byte) {
    if (frameSize_ < frame_.size()) {
        frame_[frameSize_++] = byte;
    }
}

RequestReader::Result RequestReader::feed(std::uint8_t byte) {
    switch (state_) {
    case State::Head1:
        if (byte == frame::kHead1) {
            frameSize_ = 0;
            keep(byte);
            state_ = State::Head2;
        }
        return Result::NeedMore;
    case State::Head2:
        if (byte == frame::kHead2) {
            keep(byte);
            state_ = State::Command;
        } else if (byte != frame::kHead1) {
            state_ = State::Head1;
        }
        return Result::NeedMore;
    case State::Command:
        keep(byte);
        command_ = byte;
        state_ = State::LengthHigh;
        return Result::NeedMore;
    case State::LengthHigh:
        keep(byte);
        length_ = static_cast<std::size_t>(byte) << 8;
        state_ = State::LengthLow;
        return Result::NeedMore;
    case State::LengthLow:
        keep(byte);
        length_ |= byte;
        stored_ = 0;
        if (length_ > kMaxBody) {
            reset();
            return Result::TooLong;
        }
        state_ = length_ == 0 ? State::CheckHigh : State::Body;
        return Result::NeedMore;
    case State::Body:
        keep(byte);
        body_[stored_++] = byte;
        if (stored_ == length_) {
            state_ = State::CheckHigh;
        }
        return Result::NeedMore;
    case State::CheckHigh:
        keep(byte);
        check_ = static_cast<std::uint16_t>(byte << 8);
        state_ = State::CheckLow;
        return Result::NeedMore;
    case State::CheckLow: {
        keep(byte);
        check_ = static_cast<std::uint16_t>(check_ | byte);
        state_ = State::Head1;
        // The check code runs from the command byte: skip the two head bytes.
        const auto covered = std::span(frame_).subspan(2, frameSize_ - 2 - frame::kCheckSize);
        return Crc16Dnp::compute(covered) == check_ ? Result::Good : Result::BadCheck;
    }
    }
    return Result::NeedMore;
}

} // namespace dlu::sim
