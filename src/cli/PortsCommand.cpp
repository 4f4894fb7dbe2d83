#include "cli/PortsCommand.h"

#include "cli/CliSession.h"
#include "common/TerminalText.h"
#include "common/TextFormat.h"

#ifdef DLU_CLI_WITH_QT
#include "comm/channels/AdapterLatency.h"
#include "comm/channels/QtSerialPorts.h"
#endif

#include <cstdio>
#include <ostream>

namespace dlu {

namespace {

std::string json(std::string_view text) {
    std::string out = "\"";
    for (const char ch : text) {
        const auto c = static_cast<unsigned char>(ch);
        if (ch == '"' || ch == '\\') {
            out += '\\';
            out += ch;
        } else if (c < 0x20 || c == 0x7F) {
            out += formatText("\\u%04x", unsigned{c});
        } else {
            out += ch;
        }
    }
    return out + "\"";
}

} // namespace

std::string portsText(const std::vector<PortListing>& ports, bool asJson) {
    std::string out;
    if (asJson) {
        out = "[";
        for (std::size_t i = 0; i < ports.size(); ++i) {
            const auto& p = ports[i];
            out += formatText("%s\n  {\"index\": %zu, \"name\": ", i == 0 ? "" : ",", i) +
                   json(p.name) + ", \"path\": " + json(p.path) +
                   ", \"description\": " + json(p.description) +
                   ", \"manufacturer\": " + json(p.manufacturer) +
                   ", \"usb\": " + (p.usb ? "true" : "false") + ", \"latency_ms\": " +
                   (p.latencyMs ? std::to_string(*p.latencyMs) : std::string("null")) + "}";
        }
        return out + (ports.empty() ? "]\n" : "\n]\n");
    }
    if (ports.empty()) {
        return "No serial ports.\n";
    }
    const PortListing* stuck = nullptr;
    for (std::size_t i = 0; i < ports.size(); ++i) {
        const auto& p = ports[i];
        const std::string latency = p.latencyMs ? formatText("%u ms", *p.latencyMs) : "";
        out += formatText("%2zu  %-16s %-4s %-6s ", i, displaySafe(p.path).c_str(),
                          p.usb ? "USB" : "", latency.c_str());
        out += displaySafe(p.description);
        if (!p.manufacturer.empty()) {
            out += " (" + displaySafe(p.manufacturer) + ")";
        }
        out += "\n";
        if (!stuck && p.latencyMs && *p.latencyMs > 1 && !p.latencyWritable) {
            stuck = &p;
        }
    }
#ifdef DLU_CLI_WITH_QT
    if (stuck) {
        // The driver may still take the low-latency flag when the port opens; the attribute,
        // which this user cannot write, is what an administrator changes.
        out += "\nThe milliseconds are each adapter's latency timer: how long it holds what it "
               "receives. dlutil asks the driver for 1 ms while it has a port open; where the "
               "driver refuses, each answer of the PLC can wait that long. " +
               displaySafe(latencyAdminAdvice(stuck->path)) + "\n";
    }
#endif
    return out;
}

int runPorts(const PortsOptions& options, std::ostream& out) {
#ifdef DLU_CLI_WITH_QT
    std::vector<PortListing> ports;
    for (const auto& d : describedSerialPorts()) {
        ports.push_back({d.port.name.toStdString(), d.port.systemLocation.toStdString(),
                         d.description.toStdString(), d.manufacturer.toStdString(),
                         d.port.usbDevice, d.latencyMs, d.latencyWritable});
    }
    out << portsText(ports, options.json);
    return kExitSuccess;
#else
    (void)options;
    (void)out;
    std::fprintf(stderr, "dlutil: this dlutil was built without Qt: it cannot list ports\n");
    return kExitUsage;
#endif
}

} // namespace dlu
