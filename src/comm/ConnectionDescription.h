#pragma once

#include "comm/CommSet.h"

#include <cstdint>
#include <map>
#include <span>
#include <string>
#include <variant>

namespace dlu {

// The port settings the serial, dial-up and leased-line links share.
struct SerialLine {
    std::uint8_t portIndex = 0; // position in the computer's sorted serial port list
    std::string device;         // the port to open by its path; empty: the one at portIndex
    std::uint8_t baudIndex = 7; // index into kBaudRates
    bool rtsCts = false;

    bool operator==(const SerialLine&) const = default;
};

struct SerialLink {
    SerialLine line;
    bool operator==(const SerialLink&) const = default;
};

struct DialUpLink {
    SerialLine line{0, {}, 5, false};
    std::string callNumber;
    std::string exitNumber; // only its first character is dialled
    std::string initCommand = "ATZ";
    bool operator==(const DialUpLink&) const = default;
};

// Can be configured; connecting with it is refused.
struct LeasedLineLink {
    SerialLine line{0, {}, 5, false};
    std::uint8_t wires = 0; // 0 "2 Line", 1 "4 Line"
    bool operator==(const LeasedLineLink&) const = default;
};

// A PLC or simulator reached over TCP: a stored address wins over the host name.
struct NetworkTarget {
    std::uint32_t address = 0; // IPv4, first octet in the high byte; 0 = use `host`
    std::string host;
    std::uint16_t port = 0;
    bool useStation = false; // the station number goes with every frame
    bool operator==(const NetworkTarget&) const = default;
};

struct EthernetLink {
    NetworkTarget target{0, {}, 10266, false};
    bool operator==(const EthernetLink&) const = default;
};

struct SimulatorLink {
    NetworkTarget target{0, {}, 10523, false};
    bool operator==(const SimulatorLink&) const = default;
};

// The USB port finds the PLC by itself unless a device is named.
struct UsbLink {
    std::string device; // empty: the first port that reports a USB vendor
    bool operator==(const UsbLink&) const = default;
};

// The simulator inside the program; the options choose the PLC it plays (identity, key, mode,
// seed, image). It is reached like the simulator link.
struct EmbeddedLink {
    std::map<std::string, std::string> options;
    bool operator==(const EmbeddedLink&) const = default;
};

// No connection type: connecting fails at once.
struct NoLink {
    bool operator==(const NoLink&) const = default;
};

using ConnectionLink = std::variant<NoLink, SerialLink, DialUpLink, LeasedLineLink, EthernetLink,
                                    SimulatorLink, UsbLink, EmbeddedLink>;

// One connection to a PLC: the link and what every link shares. The stored settings record
// keeps one set of fields per connection type; a description is the fields of one type.
struct ConnectionDescription {
    ConnectionLink link;
    std::uint16_t timeoutSeconds = 2; // receive time-out
    std::uint8_t attempts = 2;        // tries of one request
    // Station number, CommSet::kStationNotUsed when frames go without the station header. For
    // a network link the number is kept even while `useStation` is off.
    std::uint8_t station = CommSet::kStationNotUsed;
    std::uint8_t txDelay = 0; // 0 to 5: index x 100 ms before each download block

    // The connection type id of the link (kConSimulator for the embedded simulator, kConNone
    // without a link).
    std::uint8_t connectionType() const;

    // The record `base` with the connection type and the fields of this link's type set from
    // the description; the other types keep their fields. `ports` is the computer's serial
    // port list in the order of the stored port index: a named device found in it becomes its
    // index, otherwise the line's port index stays.
    CommSet toCommSet(const CommSet& base, std::span<const std::string> ports = {}) const;
    // As above over a record of defaults.
    CommSet toCommSet() const;

    // The description of the record's current connection type. With `ports` a serial port
    // index inside the list also names its device.
    static ConnectionDescription fromCommSet(const CommSet& record,
                                             std::span<const std::string> ports = {});

    bool operator==(const ConnectionDescription&) const = default;
};

} // namespace dlu
