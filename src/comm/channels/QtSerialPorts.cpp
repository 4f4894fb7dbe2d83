#include "comm/channels/QtSerialPorts.h"

#include "comm/SerialPortOrder.h"
#include "comm/channels/AdapterLatency.h"

#include <QSerialPortInfo>

#include <unistd.h>

#include <algorithm>
#include <utility>

namespace dlu {

std::vector<DescribedSerialPort> describedSerialPorts() {
    std::vector<DescribedSerialPort> ports;
    const auto driver = systemSerialLatencyDriver();
    for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts()) {
        const std::string location = info.systemLocation().toStdString();
        const std::optional<unsigned> latency = driver->latencyTimer(location);
        ports.push_back({{info.portName(), info.systemLocation(), info.hasVendorIdentifier()},
                         info.description(),
                         info.manufacturer(),
                         latency,
                         latency && ::access(latencyTimerPath(location).c_str(), W_OK) == 0});
    }
    std::sort(ports.begin(), ports.end(),
              [](const DescribedSerialPort& a, const DescribedSerialPort& b) {
                  return serialPortNameLess(a.port.name.toStdString(), b.port.name.toStdString());
              });
    return ports;
}

std::vector<SerialPortEntry> systemSerialPorts() {
    std::vector<SerialPortEntry> ports;
    for (auto& described : describedSerialPorts()) {
        ports.push_back(std::move(described.port));
    }
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
