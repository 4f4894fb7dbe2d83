#include "sim/HayesModem.h"

#include <algorithm>
#include <cctype>

namespace dlu::sim {

namespace {

constexpr std::uint8_t kCr = '\r';
constexpr std::uint8_t kLf = '\n';
constexpr std::uint8_t kBackspace = 0x08;
constexpr std::size_t kMaxLine = 64;

bool startsWith(std::string_view text, std::string_view prefix) {
    return text.substr(0, prefix.size()) == prefix;
}

} // namespace

HayesModem::HayesModem(Settings settings) : settings_(std::move(settings)), echo_(settings_.echo) {}

bool HayesModem::takeNewCall() {
    const bool call = newCall_;
    newCall_ = false;
    return call;
}

void HayesModem::answer(std::string_view text, Output& out) {
    out.toLine.insert(out.toLine.end(), {kCr, kLf});
    out.toLine.insert(out.toLine.end(), text.begin(), text.end());
    out.toLine.insert(out.toLine.end(), {kCr, kLf});
}

void HayesModem::fromLine(std::span<const std::uint8_t> bytes, TimePoint now, Output& out) {
    tick(now, out);
    for (const std::uint8_t b : bytes) {
        switch (state_) {
        case State::Command:
        case State::OnlineCommand:
            commandByte(b, now, out);
            break;
        case State::Dialling:
            // Any character stops a call being placed; the line feed of the dial command's
            // line end is no such character.
            if (b != kLf) {
                state_ = State::Command;
                answer("NO CARRIER", out);
            }
            break;
        case State::Online:
            dataByte(b, now, out);
            break;
        }
    }
}

void HayesModem::tick(TimePoint now, Output& out) {
    if (state_ == State::Dialling && now >= dialDone_) {
        answer(settings_.callAnswer, out);
        if (startsWith(settings_.callAnswer, "CONNECT")) {
            state_ = State::Online;
            newCall_ = true;
            lastData_ = now;
            pluses_ = 0;
        } else {
            state_ = State::Command;
        }
    }
    if (state_ == State::Online && pluses_ == 3 && now - lastPlus_ >= settings_.guardTime) {
        pluses_ = 0;
        state_ = State::OnlineCommand;
        line_.clear();
        answer("OK", out);
    }
}

std::optional<HayesModem::TimePoint> HayesModem::deadline() const {
    if (state_ == State::Dialling) {
        return dialDone_;
    }
    if (state_ == State::Online && pluses_ == 3) {
        return lastPlus_ + settings_.guardTime;
    }
    return std::nullopt;
}

void HayesModem::flushPluses(Output& out) {
    out.toPlc.insert(out.toPlc.end(), static_cast<std::size_t>(pluses_), '+');
    pluses_ = 0;
}

void HayesModem::dataByte(std::uint8_t byte, TimePoint now, Output& out) {
    const bool quietBefore = !lastData_ || now - *lastData_ >= settings_.guardTime;
    if (byte == '+') {
        if (pluses_ == 0 && quietBefore) {
            pluses_ = 1;
            lastPlus_ = now;
            return;
        }
        if (pluses_ > 0 && pluses_ < 3 && now - lastPlus_ < settings_.guardTime) {
            ++pluses_;
            lastPlus_ = now;
            return;
        }
    }
    // Not an escape after all: the '+' held back were data.
    flushPluses(out);
    out.toPlc.push_back(byte);
    lastData_ = now;
}

void HayesModem::commandByte(std::uint8_t byte, TimePoint now, Output& out) {
    if (byte == kLf) {
        return;
    }
    if (echo_) {
        out.toLine.push_back(byte);
    }
    if (byte == kBackspace) {
        if (!line_.empty()) {
            line_.pop_back();
        }
        return;
    }
    if (byte != kCr) {
        if (line_.size() < kMaxLine) {
            line_.push_back(static_cast<char>(byte));
        }
        return;
    }
    runCommandLine(now, out);
    line_.clear();
}

void HayesModem::runCommandLine(TimePoint now, Output& out) {
    std::string upper;
    for (const char c : line_) {
        if (c != ' ') {
            upper.push_back(static_cast<char>(std::toupper(static_cast<unsigned char>(c))));
        }
    }
    // Lines that do not start with "AT" are not commands; a modem stays silent on them.
    if (!startsWith(upper, "AT")) {
        return;
    }
    const bool callUp = state_ == State::OnlineCommand;
    std::size_t i = 2;
    const auto number = [&]() {
        int value = 0;
        while (i < upper.size() && std::isdigit(static_cast<unsigned char>(upper[i])) != 0) {
            value = value * 10 + (upper[i] - '0');
            ++i;
        }
        return value;
    };
    while (i < upper.size()) {
        const char c = upper[i++];
        switch (c) {
        case 'D':
            // The rest of the line is the number; the call answers later.
            if (callUp) {
                answer("ERROR", out);
                return;
            }
            state_ = State::Dialling;
            dialDone_ = now + settings_.connectDelay;
            return;
        case 'H':
            number();
            state_ = State::Command;
            break;
        case 'O':
            number();
            if (!callUp) {
                answer("NO CARRIER", out);
                return;
            }
            state_ = State::Online;
            lastData_ = now;
            answer(settings_.callAnswer, out);
            return;
        case 'E':
            echo_ = number() != 0;
            break;
        case 'Z':
            number();
            echo_ = settings_.echo;
            if (callUp) {
                state_ = State::Command;
            }
            break;
        case '&':
            // "&F", "&C1", "&D2": accepted as they come.
            if (i < upper.size()) {
                ++i;
            }
            number();
            break;
        case 'S':
            // "S0=0", "S7?": registers are accepted and not kept.
            number();
            if (i < upper.size() && (upper[i] == '=' || upper[i] == '?')) {
                ++i;
                number();
            }
            break;
        default:
            // Every other setting ("V1", "X4", "Q0", "M1", "L2") is taken as it is.
            number();
            break;
        }
    }
    answer("OK", out);
}

} // namespace dlu::sim
