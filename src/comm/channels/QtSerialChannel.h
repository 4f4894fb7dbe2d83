#pragma once

#include "comm/ChannelFactory.h"
#include "comm/ForwardingChannel.h"
#include "comm/channels/QtSerialLink.h"
#include "comm/channels/QtSerialPorts.h"

namespace dlu {

// The PLC on a serial line. The stored port index is a position in the sorted port list.
class QtSerialChannel final : public ForwardingChannel<QtSerialLink> {
public:
    // `latency`: the adapter latency requests shared by the channels of one factory.
    explicit QtSerialChannel(SerialPortLister ports,
                             std::shared_ptr<AdapterLatency> latency = nullptr);

    bool open(const OpenParams& params) override;
    // The latency timer of the open port's adapter; nothing when it has none.
    std::optional<unsigned> latencyTimer() const { return link_.latencyTimer(); }

private:
    SerialPortLister ports_;
};

// Opens `link` on `params.device`, or without one on the port at `params.portIndex` of
// `ports`; shared with the modem channel.
bool openSerialByIndex(QtSerialLink& link, const SerialPortLister& ports,
                       const SerialOpenParams& params);

} // namespace dlu
