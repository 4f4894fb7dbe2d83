#pragma once

#include "comm/Channel.h"
#include "comm/channels/AdapterLatency.h"
#include "comm/channels/ArrivalBuffer.h"

#include <QSerialPort>
#include <QString>

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>

class QSerialPort;

namespace dlu {

// A serial port driven with the blocking Qt API, shared by the serial, modem and USB
// channels. Remembers how the last open ended, so that a read can tell a port that could not
// be opened (kChannelPortMissing) from one nobody opened (kChannelNotOpen).
class QtSerialLink {
public:
    enum class State { Closed, OpenFailed, Open };

    // `latency` lowers a USB-serial adapter's latency timer while the port is open.
    explicit QtSerialLink(std::shared_ptr<AdapterLatency> latency = nullptr);
    ~QtSerialLink();

    // 8 data bits, no parity, one stop bit.
    bool open(const QString& systemLocation, std::uint32_t baudRate, bool rtsCts);
    // For a port that is not there at all (index outside the list, no USB device).
    void markOpenFailed();
    void close();
    State state() const { return state_; }

    void setTimeout(std::chrono::milliseconds timeout) { timeout_ = timeout; }
    std::chrono::milliseconds timeout() const { return timeout_; }

    // The time-out covers the wait for the line to take the block, on top of the time the
    // bytes need on the wire at the port's baud rate.
    bool write(std::span<const std::uint8_t> bytes);
    bool writeText(std::string_view text);
    ChannelRead read() { return readWithin(timeout_); }
    ChannelRead readWithin(std::chrono::milliseconds limit);
    std::size_t readSome(std::span<std::uint8_t> out, std::chrono::milliseconds limit,
                         std::uint8_t& status);
    // Ten bit times at the port's baud rate.
    std::chrono::microseconds byteTime() const {
        return std::chrono::microseconds(10'000'000 / (baudRate_ == 0 ? 1 : baudRate_));
    }

    // Takes what arrived into the buffer, waiting at most `wait` when nothing is there.
    bool fill(std::chrono::milliseconds wait);
    ArrivalBuffer& buffer() { return buffer_; }

    QSerialPort& port() { return *port_; }
    // The adapter's latency timer while open (nothing when the port has none).
    std::optional<unsigned> latencyTimer() const { return latencyChange_.timer; }

    // Why the last open failed or the line was lost; empty when nothing is known.
    const std::string& failureCause() const { return cause_; }
    // The system's error behind a serial port error Qt reports.
    static int systemError(QSerialPort::SerialPortError error);

private:
    std::unique_ptr<QSerialPort> port_;
    std::shared_ptr<AdapterLatency> latency_;
    LatencyChange latencyChange_;
    ArrivalBuffer buffer_;
    State state_ = State::Closed;
    std::string cause_;
    std::uint32_t baudRate_ = 9600;
    std::chrono::milliseconds timeout_{3000};
};

} // namespace dlu
