#pragma once

#include "comm/ConnectionDescription.h"

#include <cstdint>
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
    // The described connection, or an error text for the user. A serial, dial-up or USB
    // device is named by its path; a host that is not a dotted quad is looked up when
    // connecting. The rest of each link is as a fresh settings record has it.
    static std::optional<ConnectionDescription> parse(std::string_view text, std::string& error);

    // Host text to IPv4 (first octet in the high byte); nothing when it is not a dotted quad.
    static std::optional<std::uint32_t> ipv4(std::string_view host);
};

} // namespace dlu
