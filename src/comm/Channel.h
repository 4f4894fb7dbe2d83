#pragma once

#include <chrono>
#include <cstdint>
#include <span>

namespace dlu {

// Status of one received byte. 0 means the byte is valid; any other value ends the frame being
// received and becomes the protocol's last error code, which the error report turns into a
// message. Which condition gives which code:
//
//   0x81  the port or device is missing, or cannot be opened    -> "Cannot open the COM port..."
//   0x82  the link was lost: peer closed the socket, line dropped -> "<connection type> Error"
//   0x83  no byte arrived within the time-out                    -> "<connection type> Error"
//   0x84  writing the request failed                             -> "Cannot open the COM port..."
//   0x85  read on a channel that is not open                     -> "Cannot open the COM port..."
enum ChannelStatus : std::uint8_t {
    kChannelOk = 0x00,
    kChannelPortMissing = 0x81,
    kChannelLinkLost = 0x82,
    kChannelTimeout = 0x83,
    kChannelWriteFailed = 0x84,
    kChannelNotOpen = 0x85,
};

struct ChannelRead {
    std::uint8_t byte = 0;
    std::uint8_t status = kChannelTimeout; // kChannelOk when `byte` is valid
};

// Port to a byte transport (serial line, modem, TCP socket, USB, in-process simulator). Knows
// nothing of frames: the protocol hands it whole requests and takes answers one byte at a time.
class Channel {
public:
    virtual ~Channel() = default;

    // Receive time-out for each byte.
    virtual void setTimeout(std::chrono::milliseconds timeout) = 0;
    // Sends the whole block; false when it could not be written.
    virtual bool write(std::span<const std::uint8_t> bytes) = 0;
    // Next received byte, waiting at most the time-out for it.
    virtual ChannelRead read() = 0;
    virtual void close() = 0;
};

} // namespace dlu
