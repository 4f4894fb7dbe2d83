#include "comm/CCOMInterface.h"

#include "comm/CommSet.h"
#include "comm/FailureCause.h"
#include "common/Prompter.h"
#include "common/TerminalText.h"
#include "common/TextFormat.h"

#include <algorithm>
#include <filesystem>
#include <string>

namespace dlu {

CCOMInterface::CCOMInterface(ChannelFactory& factory, Prompter& prompter)
    : factory_(factory), prompter_(prompter), channelType_(kConNone) {}

CCOMInterface::~CCOMInterface() { close(); }

bool CCOMInterface::create(std::uint8_t connectionType) {
    // One channel object at a time, whatever its type: a second one would be left open and
    // unused behind the first.
    if (channel_ || !isConnectionType(connectionType)) {
        return false;
    }
    if (connectionType == kConLeasedLine) {
        return true;
    }
    channel_ = factory_.create(connectionType);
    if (!channel_) {
        return false;
    }
    channelType_ = connectionType;
    dialUpConnected_ = false;
    dialUpFailed_ = false;
    lineRate_ = 0;
    channel_->setTimeout(timeout_);
    return true;
}

bool CCOMInterface::open(const OpenParams& params) {
    if (!channel_) {
        lastResult_ = false;
        return false;
    }
    lastResult_ = channel_->open(params);
    return lastResult_;
}

void CCOMInterface::setTimeout(std::chrono::milliseconds timeout) {
    timeout_ = timeout;
    if (channel_) {
        channel_->setTimeout(timeout);
    }
}

bool CCOMInterface::write(std::span<const std::uint8_t> bytes) {
    if (!channel_) {
        lastResult_ = false;
        return false;
    }
    if (channel_->asDialUp() && !dialUpConnected_) {
        // A call that failed is not dialled again for every frame of the same attempt (a busy
        // line would be dialled once per protocol test); hanging up or reopening starts anew.
        if (dialUpFailed_ || !dialUpHook_ || !dialUpHook_()) {
            dialUpFailed_ = true;
            // Bytes written to a modem that has no call would be taken as commands.
            lastResult_ = false;
            return false;
        }
        dialUpConnected_ = true;
    }
    lastResult_ = channel_->write(bytes);
    return lastResult_;
}

ChannelRead CCOMInterface::read() {
    if (!channel_) {
        return {0, kChannelNotOpen};
    }
    const ChannelRead r = channel_->read();
    lastResult_ = r.status == kChannelOk;
    return r;
}

ChannelRead CCOMInterface::readWithin(std::chrono::milliseconds limit) {
    if (!channel_) {
        return {0, kChannelNotOpen};
    }
    const ChannelRead r = channel_->readWithin(limit);
    lastResult_ = r.status == kChannelOk;
    return r;
}

std::size_t CCOMInterface::readSome(std::span<std::uint8_t> out, std::chrono::milliseconds limit,
                                    std::uint8_t& status) {
    if (!channel_) {
        status = kChannelNotOpen;
        return 0;
    }
    const std::size_t count = channel_->readSome(out, limit, status);
    lastResult_ = status == kChannelOk;
    return count;
}

std::chrono::microseconds CCOMInterface::byteTime() const {
    const auto own = channel_ ? channel_->byteTime() : std::chrono::microseconds{0};
    if (lineRate_ == 0) {
        return own;
    }
    // Ten bits a byte: start, eight data bits, stop.
    const std::chrono::microseconds line{(std::int64_t{10'000'000} + lineRate_ - 1) / lineRate_};
    return std::max(own, line);
}

bool CCOMInterface::hangUp() {
    DialUpChannel* modem = dialUpChannel();
    if (!modem) {
        return false;
    }
    lastResult_ = modem->hangUp();
    dialUpConnected_ = false;
    lineRate_ = 0;
    dialUpFailed_ = false;
    return lastResult_;
}

void CCOMInterface::close() {
    if (!channel_) {
        return;
    }
    if (dialUpConnected_) {
        hangUp();
    }
    channel_->close();
    channel_.reset();
    channelType_ = kConNone;
    dialUpConnected_ = false;
    dialUpFailed_ = false;
    lineRate_ = 0;
}

std::string CCOMInterface::failureCause() const {
    if (!cause_.empty()) {
        return cause_;
    }
    return channel_ ? channel_->failureCause() : std::string{};
}

DialUpChannel* CCOMInterface::dialUpChannel() const {
    return channel_ ? channel_->asDialUp() : nullptr;
}

std::optional<OpenParams> CCOMInterface::openParams(const CommSet& s, std::uint8_t type) {
    auto tcp = [this](std::uint16_t port, std::uint32_t ip,
                      const std::string& domain) -> OpenParams {
        // A stored address wins over the domain name; an unresolved name leaves 0, which the
        // channel refuses to open.
        const std::uint32_t address = ip != 0 ? ip : factory_.resolveHostName(domain);
        if (address == 0) {
            target_ = domain;
            cause_ = domain.empty() ? std::string("no address or host name is set")
                                    : unresolvedHostCause(domain);
        } else {
            target_ = tcpTarget(address, port);
        }
        return TcpOpenParams{port, address};
    };
    target_ = portDevice_;
    cause_.clear();
    switch (type) {
    case kConSerial:
        return SerialOpenParams{s.nRS232port, s.nRS232bps, s.nRS232RtsCts != 0, portDevice_};
    case kConDialUp:
        return SerialOpenParams{s.nDIALport, s.nDIALbps, s.nDIALRtsCts != 0, portDevice_};
    case kConEthernet:
        return tcp(s.wETHERNETSocket, s.nETHERNETip, s.strETHERNETdomain);
    case kConSimulator:
        return tcp(s.wSIMULATORSocket, s.nSIMULATORip, s.strSIMULATORdomain);
    case kConUsb:
        return UsbOpenParams{portDevice_};
    default:
        return std::nullopt;
    }
}

bool CCOMInterface::openConnection(const CommSet& settings, const AttemptCountSink& attemptCount) {
    close();
    const std::uint8_t type = settings.nConType;
    if (!create(type)) {
        prompter_.message(kAttachErrorText);
        return false;
    }
    const std::optional<OpenParams> params = openParams(settings, type);
    if (!params) {
        // The leased line: configured, but there is nothing to connect with.
        return false;
    }
    const AppliedSettings applied = settings.settingsToApply(type);
    if (applied.attemptCount && attemptCount) {
        attemptCount(*applied.attemptCount);
    }
    if (applied.timeout) {
        setTimeout(*applied.timeout);
    }
    const bool opened = open(*params);
    if (!opened && type == kConSerial) {
        std::error_code ec;
        if (!portDevice_.empty() && !std::filesystem::exists(portDevice_, ec)) {
            // The port set up for this connection is gone (an adapter unplugged): no other
            // port is taken in its place.
            prompter_.message(std::string(kInitErrorText) + "\n" +
                              formatText(std::string(kPortGoneText).c_str(),
                                         displaySafe(portDevice_).c_str()));
        } else {
            prompter_.message(kInitErrorText);
        }
    }
    return opened;
}

} // namespace dlu
