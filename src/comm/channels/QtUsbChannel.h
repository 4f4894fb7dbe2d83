#pragma once

#include "comm/ChannelFactory.h"
#include "comm/channels/QtSerialLink.h"
#include "comm/channels/QtSerialPorts.h"

namespace dlu {

// The PLC's USB port, which the computer sees as a USB serial device (CDC-ACM): the first
// port of the list that reports a USB vendor identifier. The baud rate means nothing to such
// a device; it is set only because a serial port wants one.
class QtUsbChannel final : public DeviceChannel {
public:
    static constexpr std::uint32_t kBaudRate = 115200;

    // `latency`: the adapter latency requests shared by the channels of one factory.
    explicit QtUsbChannel(SerialPortLister ports,
                          std::shared_ptr<AdapterLatency> latency = nullptr);

    bool open(const OpenParams& params) override;
    void setTimeout(std::chrono::milliseconds timeout) override { link_.setTimeout(timeout); }
    bool write(std::span<const std::uint8_t> bytes) override { return link_.write(bytes); }
    ChannelRead read() override { return link_.read(); }
    ChannelRead readWithin(std::chrono::milliseconds limit) override {
        return link_.readWithin(limit);
    }
    std::size_t readSome(std::span<std::uint8_t> out, std::chrono::milliseconds limit,
                         std::uint8_t& status) override {
        return link_.readSome(out, limit, status);
    }
    std::chrono::milliseconds timeout() const override { return link_.timeout(); }
    std::chrono::microseconds byteTime() const override { return link_.byteTime(); }
    void close() override { link_.close(); }
    std::string failureCause() const override { return link_.failureCause(); }
    // The latency timer of the open port's adapter; nothing when it has none.
    std::optional<unsigned> latencyTimer() const { return link_.latencyTimer(); }

private:
    SerialPortLister ports_;
    QtSerialLink link_;
};

} // namespace dlu
