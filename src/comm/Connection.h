#pragma once

#include "comm/CCOMInterface.h"
#include "comm/COnlineModule.h"
#include "comm/CProtocol.h"
#include "comm/CommSet.h"
#include "comm/ConnectionDescription.h"
#include "comm/DialUpSequence.h"

#include <functional>
#include <memory>

namespace dlu {

class ChannelFactory;
class Clock;
class FrameTrace;
class Messages;
class Prompter;

// A live connection to one PLC: the channel wrapper, the protocol object and the online
// session over them, made from a connection description. The description's attempt count,
// time-out and station number are applied once here; a connect applies the first two again
// from settings(). Every connection of the process counts one request sequence, never started
// over. A dial-up line dials before its first frame. The destructor closes the
// channel.
//
// Channel objects are made at connect, on the thread that connects, so a connection can be
// made on one thread and used wholly on another (the Qt channels block and must live on the
// thread that uses them). It is not copied or moved: keep it behind a pointer.
class Connection {
public:
    using DialUpStatusSink = std::function<void(const DialUpStatus&)>;
    // Told whether the modem connected, after each call attempt.
    using DialUpDoneSink = std::function<void(bool connected)>;
    using DialUpCancelCheck = std::function<bool()>;

    Connection(const ConnectionDescription& spec, ChannelFactory& factory, Prompter& prompter,
               const Messages& messages, Clock& clock, FrameTrace* trace = nullptr);
    ~Connection();

    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    COnlineModule& session() { return *session_; }
    CProtocol& protocol() { return *protocol_; }
    CCOMInterface& com() { return *com_; }
    // The settings record the session reads: the description's type and fields over defaults.
    CommSet& settings() { return settings_; }
    const ConnectionDescription& spec() const { return spec_; }
    OnlineContext context();
    Prompter& prompter() { return prompter_; }
    const Messages& messages() const { return messages_; }
    Clock& clock() { return clock_; }

    // Where the dial-up status goes while the modem dials (printed by the command line, shown
    // in a dialog by the desktop program).
    void setDialUpStatusSink(DialUpStatusSink sink) { dialUpStatus_ = std::move(sink); }
    void setDialUpDoneSink(DialUpDoneSink sink) { dialUpDone_ = std::move(sink); }
    void setDialUpCancelCheck(DialUpCancelCheck check) { dialUpCancel_ = std::move(check); }

private:
    bool dialUp();

    ConnectionDescription spec_;
    CommSet settings_;
    Prompter& prompter_;
    const Messages& messages_;
    Clock& clock_;
    std::unique_ptr<CCOMInterface> com_;
    std::unique_ptr<CProtocol> protocol_;
    std::unique_ptr<COnlineModule> session_;
    DialUpStatusSink dialUpStatus_;
    DialUpDoneSink dialUpDone_;
    DialUpCancelCheck dialUpCancel_;
};

} // namespace dlu
