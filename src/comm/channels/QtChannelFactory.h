#pragma once

#include "comm/ChannelFactory.h"
#include "comm/channels/AdapterLatency.h"
#include "comm/channels/QtSerialPorts.h"

namespace dlu {

// Makes the Qt channel objects. They use the blocking Qt API and need no running event loop,
// but a QCoreApplication must exist (the command line creates one too).
class QtChannelFactory final : public ChannelFactory {
public:
    // The serial and USB channels lower a USB-serial adapter's latency timer through
    // `latency` (the system's driver, silent, when none is given).
    explicit QtChannelFactory(SerialPortLister ports = systemSerialPorts,
                              std::shared_ptr<AdapterLatency> latency = nullptr);

    std::unique_ptr<DeviceChannel> create(std::uint8_t connectionType) override;
    std::uint32_t resolveHostName(std::string_view hostName) override;

private:
    SerialPortLister ports_;
    std::shared_ptr<AdapterLatency> latency_;
};

} // namespace dlu
