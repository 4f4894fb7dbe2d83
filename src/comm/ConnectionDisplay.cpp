#include "comm/ConnectionDisplay.h"

#include "comm/CommSet.h"
#include "common/MessageIds.h"
#include "common/StringTable.h"
#include "common/TerminalText.h"
#include "common/TextFormat.h"

namespace dlu {

namespace {

unsigned octet(std::uint32_t address, int shift) { return (address >> shift) & 0xFFU; }

} // namespace

std::string formatIpAddress(std::uint32_t address) {
    return formatText("[ %3u.%3u.%3u.%3u ]", octet(address, 24), octet(address, 16),
                      octet(address, 8), octet(address, 0));
}

std::string connectionDisplayText(const CommSet& record, const Messages& messages) {
    const std::uint8_t type = record.nConType;
    std::string portLabel;
    std::string portValue;
    switch (type) {
    case kConSerial:
        // The serial port number alone is right-aligned in three places: "[ COM  1 ]".
        portLabel = messages(Msg::PortLabel);
        portValue = formatText("[ COM%3d ]", record.nRS232port + 1);
        // Then the device itself, which the number alone may no longer name: "ttyUSB0".
        if (const auto slash = record.strRS232path.find_last_of('/');
            !record.strRS232path.empty()) {
            portValue += " " + displaySafe(slash == std::string::npos
                                               ? record.strRS232path
                                               : record.strRS232path.substr(slash + 1));
        }
        break;
    case kConDialUp:
        portLabel = messages(Msg::PortLabel);
        portValue = formatText("[ COM%d ]", record.nDIALport + 1);
        break;
    case kConLeasedLine:
        portLabel = messages(Msg::PortLabel);
        portValue = formatText("[ COM%d ]", record.nLINEport + 1);
        break;
    case kConEthernet:
        portLabel = messages(Msg::IpAddressLabel);
        portValue = formatIpAddress(record.nETHERNETip);
        break;
    case kConSimulator:
        portLabel = messages(Msg::IpAddressLabel);
        portValue = formatIpAddress(record.nSIMULATORip);
        break;
    case kConUsb:
        portValue =
            formatText("Time Out : [ %d ] / Retry : [ %d ]", record.nUSBto, record.nUSBretry);
        break;
    default:
        break;
    }
    const std::string typeName = isConnectionType(type)
                                     ? std::string(messages(Msg::ConnectionTypeNames + type))
                                     : std::string();
    return std::string(messages(Msg::ConnectionLabel)) + " [ " + typeName + " ] " + " / " +
           portLabel + portValue;
}

} // namespace dlu
