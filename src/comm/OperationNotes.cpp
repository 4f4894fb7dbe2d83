#include "comm/OperationNotes.h"

#include "comm/COnlineModule.h"
#include "comm/ConnectionDescription.h"

#include <type_traits>

namespace dlu {

namespace {

std::string lineDevice(const SerialLine& line) {
    return line.device.empty() ? "port index " + std::to_string(line.portIndex) : line.device;
}

std::string networkAddress(const NetworkTarget& target) {
    std::string host = target.host;
    if (target.address != 0) {
        host.clear();
        for (int shift = 24; shift >= 0; shift -= 8) {
            host += std::to_string((target.address >> shift) & 0xFF);
            host += shift > 0 ? "." : "";
        }
    }
    return host + ":" + std::to_string(target.port);
}

} // namespace

void noteLink(OperationRecord& record, const ConnectionDescription& link) {
    std::visit(
        [&record](const auto& l) {
            using L = std::decay_t<decltype(l)>;
            if constexpr (std::is_same_v<L, SerialLink>) {
                record.connectionType = "serial";
                record.connectionAddress = lineDevice(l.line);
            } else if constexpr (std::is_same_v<L, DialUpLink>) {
                record.connectionType = "dialup";
                record.connectionAddress = lineDevice(l.line);
            } else if constexpr (std::is_same_v<L, LeasedLineLink>) {
                record.connectionType = "leased-line";
                record.connectionAddress = lineDevice(l.line);
            } else if constexpr (std::is_same_v<L, EthernetLink>) {
                record.connectionType = "tcp";
                record.connectionAddress = networkAddress(l.target);
            } else if constexpr (std::is_same_v<L, SimulatorLink>) {
                record.connectionType = "sim";
                record.connectionAddress = networkAddress(l.target);
            } else if constexpr (std::is_same_v<L, UsbLink>) {
                record.connectionType = "usb";
                record.connectionAddress = l.device;
            } else if constexpr (std::is_same_v<L, EmbeddedLink>) {
                record.connectionType = "embedded";
                record.connectionAddress.clear();
            } else {
                record.connectionType = "none";
                record.connectionAddress.clear();
            }
        },
        link.link);
}

void notePlc(OperationRecord& record, const COnlineModule& session) {
    record.plcLabel = session.plcIdentity().label;
    if (session.identityWord() != 0xFFFF) {
        record.plcCpuCode = session.plcCpuCode();
        record.plcFirmware = session.firmwareVersion();
    }
}

} // namespace dlu
