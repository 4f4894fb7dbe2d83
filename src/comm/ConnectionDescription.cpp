#include "comm/ConnectionDescription.h"

#include <algorithm>
#include <type_traits>

namespace dlu {

namespace {

template <class... F> struct Overloaded : F... { using F::operator()...; };
// Spelled out for compilers without aggregate deduction (clang 14, used for the fuzzers).
template <class... F> Overloaded(F...) -> Overloaded<F...>;

// The fields of one serial-port connection type in the record.
struct LineFields {
    std::uint8_t& port;
    std::uint8_t& baud;
    std::uint16_t& timeout;
    std::uint8_t& retry;
    std::uint8_t& station;
    std::uint8_t& rtsCts;
    std::string* path; // the port's device path, where the record keeps one
};

struct NetworkFields {
    std::uint32_t& ip;
    std::string& domain;
    std::uint16_t& socket;
    std::uint16_t& timeout;
    std::uint8_t& retry;
    std::uint8_t& use;
    std::uint8_t& station;
};

LineFields serialFields(CommSet& s) {
    return {s.nRS232port,    s.nRS232bps,    s.nRS232to, s.nRS232retry,
            s.nRS232station, s.nRS232RtsCts, &s.strRS232path};
}
LineFields dialFields(CommSet& s) {
    return {s.nDIALport,    s.nDIALbps,    s.nDIALto, s.nDIALretry,
            s.nDIALstation, s.nDIALRtsCts, nullptr};
}
LineFields leasedFields(CommSet& s) {
    return {s.nLINEport,    s.nLINEbps,    s.nLINEto, s.nLINEretry,
            s.nLINEstation, s.nLINERtsCts, nullptr};
}
NetworkFields ethernetFields(CommSet& s) {
    return {s.nETHERNETip,    s.strETHERNETdomain, s.wETHERNETSocket, s.nETHERNETto,
            s.nETHERNETretry, s.bETHERNETuse,      s.nETHERNETstation};
}
NetworkFields simulatorFields(CommSet& s) {
    return {s.nSIMULATORip,    s.strSIMULATORdomain, s.wSIMULATORSocket, s.nSIMULATORto,
            s.nSIMULATORretry, s.bSIMULATORuse,      s.nSIMULATORstation};
}

void writeLine(const ConnectionDescription& spec, const SerialLine& line, const LineFields& f,
               std::span<const std::string> ports) {
    const auto named = std::find(ports.begin(), ports.end(), line.device);
    f.port = !line.device.empty() && named != ports.end() && named - ports.begin() < 256
                 ? static_cast<std::uint8_t>(named - ports.begin())
                 : line.portIndex;
    f.baud = line.baudIndex;
    f.timeout = spec.timeoutSeconds;
    f.retry = spec.attempts;
    f.station = spec.station;
    f.rtsCts = line.rtsCts ? 1 : 0;
    if (f.path != nullptr) {
        *f.path = !line.device.empty()     ? line.device
                  : f.port < ports.size() ? ports[f.port]
                                          : std::string();
    }
}

SerialLine readLine(ConnectionDescription& spec, const LineFields& f,
                    std::span<const std::string> ports) {
    spec.timeoutSeconds = f.timeout;
    spec.attempts = f.retry;
    spec.station = f.station;
    SerialLine line{f.port, {}, f.baud, f.rtsCts != 0};
    if (f.path != nullptr && !f.path->empty()) {
        // The stored path wins over the index: the list may have changed since.
        line.device = *f.path;
    } else if (f.port < ports.size()) {
        line.device = ports[f.port];
    }
    return line;
}

void writeNetwork(const ConnectionDescription& spec, const NetworkTarget& t,
                  const NetworkFields& f) {
    f.ip = t.address;
    f.domain = t.host;
    f.socket = t.port;
    f.timeout = spec.timeoutSeconds;
    f.retry = spec.attempts;
    f.use = t.useStation ? 1 : 0;
    f.station = spec.station;
}

NetworkTarget readNetwork(ConnectionDescription& spec, const NetworkFields& f) {
    spec.timeoutSeconds = f.timeout;
    spec.attempts = f.retry;
    spec.station = f.station;
    return {f.ip, f.domain, f.socket, f.use == 1};
}

} // namespace

std::uint8_t ConnectionDescription::connectionType() const {
    return std::visit(Overloaded{
                          [](const NoLink&) { return std::uint8_t{kConNone}; },
                          [](const SerialLink&) { return std::uint8_t{kConSerial}; },
                          [](const DialUpLink&) { return std::uint8_t{kConDialUp}; },
                          [](const LeasedLineLink&) { return std::uint8_t{kConLeasedLine}; },
                          [](const EthernetLink&) { return std::uint8_t{kConEthernet}; },
                          [](const SimulatorLink&) { return std::uint8_t{kConSimulator}; },
                          [](const UsbLink&) { return std::uint8_t{kConUsb}; },
                          [](const EmbeddedLink&) { return std::uint8_t{kConSimulator}; },
                      },
                      link);
}

CommSet ConnectionDescription::toCommSet() const {
    CommSet defaults;
    defaults.setDefaults();
    return toCommSet(defaults);
}

CommSet ConnectionDescription::toCommSet(const CommSet& base,
                                         std::span<const std::string> ports) const {
    CommSet s = base;
    s.nConType = connectionType();
    s.nTxDelay = txDelay;
    std::visit(
        Overloaded{
            [](const NoLink&) {},
            [&](const SerialLink& l) { writeLine(*this, l.line, serialFields(s), ports); },
            [&](const DialUpLink& l) {
                writeLine(*this, l.line, dialFields(s), ports);
                s.strDIALcallNo = l.callNumber;
                s.strDIALexitNo = l.exitNumber;
                s.strDIALinitCmd = l.initCommand;
            },
            [&](const LeasedLineLink& l) {
                writeLine(*this, l.line, leasedFields(s), ports);
                s.nLINEwireNo = l.wires;
            },
            [&](const EthernetLink& l) { writeNetwork(*this, l.target, ethernetFields(s)); },
            [&](const SimulatorLink& l) { writeNetwork(*this, l.target, simulatorFields(s)); },
            [&](const UsbLink&) {
                // The USB link has no station: the record keeps none for it.
                s.nUSBto = timeoutSeconds;
                s.nUSBretry = attempts;
            },
            [&](const EmbeddedLink&) {
                // The simulator in this process answers on any address: only the
                // settings the protocol applies are taken.
                s.nSIMULATORto = timeoutSeconds;
                s.nSIMULATORretry = attempts;
                if (station != CommSet::kStationNotUsed) {
                    s.bSIMULATORuse = 1;
                    s.nSIMULATORstation = station;
                }
            },
        },
        link);
    return s;
}

ConnectionDescription ConnectionDescription::fromCommSet(const CommSet& record,
                                                         std::span<const std::string> ports) {
    CommSet r = record; // the field views below bind to a record they may write
    ConnectionDescription spec;
    spec.txDelay = r.nTxDelay;
    switch (r.nConType) {
    case kConSerial:
        spec.link = SerialLink{readLine(spec, serialFields(r), ports)};
        break;
    case kConDialUp:
        spec.link = DialUpLink{readLine(spec, dialFields(r), ports), r.strDIALcallNo,
                               r.strDIALexitNo, r.strDIALinitCmd};
        break;
    case kConLeasedLine:
        spec.link = LeasedLineLink{readLine(spec, leasedFields(r), ports), r.nLINEwireNo};
        break;
    case kConEthernet:
        spec.link = EthernetLink{readNetwork(spec, ethernetFields(r))};
        break;
    case kConSimulator:
        spec.link = SimulatorLink{readNetwork(spec, simulatorFields(r))};
        break;
    case kConUsb:
        spec.timeoutSeconds = r.nUSBto;
        spec.attempts = r.nUSBretry;
        spec.link = UsbLink{};
        break;
    default:
        spec.link = NoLink{};
        break;
    }
    return spec;
}

} // namespace dlu
