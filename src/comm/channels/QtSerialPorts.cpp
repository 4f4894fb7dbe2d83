#include "comm/channels/QtSerialPorts.h"

#include "comm/SerialPortOrder.h"

#include <QSerialPortInfo>

#include <algorithm>

namespace dlu {

std::vector<SerialPortEntry> systemSerialPorts() {
    std::vector<SerialPortEntry> ports;
    for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts()) {
        ports.push_back({info.portName(), info.systemLocation(), info.hasVendorIdentifier()});
    }
    std::sort(ports.begin(), ports.end(), [](const SerialPortEntry& a, const SerialPortEntry& b) {
        return serialPortNameLess(a.name.toStdString(), b.name.toStdString());
    });
    return ports;
}

} // namespace dlu
