#include "comm/FrameReceiver.h"

#include "comm/Crc16Dnp.h"

namespace dlu {

namespace {

// The largest data length a frame can announce and still end within the receive limit.
constexpr std::size_t kMaxAnnouncedLength =
    frame::kMaxReceiveBytes - frame::kPrefixSize - frame::kCheckSize;

} // namespace

void FrameReceiver::reset(std::uint8_t expectedCommand, bool stationHeader, std::uint8_t station,
                          std::uint8_t sequence) {
    state_ = State::Head1;
    expected_ = expectedCommand;
    stationHeader_ = stationHeader;
    station_ = station;
    sequence_ = sequence;
    command_ = 0;
    lengthField_ = 0;
    dataLength_ = 0;
    dataStored_ = 0;
    crc_ = Crc16Dnp::kInit;
    receivedCheck_ = 0;
    bytesRead_ = 0;
    frameStart_ = 0;
    headFound_ = false;
    error_ = kErrorNone;
    outcome_ = Result::NeedMore;
    headOnly_ = false;
}

void FrameReceiver::resetForHeadOnly(std::uint8_t expectedCommand) {
    reset(expectedCommand, false, 0, 0);
    headOnly_ = true;
}

FrameReceiver::Result FrameReceiver::succeed() {
    state_ = State::Done;
    error_ = kErrorNone;
    outcome_ = Result::Good;
    return outcome_;
}

FrameReceiver::Result FrameReceiver::fail(std::uint8_t code) {
    error_ = code;
    state_ = State::Done;
    outcome_ = Result::Bad;
    return outcome_;
}

FrameReceiver::Result FrameReceiver::afterHeader() {
    state_ = dataLength_ == 0 ? State::CheckHigh : State::Data;
    return Result::NeedMore;
}

// The frame's head: the two head bytes, then the command byte the request allows (or the
// error answer's).
FrameReceiver::Result FrameReceiver::feedHead(std::uint8_t byte) {
    switch (state_) {
    case State::Head1:
        if (byte == frame::kHead1) {
            state_ = State::Head2;
            frameStart_ = bytesRead_ - 1;
        }
        return Result::NeedMore;
    case State::Head2:
        if (byte == frame::kHead2) {
            state_ = State::Command;
        } else if (byte == frame::kHead1) {
            frameStart_ = bytesRead_ - 1; // a repeated head byte: the frame starts here
        } else {
            state_ = State::Head1;
        }
        return Result::NeedMore;
    case State::Command:
        if (byte == expected_ || byte == frame::kErrorCommand) {
            headFound_ = true;
            command_ = byte;
            crc_ = Crc16Dnp::update(Crc16Dnp::kInit, byte);
            state_ = State::LengthHigh;
            if (headOnly_ && byte == frame::kErrorCommand) {
                return succeed();
            }
        } else {
            // A rejected command byte may itself start the next frame (the tail of an
            // unread response can end in a head byte).
            state_ = byte == frame::kHead1 ? State::Head2 : State::Head1;
            frameStart_ = bytesRead_ - 1;
        }
        return Result::NeedMore;
    default:
        break;
    }
    return Result::NeedMore;
}

FrameReceiver::Result FrameReceiver::feed(std::uint8_t byte) {
    if (state_ == State::Done) {
        return outcome_; // a finished receive takes no more bytes
    }
    ++bytesRead_;
    if (bytesRead_ > frame::kMaxReceiveBytes) {
        return fail(kErrorFrameDoesNotFit);
    }

    switch (state_) {
    case State::Head1:
    case State::Head2:
    case State::Command:
        return feedHead(byte);
    case State::LengthHigh:
        crc_ = Crc16Dnp::update(crc_, byte);
        lengthField_ = static_cast<std::uint16_t>(byte << 8);
        state_ = State::LengthLow;
        return Result::NeedMore;
    case State::LengthLow:
        crc_ = Crc16Dnp::update(crc_, byte);
        lengthField_ = static_cast<std::uint16_t>(lengthField_ | byte);
        dataLength_ = lengthField_;
        if (headOnly_) {
            return succeed();
        }
        // A length that cannot end within the receive limit, or that is too short to hold
        // the station header, can never become a good frame: give up now rather than wait.
        if (dataLength_ > kMaxAnnouncedLength) {
            return fail(kErrorFrameDoesNotFit);
        }
        if (stationHeader_) {
            if (dataLength_ < frame::kStationHeaderSize) {
                return fail(kErrorFrameDoesNotFit);
            }
            dataLength_ -= frame::kStationHeaderSize;
            state_ = State::Station;
            return Result::NeedMore;
        }
        return afterHeader();
    case State::Station:
        crc_ = Crc16Dnp::update(crc_, byte);
        if (byte != station_) {
            return fail(kErrorStationMismatch);
        }
        state_ = State::Sequence;
        return Result::NeedMore;
    case State::Sequence:
        crc_ = Crc16Dnp::update(crc_, byte);
        if (byte != sequence_) {
            return fail(kErrorSequenceMismatch);
        }
        state_ = State::Reserved;
        return Result::NeedMore;
    case State::Reserved:
        crc_ = Crc16Dnp::update(crc_, byte);
        return afterHeader();
    case State::Data:
        crc_ = Crc16Dnp::update(crc_, byte);
        data_[dataStored_++] = byte;
        if (dataStored_ == dataLength_) {
            state_ = State::CheckHigh;
        }
        return Result::NeedMore;
    case State::CheckHigh:
        receivedCheck_ = static_cast<std::uint16_t>(byte << 8);
        state_ = State::CheckLow;
        return Result::NeedMore;
    case State::CheckLow:
        receivedCheck_ = static_cast<std::uint16_t>(receivedCheck_ | byte);
        return finish();
    case State::Done:
        break;
    }
    return fail(kErrorNone);
}

FrameReceiver::Result FrameReceiver::finish() {
    if (Crc16Dnp::final(crc_) != receivedCheck_) {
        return fail(kErrorCheckCode);
    }
    if (command_ == frame::kErrorCommand && expected_ != frame::kErrorCommand) {
        // An error frame without its code byte is broken, not "no error".
        return fail(dataStored_ > 0 ? data_[0] : std::uint8_t{kErrorFrameDoesNotFit});
    }
    return succeed();
}

} // namespace dlu
