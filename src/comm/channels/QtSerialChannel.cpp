#include "comm/channels/QtSerialChannel.h"

#include "comm/CommSet.h"

namespace dlu {

bool openSerialByIndex(QtSerialLink& link, const SerialPortLister& ports,
                       const SerialOpenParams& params) {
    const std::optional<std::uint32_t> baud = baudRateOfIndex(params.baudIndex);
    if (!params.device.empty()) {
        if (!baud) {
            link.markOpenFailed();
            return false;
        }
        return link.open(QString::fromStdString(params.device), *baud, params.rtsCts);
    }
    const std::vector<SerialPortEntry> list = ports ? ports() : std::vector<SerialPortEntry>{};
    if (params.portIndex >= list.size() || !baud) {
        link.markOpenFailed();
        return false;
    }
    return link.open(list[params.portIndex].systemLocation, *baud, params.rtsCts);
}

QtSerialChannel::QtSerialChannel(SerialPortLister ports, std::shared_ptr<AdapterLatency> latency)
    : ForwardingChannel(std::move(latency)), ports_(std::move(ports)) {}

bool QtSerialChannel::open(const OpenParams& params) {
    const auto* serial = std::get_if<SerialOpenParams>(&params);
    if (!serial) {
        link_.markOpenFailed();
        return false;
    }
    return openSerialByIndex(link_, ports_, *serial);
}

} // namespace dlu
