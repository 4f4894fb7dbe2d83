#include "comm/channels/QtSerialLink.h"

#include "comm/FailureCause.h"

#include <algorithm>
#include <cerrno>

namespace dlu {

QtSerialLink::QtSerialLink(std::shared_ptr<AdapterLatency> latency)
    : port_(std::make_unique<QSerialPort>()),
      latency_(latency ? std::move(latency) : std::make_shared<AdapterLatency>()) {}

QtSerialLink::~QtSerialLink() { close(); }

bool QtSerialLink::open(const QString& systemLocation, std::uint32_t baudRate, bool rtsCts) {
    close();
    port_->setPortName(systemLocation);
    const bool opened =
        port_->open(QIODevice::ReadWrite) && port_->setBaudRate(static_cast<qint32>(baudRate)) &&
        port_->setDataBits(QSerialPort::Data8) && port_->setParity(QSerialPort::NoParity) &&
        port_->setStopBits(QSerialPort::OneStop) &&
        port_->setFlowControl(rtsCts ? QSerialPort::HardwareControl : QSerialPort::NoFlowControl);
    if (!opened) {
        cause_ = systemErrorCause(systemError(port_->error()), systemLocation.toStdString());
        port_->close();
        state_ = State::OpenFailed;
        return false;
    }
    baudRate_ = baudRate;
    state_ = State::Open;
    latencyChange_ =
        latency_->lower(static_cast<int>(port_->handle()), systemLocation.toStdString());
    return true;
}

void QtSerialLink::markOpenFailed() {
    close();
    state_ = State::OpenFailed;
}

void QtSerialLink::close() {
    if (port_->isOpen()) {
        latency_->restore(static_cast<int>(port_->handle()), latencyChange_);
        port_->close();
    }
    latencyChange_ = {};
    buffer_.clear();
    state_ = State::Closed;
    cause_.clear();
}

int QtSerialLink::systemError(QSerialPort::SerialPortError error) {
    switch (error) {
    case QSerialPort::DeviceNotFoundError:
        return ENOENT;
    case QSerialPort::PermissionError:
        return EACCES;
    case QSerialPort::OpenError:
        return EBUSY;
    case QSerialPort::ResourceError:
        return ENXIO;
    default:
        return EIO;
    }
}

bool QtSerialLink::write(std::span<const std::uint8_t> bytes) {
    if (state_ != State::Open) {
        return false;
    }
    // Ten bit times per byte (start, 8 data, stop), rounded up, so slow lines are not cut
    // short: 512 bytes at 300 bit/s take 17 s.
    const auto wire = std::chrono::milliseconds(
        (static_cast<std::int64_t>(bytes.size()) * 10 * 1000 + baudRate_ - 1) / baudRate_);
    port_->clearError();
    return writeAll(*port_, bytes, timeout_ + wire);
}

bool QtSerialLink::writeText(std::string_view text) {
    return write({reinterpret_cast<const std::uint8_t*>(text.data()), text.size()});
}

ChannelRead QtSerialLink::readWithin(std::chrono::milliseconds limit) {
    ChannelRead in;
    readSome(std::span(&in.byte, 1), limit, in.status);
    return in;
}

std::size_t QtSerialLink::readSome(std::span<std::uint8_t> out, std::chrono::milliseconds limit,
                                   std::uint8_t& status) {
    switch (state_) {
    case State::Closed:
        status = kChannelNotOpen;
        return 0;
    case State::OpenFailed:
        status = kChannelPortMissing;
        return 0;
    case State::Open:
        break;
    }
    port_->clearError();
    const std::size_t n = readSomeBuffered(
        *port_, buffer_, out, std::min(limit, timeout_),
        [this] {
            // A quiet line reports a time-out; anything else (the device went away, the other
            // end of the line closed) means the line is gone.
            const auto e = port_->error();
            return !port_->isOpen() ||
                   (e != QSerialPort::NoError && e != QSerialPort::TimeoutError);
        },
        status);
    if (status == kChannelLinkLost && cause_.empty()) {
        cause_ = "the line on " + port_->portName().toStdString() + " was lost (" +
                 port_->errorString().toStdString() + ")";
    }
    return n;
}

bool QtSerialLink::fill(std::chrono::milliseconds wait) {
    if (state_ != State::Open) {
        return false;
    }
    return fillBuffer(*port_, buffer_, wait);
}

} // namespace dlu
