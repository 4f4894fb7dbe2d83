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

std::vector<std::string> serialPortPaths(const std::vector<SerialPortEntry>& ports) {
    std::vector<std::string> paths;
    paths.reserve(ports.size());
    for (const SerialPortEntry& p : ports) {
        paths.push_back(p.systemLocation.toStdString());
    }
    return paths;
}

} // namespace dlu
