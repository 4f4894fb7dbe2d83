#include "comm/SetupPageDefaults.h"

#include "comm/CommSet.h"

namespace dlu {

namespace {

constexpr std::uint8_t kDefaultBaudIndex = 7; // 38400 bit/s
constexpr std::uint16_t kSerialTimeout = 1;
constexpr std::uint16_t kNetworkTimeout = 5;
constexpr std::uint8_t kRetries = 2;
constexpr std::uint32_t kLoopback = 0x7F000001; // 127.0.0.1
constexpr std::uint16_t kEthernetPort = 10266;
constexpr std::uint16_t kSimulatorPort = 10523;

struct SerialLine {
    std::uint8_t& port;
    std::uint8_t& bps;
    std::uint16_t& timeout;
    std::uint8_t& retry;
    std::uint8_t& station;
    std::uint8_t& rtsCts;
};

void resetLine(const SerialLine& line) {
    line.port = 0;
    line.bps = kDefaultBaudIndex;
    line.timeout = kSerialTimeout;
    line.retry = kRetries;
    line.station = CommSet::kStationNotUsed;
    line.rtsCts = 0;
}

} // namespace

void resetSetupPage(CommSet& r, std::uint8_t type) {
    switch (type) {
    case kConSerial:
        resetLine({r.nRS232port, r.nRS232bps, r.nRS232to, r.nRS232retry, r.nRS232station,
                   r.nRS232RtsCts});
        break;
    case kConDialUp:
        resetLine(
            {r.nDIALport, r.nDIALbps, r.nDIALto, r.nDIALretry, r.nDIALstation, r.nDIALRtsCts});
        r.strDIALcallNo.clear();
        r.strDIALexitNo.clear();
        r.strDIALinitCmd = "ATZ";
        break;
    case kConLeasedLine:
        resetLine(
            {r.nLINEport, r.nLINEbps, r.nLINEto, r.nLINEretry, r.nLINEstation, r.nLINERtsCts});
        r.nLINEwireNo = 0;
        break;
    case kConEthernet:
        r.nETHERNETto = kNetworkTimeout;
        r.nETHERNETretry = kRetries;
        r.nETHERNETip = 0;
        r.strETHERNETdomain.clear();
        r.bETHERNETuse = 0;
        r.nETHERNETstation = 0;
        r.wETHERNETSocket = kEthernetPort;
        break;
    case kConSimulator:
        r.nSIMULATORto = kNetworkTimeout;
        r.nSIMULATORretry = kRetries;
        r.nSIMULATORip = kLoopback;
        r.strSIMULATORdomain.clear();
        r.bSIMULATORuse = 0;
        r.nSIMULATORstation = 0;
        r.wSIMULATORSocket = kSimulatorPort;
        break;
    case kConUsb:
        r.nUSBto = kNetworkTimeout;
        r.nUSBretry = kRetries;
        break;
    default:
        break;
    }
}

} // namespace dlu
