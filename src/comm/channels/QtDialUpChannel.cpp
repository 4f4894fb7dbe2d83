#include "comm/channels/QtDialUpChannel.h"

#include "comm/channels/QtSerialChannel.h"

#include <QDeadlineTimer>
#include <QSerialPort>

#include <algorithm>
#include <array>
#include <thread>

namespace dlu {

namespace {

// Result codes that end a call attempt without a connection.
constexpr std::array<std::string_view, 6> kFailureAnswers = {
    "BUSY", "NO CARRIER", "NO DIALTONE", "NO DIAL TONE", "NO ANSWER", "ERROR"};

bool startsWith(std::string_view text, std::string_view prefix) {
    return text.substr(0, prefix.size()) == prefix;
}

std::string trimmed(std::string_view text) {
    const auto first = text.find_first_not_of(" \t");
    if (first == std::string_view::npos) {
        return {};
    }
    const auto last = text.find_last_not_of(" \t");
    return std::string(text.substr(first, last - first + 1));
}

} // namespace

QtDialUpChannel::QtDialUpChannel(SerialPortLister ports, std::chrono::milliseconds guardTime)
    : ports_(std::move(ports)), guardTime_(guardTime) {}

bool QtDialUpChannel::open(const OpenParams& params) {
    dialling_ = connected_ = dropLineFeed_ = false;
    const auto* serial = std::get_if<SerialOpenParams>(&params);
    if (!serial) {
        link_.markOpenFailed();
        return false;
    }
    if (!openSerialByIndex(link_, ports_, *serial)) {
        return false;
    }
    // The modem only listens with DTR on. A port without modem lines (a pseudo-terminal)
    // refuses the call, which is harmless.
    link_.port().setDataTerminalReady(true);
    link_.port().clearError();
    return true;
}

ChannelRead QtDialUpChannel::readWithin(std::chrono::milliseconds limit) {
    if (dropLineFeed_) {
        // The line feed that may still follow the modem's CONNECT line is not the PLC's; until
        // a byte arrives it may yet come.
        const ChannelRead first = link_.readWithin(limit);
        if (first.status != kChannelOk) {
            return first;
        }
        dropLineFeed_ = false;
        if (first.byte != '\n') {
            return first;
        }
    }
    return link_.readWithin(limit);
}

void QtDialUpChannel::close() {
    link_.close();
    dialling_ = connected_ = dropLineFeed_ = false;
}

std::optional<std::string> QtDialUpChannel::takeLine() {
    ArrivalBuffer& buffer = link_.buffer();
    for (;;) {
        const std::string_view pending = buffer.view();
        if (dropLineFeed_ && !pending.empty()) {
            dropLineFeed_ = false;
            if (pending.front() == '\n') {
                buffer.consume(1);
                continue;
            }
        }
        const auto end = pending.find_first_of("\r\n");
        if (end == std::string_view::npos) {
            return std::nullopt;
        }
        std::string line(pending.substr(0, end));
        std::size_t used = end + 1;
        if (pending[end] == '\r') {
            if (used < pending.size()) {
                used += pending[used] == '\n' ? 1U : 0U;
            } else {
                dropLineFeed_ = true;
            }
        }
        buffer.consume(used);
        return line;
    }
}

QtDialUpChannel::Answer QtDialUpChannel::takeAnswer(std::string& text) {
    while (const std::optional<std::string> raw = takeLine()) {
        const std::string line = trimmed(*raw);
        if (line == "OK") {
            text = line;
            return Answer::Ok;
        }
        if (startsWith(line, "CONNECT")) {
            text = line;
            return Answer::Connect;
        }
        if (std::any_of(kFailureAnswers.begin(), kFailureAnswers.end(),
                        [&](std::string_view f) { return startsWith(line, f); })) {
            text = line;
            return Answer::Failed;
        }
        // Blank lines, the echo of our own command, "RING" and the like say nothing about
        // the call.
    }
    return Answer::None;
}

QtDialUpChannel::Answer QtDialUpChannel::command(std::string_view text, std::string& answer) {
    if (!link_.writeText(std::string(text) + '\r')) {
        return Answer::Failed;
    }
    const QDeadlineTimer deadline(std::max(link_.timeout(), kMinCommandWait).count());
    for (;;) {
        const Answer a = takeAnswer(answer);
        if (a != Answer::None) {
            return a;
        }
        if (deadline.hasExpired()) {
            return Answer::None;
        }
        link_.fill(std::chrono::milliseconds(deadline.remainingTime()));
    }
}

bool QtDialUpChannel::dial(std::string_view initCommand, std::string_view dialString) {
    if (link_.state() != QtSerialLink::State::Open) {
        return false;
    }
    connected_ = dialling_ = false;
    connectText_.clear();
    // Whatever the modem said before is of no interest to this call.
    link_.fill(std::chrono::milliseconds(0));
    link_.buffer().clear();
    dropLineFeed_ = false;

    std::string answer;
    if (!initCommand.empty() && command(initCommand, answer) != Answer::Ok) {
        return false;
    }
    if (!link_.writeText("ATD" + std::string(dialString) + '\r')) {
        return false;
    }
    dialling_ = true;
    return true;
}

bool QtDialUpChannel::pollCall(std::string& lastResponse) {
    lastResponse.clear();
    if (connected_) {
        lastResponse = connectText_;
        return true;
    }
    if (!dialling_) {
        return false;
    }
    link_.fill(std::chrono::milliseconds(0));
    std::string answer;
    switch (takeAnswer(answer)) {
    case Answer::Connect:
        connected_ = true;
        connectText_ = answer.substr(0, kResponseMax);
        lastResponse = connectText_;
        return true;
    case Answer::Failed:
        dialling_ = false;
        lastResponse = answer.substr(0, kResponseMax);
        return false;
    case Answer::Ok:
    case Answer::None:
        break;
    }
    return false;
}

bool QtDialUpChannel::hangUp() {
    if (link_.state() != QtSerialLink::State::Open) {
        return false;
    }
    if (connected_) {
        // Back to command mode: silence, "+++", silence.
        std::this_thread::sleep_for(guardTime_);
        link_.writeText("+++");
        std::this_thread::sleep_for(guardTime_);
    } else if (dialling_) {
        // Any character stops a modem that is still dialling.
        link_.writeText("\r");
    }
    dialling_ = connected_ = false;
    link_.fill(std::chrono::milliseconds(0));
    link_.buffer().clear();
    dropLineFeed_ = false;
    std::string answer;
    return command("ATH", answer) == Answer::Ok;
}

} // namespace dlu
