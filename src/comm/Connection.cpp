#include "comm/Connection.h"

#include "comm/ModemAnswer.h"

#include <type_traits>
#include <variant>

namespace dlu {

namespace {

// The port a serial, dial-up or USB link names by its path; empty for the others.
std::string portDevice(const ConnectionLink& link) {
    return std::visit(
        [](const auto& l) -> std::string {
            using L = std::decay_t<decltype(l)>;
            if constexpr (std::is_same_v<L, SerialLink> || std::is_same_v<L, DialUpLink> ||
                          std::is_same_v<L, LeasedLineLink>) {
                return l.line.device;
            } else if constexpr (std::is_same_v<L, UsbLink>) {
                return l.device;
            } else {
                return {};
            }
        },
        link);
}

} // namespace

Connection::Connection(const ConnectionDescription& spec, ChannelFactory& factory,
                       Prompter& prompter, const Messages& messages, Clock& clock,
                       FrameTrace* trace)
    : spec_(spec), settings_(spec.toCommSet()), prompter_(prompter), messages_(messages),
      clock_(clock), com_(std::make_unique<CCOMInterface>(factory, prompter)),
      protocol_(std::make_unique<CProtocol>(*com_, trace)) {
    com_->setPortDevice(portDevice(spec.link));
    protocol_->setClock(&clock_);
    // A new connection (after a settings change, say) goes on with the sequence of the last.
    protocol_->shareSequence(CProtocol::processSequence());

    const AppliedSettings applied = settings_.settingsToApply();
    if (applied.attemptCount) {
        protocol_->setAttemptCount(*applied.attemptCount);
    }
    if (applied.timeout) {
        com_->setTimeout(*applied.timeout);
    }
    if (applied.stationNumber) {
        protocol_->setStationNumber(*applied.stationNumber);
    }

    com_->setDialUpHook([this] { return dialUp(); });
    session_ = std::make_unique<COnlineModule>(context());
}

Connection::~Connection() {
    session_->disconnect();
    com_->close();
}

OnlineContext Connection::context() {
    return OnlineContext{settings_, *com_, *protocol_, prompter_, messages_, clock_};
}

bool Connection::dialUp() {
    DialUpChannel* modem = com_->dialUpChannel();
    if (modem == nullptr) {
        return false;
    }
    DialUpSequence dial(*modem, settings_, prompter_, messages_, clock_);
    if (dialUpStatus_) {
        dial.setStatusSink(dialUpStatus_);
    }
    if (dialUpCancel_) {
        dial.setCancelCheck(dialUpCancel_);
    }
    const bool connected = dial.run();
    // Frames travel at the rate the modems agreed on, not at the port's.
    com_->setLineRate(connected ? connectLineRate(dial.connectAnswer()).value_or(0) : 0);
    if (dialUpDone_) {
        dialUpDone_(connected);
    }
    return connected;
}

} // namespace dlu
