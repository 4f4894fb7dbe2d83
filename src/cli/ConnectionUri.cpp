#include "cli/ConnectionUri.h"

#include <charconv>
#include <map>

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

bool hostAndPort(std::string_view rest, std::uint16_t defaultPort, std::string& host,
                 std::uint16_t& port, std::string& error) {
    const auto colon = rest.rfind(':');
    host = std::string(rest.substr(0, colon));
    port = defaultPort;
    if (colon != std::string_view::npos) {
        const auto p = number(rest.substr(colon + 1), 65535);
        if (!p || *p == 0) {
            error = "bad port number: " + std::string(rest.substr(colon + 1));
            return false;
        }
        port = static_cast<std::uint16_t>(*p);
    }
    if (host.empty()) {
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

namespace {

using Query = std::map<std::string, std::string>;

const std::string* option(const Query& query, const char* key) {
    const auto it = query.find(key);
    return it == query.end() ? nullptr : &it->second;
}

// The options every link takes the same way: station number and baud rate are checked
// whatever the link, even where they do not apply.
bool commonOptions(const Query& query, ConnectionDescription& spec,
                   std::optional<std::uint8_t>& baud, std::string& error) {
    if (const auto* v = option(query, "station")) {
        const auto n = number(*v, 254);
        if (!n) {
            error = "bad station number: " + *v;
            return false;
        }
        spec.station = static_cast<std::uint8_t>(*n);
    }
    if (const auto* v = option(query, "baud")) {
        baud = baudIndex(*v);
        if (!baud) {
            error = "unsupported baud rate: " + *v;
            return false;
        }
    }
    return true;
}

SerialLine serialLine(const Query& query, std::string_view device, SerialLine line,
                      std::optional<std::uint8_t> baud) {
    line.device = std::string(device);
    line.baudIndex = baud.value_or(line.baudIndex);
    const auto* rtsCts = option(query, "rtscts");
    line.rtsCts = rtsCts != nullptr && *rtsCts == "1";
    return line;
}

} // namespace

std::optional<ConnectionDescription> ConnectionUri::parse(std::string_view text,
                                                          std::string& error) {
    Query query;
    const auto q = text.find('?');
    const std::string_view head = text.substr(0, q);
    if (q != std::string_view::npos && !splitQuery(text.substr(q + 1), query, error)) {
        return std::nullopt;
    }
    const auto startsWith = [&](std::string_view p) { return head.substr(0, p.size()) == p; };
    const bool serial = startsWith("serial:");
    const bool known = startsWith("tcp://") || startsWith("sim://") || serial ||
                       startsWith("dialup:") || head == "usb" || startsWith("usb:") ||
                       head == "embedded";
    if (!known) {
        error = "unknown connection: " + std::string(text) +
                " (tcp://, sim://, serial:, dialup:, usb or embedded)";
        return std::nullopt;
    }
    if ((serial || startsWith("dialup:")) && head.size() == 7) {
        error = "the connection names no serial device";
        return std::nullopt;
    }
    if (startsWith("dialup:") && query.count("number") == 0) {
        error = "a dial-up connection needs number=...";
        return std::nullopt;
    }

    ConnectionDescription spec;
    std::optional<std::uint8_t> baud;
    if (startsWith("tcp://") || startsWith("sim://")) {
        const bool sim = startsWith("sim://");
        NetworkTarget target;
        if (!hostAndPort(head.substr(6), sim ? kSimulatorPort : kEthernetPort, target.host,
                         target.port, error) ||
            !commonOptions(query, spec, baud, error)) {
            return std::nullopt;
        }
        // A dotted quad is the address; any other host is looked up when connecting.
        if (const auto ip = ipv4(target.host)) {
            target.address = *ip;
            target.host.clear();
        }
        target.useStation = spec.station != CommSet::kStationNotUsed;
        if (sim) {
            spec.link = SimulatorLink{target};
        } else {
            spec.link = EthernetLink{target};
        }
        return spec;
    }
    if (!commonOptions(query, spec, baud, error)) {
        return std::nullopt;
    }
    if (serial) {
        spec.link = SerialLink{serialLine(query, head.substr(7), SerialLink{}.line, baud)};
    } else if (startsWith("dialup:")) {
        DialUpLink link;
        link.line = serialLine(query, head.substr(7), link.line, baud);
        link.callNumber = *option(query, "number");
        if (const auto* exit = option(query, "exit")) {
            link.exitNumber = *exit;
        }
        if (const auto* init = option(query, "init")) {
            link.initCommand = *init;
        }
        spec.link = std::move(link);
    } else if (head == "embedded") {
        // The station option is checked but the simulator in this process takes none.
        spec.station = CommSet::kStationNotUsed;
        spec.link = EmbeddedLink{std::move(query)};
    } else {
        spec.link = UsbLink{head.size() > 4 ? std::string(head.substr(4)) : std::string()};
    }
    return spec;
}

} // namespace dlu
