#pragma once

#include "comm/Channel.h"

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <variant>

namespace dlu {

// Open parameters of a serial line, also used by the dial-up modem's port.
struct SerialOpenParams {
    std::uint8_t portIndex = 0; // position in the computer's sorted serial port list
    std::uint8_t baudIndex = 0; // index into kBaudRates
    bool rtsCts = false;        // hardware flow control
    std::string device{};       // the port by its path, in place of the index when not empty

    bool operator==(const SerialOpenParams&) const = default;
};

// Open parameters of a TCP connection (Ethernet PLC or simulator).
struct TcpOpenParams {
    std::uint16_t port = 0;
    std::uint32_t address = 0; // IPv4, first octet in the high byte; 0 cannot be opened

    bool operator==(const TcpOpenParams&) const = default;
};

// The USB port needs nothing: the PLC is found by itself unless a device is named.
struct UsbOpenParams {
    std::string device{}; // the port by its path; empty: the first one with a USB vendor

    bool operator==(const UsbOpenParams&) const = default;
};

using OpenParams = std::variant<SerialOpenParams, TcpOpenParams, UsbOpenParams>;

class DialUpChannel;

// One channel object of a connection type: the byte channel plus the step that opens it. A
// channel that is handed parameters of another kind fails to open.
class DeviceChannel : public Channel {
public:
    virtual bool open(const OpenParams& params) = 0;

    // The dial-up operations when this is a modem channel.
    virtual DialUpChannel* asDialUp() { return nullptr; }
};

// A modem on a serial port. Bytes only reach the PLC once the call is connected.
class DialUpChannel : public DeviceChannel {
public:
    // Sends the initialisation command and, when the modem takes it, starts dialling. True
    // when dialling started; the call itself is followed with pollCall().
    virtual bool dial(std::string_view initCommand, std::string_view dialString) = 0;

    // Looks at what the modem said since the last poll without waiting for more. True once
    // the call is connected. `lastResponse` is the modem's final answer to the call ("CONNECT
    // 9600", "BUSY", "NO CARRIER", ...) or empty while the call is still going; a non-empty
    // answer while not connected means the call failed.
    virtual bool pollCall(std::string& lastResponse) = 0;

    // Ends the call (escape to command mode when connected) and leaves the modem on-hook.
    virtual bool hangUp() = 0;

    DialUpChannel* asDialUp() override { return this; }
};

// Port that makes channel objects; the Qt programs hand the core the Qt factory, tests a fake.
class ChannelFactory {
public:
    virtual ~ChannelFactory() = default;

    // A new, closed channel object for a connection type: serial, dial-up (a DialUpChannel),
    // Ethernet, simulator or USB. Nothing for the leased line and for any other id.
    virtual std::unique_ptr<DeviceChannel> create(std::uint8_t connectionType) = 0;

    // IPv4 address of a host name, first octet in the high byte; of several addresses the
    // last one. 0 when the name cannot be resolved.
    virtual std::uint32_t resolveHostName(std::string_view hostName) = 0;
};

} // namespace dlu
