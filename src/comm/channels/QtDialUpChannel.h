#pragma once

#include "comm/ChannelFactory.h"
#include "comm/channels/QtSerialLink.h"
#include "comm/channels/QtSerialPorts.h"

#include <optional>
#include <string>

namespace dlu {

// A Hayes-compatible modem on a serial port. dial() sends the initialisation command, waits
// for "OK" and sends "ATD" with the dial string; pollCall() picks the modem's answer to the
// call out of what it said (echoed commands, "OK" and "RING" are passed over). Once connected
// the port carries the PLC's bytes; the bytes that came right after the "CONNECT" line are
// the first of them. The modem is expected to answer in words (V1, the factory setting that
// "ATZ" restores), not in result code numbers.
class QtDialUpChannel final : public DialUpChannel {
public:
    // Silence the modem wants before and after "+++" to take it as an escape, not as data.
    static constexpr std::chrono::milliseconds kGuardTime{1100};
    // Wait for the answer to a command, at least: a reset ("ATZ") takes a while.
    static constexpr std::chrono::milliseconds kMinCommandWait{2000};
    // The call poll hands out at most this many characters of a modem answer.
    static constexpr std::size_t kResponseMax = 29;

    explicit QtDialUpChannel(SerialPortLister ports,
                             std::chrono::milliseconds guardTime = kGuardTime);

    bool open(const OpenParams& params) override;
    void setTimeout(std::chrono::milliseconds timeout) override { link_.setTimeout(timeout); }
    bool write(std::span<const std::uint8_t> bytes) override { return link_.write(bytes); }
    ChannelRead read() override { return readWithin(link_.timeout()); }
    // Waits no longer than asked: the protocol empties the line before each request, and a
    // modem line that waited its whole time-out there would stall every request.
    ChannelRead readWithin(std::chrono::milliseconds limit) override;
    std::size_t readSome(std::span<std::uint8_t> out, std::chrono::milliseconds limit,
                         std::uint8_t& status) override;
    std::chrono::milliseconds timeout() const override { return link_.timeout(); }
    std::chrono::microseconds byteTime() const override { return link_.byteTime(); }
    void close() override;
    std::string failureCause() const override { return link_.failureCause(); }

    bool dial(std::string_view initCommand, std::string_view dialString) override;
    bool pollCall(std::string& lastResponse) override;
    bool hangUp() override;

    bool connected() const { return connected_; }

private:
    enum class Answer { None, Ok, Connect, Failed };

    // Takes the next complete line out of the buffer; nothing when no line is complete.
    std::optional<std::string> takeLine();
    // The final answer among the complete lines received so far; `text` gets its line.
    Answer takeAnswer(std::string& text);
    // Sends a command and waits for its final answer.
    Answer command(std::string_view text, std::string& answer);

    SerialPortLister ports_;
    QtSerialLink link_;
    std::chrono::milliseconds guardTime_;
    bool dialling_ = false;
    bool connected_ = false;
    // A line ended by CR whose LF has not come yet: that LF is not data.
    bool dropLineFeed_ = false;
    std::string connectText_;
};

} // namespace dlu
