#pragma once

#include "comm/Channel.h"
#include "comm/ChannelFactory.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace dlu {

class CommSet;
class Prompter;

// The one channel of the program. The protocol object talks to it as its Channel; behind it
// sits at most one channel object of the current connection type, made by the factory.
// Without a channel object a write sends nothing and fails, and a read answers
// kChannelNotOpen.
class CCOMInterface final : public Channel {
public:
    static constexpr std::chrono::milliseconds kInitialTimeout{3000};
    static constexpr std::string_view kAttachErrorText = "COM Object Attach Error";
    static constexpr std::string_view kInitErrorText = "COM Object Init Error";
    // Added to it when the serial port set up by its path is not there.
    static constexpr std::string_view kPortGoneText =
        "The serial port %s is not there; no other port was taken. Connect it, or choose a "
        "port in the communication setup.";

    // Runs before the first write on a dial-up channel that is not yet connected: dials, waits
    // for the call and answers true when the modem connected. Set by whoever owns the dial-up
    // status display.
    using DialUpHook = std::function<bool()>;
    // Receives the attempt count of the connection type (the protocol object's setting).
    using AttemptCountSink = std::function<void(std::uint32_t)>;

    CCOMInterface(ChannelFactory& factory, Prompter& prompter);
    ~CCOMInterface() override;

    CCOMInterface(const CCOMInterface&) = delete;
    CCOMInterface& operator=(const CCOMInterface&) = delete;

    // Makes the channel object of a connection type. Fails when a channel object exists, for
    // an id above 5 and when the factory cannot make one. The leased line makes nothing and
    // succeeds.
    bool create(std::uint8_t connectionType);

    // Opens the existing channel object; false without one.
    bool open(const OpenParams& params);

    // Remembered and passed to the channel object; a channel object made later gets it too.
    void setTimeout(std::chrono::milliseconds timeout) override;
    std::chrono::milliseconds timeout() const override { return timeout_; }

    // On a dial-up channel that is not connected the dial-up hook runs first; when it does not
    // report a connection nothing is sent and the write fails.
    bool write(std::span<const std::uint8_t> bytes) override;
    ChannelRead read() override;
    ChannelRead readWithin(std::chrono::milliseconds limit) override;
    std::size_t readSome(std::span<std::uint8_t> out, std::chrono::milliseconds limit,
                         std::uint8_t& status) override;
    // The slower of the channel's own pace and the line rate (see setLineRate()).
    std::chrono::microseconds byteTime() const override;

    // A dial-up call runs at the rate the modems agreed on, which may be slower than the
    // serial port to the modem ("CONNECT 1200" on a 9600 port): a frame takes its time at
    // that rate. 0: the channel's own pace. Forgotten when the call ends.
    void setLineRate(std::uint32_t bitsPerSecond) { lineRate_ = bitsPerSecond; }
    std::uint32_t lineRate() const { return lineRate_; }

    // Dial-up only: hangs up and clears the connected mark. False on any other channel.
    bool hangUp();

    // Closes and drops the channel object (a connected dial-up line is hung up first).
    void close() override;

    // The connect step: closes whatever exists, creates the channel of the record's type
    // ("COM Object Attach Error" when that fails), hands the type's attempt count to
    // `attemptCount`, sets the type's time-out and opens with the parameters built from the
    // record. A failed serial open shows "COM Object Init Error". The leased line fails here
    // without opening anything.
    bool openConnection(const CommSet& settings, const AttemptCountSink& attemptCount = {});

    // Open parameters of a connection type taken from the record; host names are resolved
    // through the factory. Nothing for the leased line and ids above 5.
    std::optional<OpenParams> openParams(const CommSet& settings, std::uint8_t type);

    void setDialUpHook(DialUpHook hook) { dialUpHook_ = std::move(hook); }

    // The serial, dial-up or USB port to open by its path instead of the record's port index
    // (or instead of the first USB port); empty: the record decides.
    void setPortDevice(std::string device) { portDevice_ = std::move(device); }
    const std::string& portDevice() const { return portDevice_; }

    bool hasChannel() const { return channel_ != nullptr; }
    // Connection type of the channel object, kConNone without one.
    std::uint8_t channelType() const { return channelType_; }
    // The modem channel for the dial-up status display; nullptr unless dial-up.
    DialUpChannel* dialUpChannel() const;
    bool dialUpConnected() const { return dialUpConnected_; }
    // Result of the last call on the channel object.
    bool lastResult() const { return lastResult_; }

    // What the last open reached for ("127.0.0.1:10266", "/dev/ttyUSB0"); empty before one.
    const std::string& target() const { return target_; }
    // Why the last open failed or the link was lost: a host name that was not found, else
    // what the channel object says.
    std::string failureCause() const override;

private:
    ChannelFactory& factory_;
    Prompter& prompter_;
    std::unique_ptr<DeviceChannel> channel_;
    std::uint8_t channelType_;
    std::chrono::milliseconds timeout_ = kInitialTimeout;
    bool dialUpConnected_ = false;
    bool dialUpFailed_ = false; // the call of this attempt failed
    std::uint32_t lineRate_ = 0;
    bool lastResult_ = false;
    DialUpHook dialUpHook_;
    std::string portDevice_;
    std::string target_;
    std::string cause_;
};

} // namespace dlu
