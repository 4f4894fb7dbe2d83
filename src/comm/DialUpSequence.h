#pragma once

#include <functional>
#include <string>

namespace dlu {

class Clock;
class CommSet;
class DialUpChannel;
class Messages;
class Prompter;

// What the dial-up status display shows while the modem dials.
struct DialUpStatus {
    std::string phone;  // "9 , 1234"
    int elapsed = 0;    // seconds
    std::string status; // "Initializing Modem...", "Connecting..."
};

// Dials the modem and waits for the call, once a second for at most 100 seconds, before the
// first frame goes out on a dial-up line. The desktop program shows the status in its dial-up
// dialog, the command line prints it.
class DialUpSequence {
public:
    static constexpr int kMaxSeconds = 99;
    static constexpr const char* kCallingTimeout = "CALLING TIMEOUT";

    using StatusSink = std::function<void(const DialUpStatus&)>;
    using CancelCheck = std::function<bool()>;

    DialUpSequence(DialUpChannel& modem, const CommSet& settings, Prompter& prompter,
                   const Messages& messages, Clock& clock);

    void setStatusSink(StatusSink sink) { sink_ = std::move(sink); }
    // Asked before every poll; true ends the call attempt as a cancel.
    void setCancelCheck(CancelCheck check) { cancelled_ = std::move(check); }

    // True when the modem reported the connection.
    bool run();
    // The modem's answer to the call that connected ("CONNECT 1200/ARQ"); empty before one.
    const std::string& connectAnswer() const { return connectAnswer_; }

    // The phone number as shown: exit number, " , ", call number (or the call number alone).
    static std::string phoneText(const CommSet& settings);

private:
    void show();
    bool fail(const std::string& code);

    DialUpChannel& modem_;
    const CommSet& settings_;
    Prompter& prompter_;
    const Messages& messages_;
    Clock& clock_;
    StatusSink sink_;
    CancelCheck cancelled_;
    DialUpStatus status_;
    std::string connectAnswer_;
};

} // namespace dlu
