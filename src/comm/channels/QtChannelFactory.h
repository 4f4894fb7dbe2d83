#pragma once

#include "comm/ChannelFactory.h"
#include "comm/channels/QtSerialPorts.h"

namespace dlu {

// Makes the Qt channel objects. They use the blocking Qt API and need no running event loop,
// but a QCoreApplication must exist (the command line creates one too).
class QtChannelFactory final : public ChannelFactory {
public:
    explicit QtChannelFactory(SerialPortLister ports = systemSerialPorts);

    std::unique_ptr<DeviceChannel> create(std::uint8_t connectionType) override;
    std::uint32_t resolveHostName(std::string_view hostName) override;

private:
    SerialPortLister ports_;
};

} // namespace dlu
