#pragma once

#include "comm/CommSet.h"

#include <map>
#include <optional>
#include <string>
#include <string_view>

namespace dlu {

// A connection named on the command line:
//   tcp://HOST[:PORT]          Ethernet PLC (port 10266)
//   sim://HOST[:PORT]          PLC simulator (port 10523)
//   serial:DEVICE[?baud=B&station=N&rtscts=1]
//   dialup:DEVICE?number=N[&exit=E&init=CMD&baud=B&station=N&rtscts=1]
//   usb[:DEVICE]
//   embedded[?OPTIONS]         the simulator inside dlutil
struct ConnectionUri {
    enum class Kind { Tcp, Simulator, Serial, DialUp, Usb, Embedded };

    Kind kind = Kind::Embedded;
    std::string host;                         // tcp, sim
    std::uint16_t port = 0;                   // tcp, sim
    std::string device;                       // serial, dialup, usb (empty: the first USB one)
    std::map<std::string, std::string> query; // the options after '?'

    // The parsed connection, or an error text for the user.
    static std::optional<ConnectionUri> parse(std::string_view text, std::string& error);

    // Writes the connection into a settings record: its type and the fields of that type.
    // A serial, dial-up or USB device given by name is port index 0 of a port list that the
    // command line builds from that one device. False with `error` for a bad option value.
    bool applyTo(CommSet& settings, std::string& error) const;

    // Host text to IPv4 (first octet in the high byte); nothing when it is not a dotted quad.
    static std::optional<std::uint32_t> ipv4(std::string_view host);
};

} // namespace dlu
