#include "comm/channels/QtChannelFactory.h"

#include "comm/CommSet.h"
#include "comm/channels/QtDialUpChannel.h"
#include "comm/channels/QtSerialChannel.h"
#include "comm/channels/QtTcpChannel.h"
#include "comm/channels/QtUsbChannel.h"

#include <QHostAddress>
#include <QHostInfo>

namespace dlu {

QtChannelFactory::QtChannelFactory(SerialPortLister ports, std::shared_ptr<AdapterLatency> latency)
    : ports_(std::move(ports)),
      latency_(latency ? std::move(latency) : std::make_shared<AdapterLatency>()) {}

std::unique_ptr<DeviceChannel> QtChannelFactory::create(std::uint8_t connectionType) {
    switch (connectionType) {
    case kConSerial:
        return std::make_unique<QtSerialChannel>(ports_, latency_);
    case kConDialUp:
        return std::make_unique<QtDialUpChannel>(ports_);
    case kConEthernet:
    case kConSimulator:
        return std::make_unique<QtTcpChannel>();
    case kConUsb:
        return std::make_unique<QtUsbChannel>(ports_, latency_);
    default:
        return nullptr;
    }
}

std::uint32_t QtChannelFactory::resolveHostName(std::string_view hostName) {
    if (hostName.empty()) {
        return 0;
    }
    const QHostInfo info = QHostInfo::fromName(
        QString::fromUtf8(hostName.data(), static_cast<qsizetype>(hostName.size())));
    std::uint32_t address = 0;
    // The last IPv4 address wins when a name has several.
    for (const QHostAddress& a : info.addresses()) {
        if (a.protocol() == QAbstractSocket::IPv4Protocol) {
            address = a.toIPv4Address();
        }
    }
    return address;
}

} // namespace dlu
