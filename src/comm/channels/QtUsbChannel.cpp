#include "comm/channels/QtUsbChannel.h"

#include <algorithm>

namespace dlu {

QtUsbChannel::QtUsbChannel(SerialPortLister ports, std::shared_ptr<AdapterLatency> latency)
    : ForwardingChannel(std::move(latency)), ports_(std::move(ports)) {}

bool QtUsbChannel::open(const OpenParams& params) {
    const auto* usbParams = std::get_if<UsbOpenParams>(&params);
    if (usbParams && !usbParams->device.empty()) {
        return link_.open(QString::fromStdString(usbParams->device), kBaudRate, false);
    }
    if (!usbParams || !ports_) {
        link_.markOpenFailed();
        return false;
    }
    const std::vector<SerialPortEntry> list = ports_();
    const auto usb = std::find_if(list.begin(), list.end(),
                                  [](const SerialPortEntry& p) { return p.usbDevice; });
    if (usb == list.end()) {
        link_.markOpenFailed();
        return false;
    }
    return link_.open(usb->systemLocation, kBaudRate, false);
}

} // namespace dlu
