#pragma once

#include "comm/ChannelFactory.h"
#include "comm/ForwardingChannel.h"
#include "comm/channels/QtSerialLink.h"
#include "comm/channels/QtSerialPorts.h"

namespace dlu {

// The PLC's USB port, which the computer sees as a USB serial device (CDC-ACM): the first
// port of the list that reports a USB vendor identifier. The baud rate means nothing to such
// a device; it is set only because a serial port wants one.
class QtUsbChannel final : public ForwardingChannel<QtSerialLink> {
public:
    static constexpr std::uint32_t kBaudRate = 115200;

    // `latency`: the adapter latency requests shared by the channels of one factory.
    explicit QtUsbChannel(SerialPortLister ports,
                          std::shared_ptr<AdapterLatency> latency = nullptr);

    bool open(const OpenParams& params) override;
    // The latency timer of the open port's adapter; nothing when it has none.
    std::optional<unsigned> latencyTimer() const { return link_.latencyTimer(); }

private:
    SerialPortLister ports_;
};

} // namespace dlu
