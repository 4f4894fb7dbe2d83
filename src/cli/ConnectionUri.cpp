#include "cli/ConnectionUri.h"

#include <charconv>

namespace dlu {

namespace {

constexpr std::uint16_t kEthernetPort = 10266;
constexpr std::uint16_t kSimulatorPort = 10523;

std::optional<unsigned long> number(std::string_view text, unsigned long max) {
    unsigned long v = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
    if (text.empty() || ec != std::errc{} || end != text.data() + text.size() || v > max) {
        return std::nullopt;
    }
    return v;
}

bool splitQuery(std::string_view text, std::map<std::string, std::string>& query,
                std::string& error) {
    while (!text.empty()) {
        const auto amp = text.find('&');
        const auto pair = text.substr(0, amp);
        const auto eq = pair.find('=');
        if (pair.empty()) {
            error = "empty option in the connection";
        } else if (eq == std::string_view::npos || eq == 0) {
            error = "connection option without a value: " + std::string(pair);
        } else {
            query[std::string(pair.substr(0, eq))] = std::string(pair.substr(eq + 1));
        }
        if (!error.empty()) {
            return false;
        }
        text = amp == std::string_view::npos ? std::string_view{} : text.substr(amp + 1);
    }
    return true;
}

bool hostAndPort(std::string_view rest, std::uint16_t defaultPort, ConnectionUri& uri,
                 std::string& error) {
    const auto colon = rest.rfind(':');
    uri.host = std::string(rest.substr(0, colon));
    uri.port = defaultPort;
    if (colon != std::string_view::npos) {
        const auto p = number(rest.substr(colon + 1), 65535);
        if (!p || *p == 0) {
            error = "bad port number: " + std::string(rest.substr(colon + 1));
            return false;
        }
        uri.port = static_cast<std::uint16_t>(*p);
    }
    if (uri.host.empty()) {
        error = "the connection names no host";
        return false;
    }
    return true;
}

// Baud rate in bit/s to the index the settings keep.
std::optional<std::uint8_t> baudIndex(std::string_view text) {
    const auto rate = number(text, 10'000'000);
    if (!rate) {
        return std::nullopt;
    }
    for (std::uint8_t i = 0; i < 16; ++i) {
        const auto r = baudRateOfIndex(i);
        if (r && *r == *rate) {
            return i;
        }
    }
    return std::nullopt;
}

} // namespace

std::optional<std::uint32_t> ConnectionUri::ipv4(std::string_view host) {
    std::uint32_t address = 0;
    int parts = 0;
    while (parts < 4) {
        const auto dot = host.find('.');
        const auto part = number(host.substr(0, dot), 255);
        if (!part) {
            return std::nullopt;
        }
        address = (address << 8) | static_cast<std::uint32_t>(*part);
        ++parts;
        if (dot == std::string_view::npos) {
            break;
        }
        if (parts == 4) {
            return std::nullopt; // more than four parts
        }
        host = host.substr(dot + 1);
    }
    if (parts != 4) {
        return std::nullopt;
    }
    return address;
}

std::optional<ConnectionUri> ConnectionUri::parse(std::string_view text, std::string& error) {
    ConnectionUri uri;
    const auto q = text.find('?');
    const std::string_view head = text.substr(0, q);
    if (q != std::string_view::npos && !splitQuery(text.substr(q + 1), uri.query, error)) {
        return std::nullopt;
    }
    const auto startsWith = [&](std::string_view p) { return head.substr(0, p.size()) == p; };
    if (startsWith("tcp://")) {
        uri.kind = Kind::Tcp;
        return hostAndPort(head.substr(6), kEthernetPort, uri, error) ? std::optional(uri)
                                                                      : std::nullopt;
    }
    if (startsWith("sim://")) {
        uri.kind = Kind::Simulator;
        return hostAndPort(head.substr(6), kSimulatorPort, uri, error) ? std::optional(uri)
                                                                       : std::nullopt;
    }
    if (startsWith("serial:") || startsWith("dialup:")) {
        uri.kind = startsWith("serial:") ? Kind::Serial : Kind::DialUp;
        uri.device = std::string(head.substr(7));
        if (uri.device.empty()) {
            error = "the connection names no serial device";
            return std::nullopt;
        }
        if (uri.kind == Kind::DialUp && uri.query.count("number") == 0) {
            error = "a dial-up connection needs number=...";
            return std::nullopt;
        }
        return uri;
    }
    if (head == "usb" || startsWith("usb:")) {
        uri.kind = Kind::Usb;
        uri.device = head.size() > 4 ? std::string(head.substr(4)) : std::string();
        return uri;
    }
    if (head == "embedded") {
        uri.kind = Kind::Embedded;
        return uri;
    }
    error = "unknown connection: " + std::string(text) +
            " (tcp://, sim://, serial:, dialup:, usb or embedded)";
    return std::nullopt;
}

bool ConnectionUri::applyTo(CommSet& s, std::string& error) const {
    const auto opt = [&](const char* key) -> const std::string* {
        const auto it = query.find(key);
        return it == query.end() ? nullptr : &it->second;
    };
    std::uint8_t station = CommSet::kStationNotUsed;
    if (const auto* v = opt("station")) {
        const auto n = number(*v, 254);
        if (!n) {
            error = "bad station number: " + *v;
            return false;
        }
        station = static_cast<std::uint8_t>(*n);
    }
    std::optional<std::uint8_t> baud;
    if (const auto* v = opt("baud")) {
        baud = baudIndex(*v);
        if (!baud) {
            error = "unsupported baud rate: " + *v;
            return false;
        }
    }
    const bool rtsCts = opt("rtscts") != nullptr && *opt("rtscts") == "1";

    switch (kind) {
    case Kind::Tcp:
    case Kind::Simulator: {
        const auto ip = ipv4(host);
        const bool sim = kind == Kind::Simulator;
        s.nConType = sim ? kConSimulator : kConEthernet;
        (sim ? s.nSIMULATORip : s.nETHERNETip) = ip.value_or(0);
        (sim ? s.strSIMULATORdomain : s.strETHERNETdomain) = ip ? std::string() : host;
        (sim ? s.wSIMULATORSocket : s.wETHERNETSocket) = port;
        (sim ? s.bSIMULATORuse : s.bETHERNETuse) = station != CommSet::kStationNotUsed ? 1 : 0;
        (sim ? s.nSIMULATORstation : s.nETHERNETstation) = station;
        return true;
    }
    case Kind::Serial:
        s.nConType = kConSerial;
        s.nRS232port = 0;
        s.nRS232bps = baud.value_or(s.nRS232bps);
        s.nRS232station = station;
        s.nRS232RtsCts = rtsCts ? 1 : 0;
        return true;
    case Kind::DialUp:
        s.nConType = kConDialUp;
        s.nDIALport = 0;
        s.nDIALbps = baud.value_or(s.nDIALbps);
        s.nDIALstation = station;
        s.nDIALRtsCts = rtsCts ? 1 : 0;
        s.strDIALcallNo = *opt("number");
        s.strDIALexitNo = opt("exit") ? *opt("exit") : std::string();
        if (const auto* init = opt("init")) {
            s.strDIALinitCmd = *init;
        }
        return true;
    case Kind::Usb:
        s.nConType = kConUsb;
        return true;
    case Kind::Embedded:
        s.nConType = kConSimulator;
        return true;
    }
    return false;
}

} // namespace dlu
