#pragma once

#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

namespace dlu {

// One serial port as `dlutil ports` lists it. The index is the port's place in the order the
// connection setup stores ("serial:" takes the path).
struct PortListing {
    std::string name;
    std::string path;
    std::string description;
    std::string manufacturer;
    bool usb = false;
    std::optional<unsigned> latencyMs{}; // the adapter's latency timer; nothing when it has none
    bool latencyWritable = false;        // this user may lower it through the attribute
};

struct PortsOptions {
    bool json = false;
};

// The list as text (a table; nothing a device reports can move the cursor) or as a JSON array
// of {index, name, path, description, manufacturer, usb, latency_ms}, latency_ms null for a
// port without a latency timer. Under the table, once, for the first adapter whose timer is
// above 1 ms and not writable here: what it is and how an administrator lowers it.
std::string portsText(const std::vector<PortListing>& ports, bool json);

// dlutil ports: the serial ports of this computer in the order of the connection setup.
int runPorts(const PortsOptions& options, std::ostream& out);

} // namespace dlu
