#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

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
//
// How the channels apply it:
//   - A read after a failed open (serial port not in the list or not there, no USB serial
//     device, address 0 from an unresolved host name, baud index outside the table) gives
//     0x81; a channel that was never opened, or was closed, gives 0x85. Both end up in the
//     same message.
//   - 0x82: the TCP connection was refused or not answered, the TCP peer closed or reset the
//     connection, or the serial device failed (pulled out, the other end of a pseudo-terminal
//     closed). Bytes that arrived before are still
//     handed out first, and the read does not wait for the time-out.
//   - 0x83: the time-out counts per byte, from the call to read(). Bytes that came together
//     are kept and handed out one per read without waiting again.
//   - 0x84 is the protocol's to set when write() answers false (not open, or the block not
//     taken within the time-out), unless a read at once then tells that the link is gone
//     (0x82) (serial lines add the time the bytes need at their
//     baud rate, so 512 bytes at 300 bit/s are not cut short).
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
// nothing of frames: the protocol hands it whole requests and takes answers as they come.
class Channel {
public:
    virtual ~Channel() = default;

    // Receive time-out for each byte.
    virtual void setTimeout(std::chrono::milliseconds timeout) = 0;
    // Sends the whole block; false when it could not be written.
    virtual bool write(std::span<const std::uint8_t> bytes) = 0;
    // Next received byte, waiting at most the time-out for it.
    virtual ChannelRead read() = 0;
    // Next received byte, waiting at most `limit` and never longer than the time-out; a zero
    // limit only takes a byte that has already arrived. Lets the protocol bound a whole answer
    // and listen for a quiet line. A channel that cannot wait less waits its time-out.
    virtual ChannelRead readWithin(std::chrono::milliseconds limit) {
        (void)limit;
        return read();
    }
    // Received bytes into `out`, at least one: waits for the first at most `limit` and never
    // longer than the time-out (milliseconds::max() means the time-out), then adds what has
    // already arrived after it, without waiting, up to the size of `out`. Returns the count;
    // `status` is kChannelOk when it is not 0, else why nothing came (as read() would say).
    // Saves a call per byte: the default takes one byte through readWithin().
    virtual std::size_t readSome(std::span<std::uint8_t> out, std::chrono::milliseconds limit,
                                 std::uint8_t& status) {
        if (out.empty()) {
            status = kChannelOk;
            return 0;
        }
        const ChannelRead in = readWithin(limit);
        status = in.status;
        if (in.status != kChannelOk) {
            return 0;
        }
        out[0] = in.byte;
        return 1;
    }
    // The receive time-out in force.
    virtual std::chrono::milliseconds timeout() const { return std::chrono::milliseconds{3000}; }
    // Time one byte takes on the line (0 when the line is not paced).
    virtual std::chrono::microseconds byteTime() const { return std::chrono::microseconds{0}; }
    virtual void close() = 0;
    // Why the last open failed or the link was lost, in the system's words ("connection
    // refused by 127.0.0.1:10266"); empty when the channel knows nothing more.
    virtual std::string failureCause() const { return {}; }
};

} // namespace dlu
