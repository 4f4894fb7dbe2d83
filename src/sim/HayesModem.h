#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace dlu::sim {

// The PLC's end of a dial-up line: a Hayes-compatible modem between the serial line and the
// PLC. In command mode it takes "AT" command lines and answers in words ("OK"); "ATD..." places
// a call that, after the configured delay, either connects ("CONNECT 9600") or fails with the
// configured answer ("BUSY", "NO CARRIER"). Once connected every byte from the line goes to the
// PLC and the PLC's answers go back, until "+++" framed by the guard time returns the modem to
// command mode with the call still up ("ATO" resumes it, "ATH" hangs up).
//
// Plain logic with the time handed in by the caller, so a test drives it without a line or a
// clock; plcsim's pseudo-terminal feeds it the real bytes and the real time.
class HayesModem {
public:
    using TimePoint = std::chrono::steady_clock::time_point;

    struct Settings {
        std::chrono::milliseconds connectDelay{0};
        std::string callAnswer = "CONNECT 9600"; // anything but "CONNECT..." fails the call
        std::chrono::milliseconds guardTime{1000};
        bool echo = true; // commands are echoed, as after "ATZ"
    };

    enum class State {
        Command,       // on hook, taking commands
        Dialling,      // a call is being placed
        Online,        // the call is up and the line carries data
        OnlineCommand, // the call is up, but the modem takes commands ("+++" was seen)
    };

    // What one step gives: bytes for the line (echo, answers) and bytes for the PLC.
    struct Output {
        std::vector<std::uint8_t> toLine;
        std::vector<std::uint8_t> toPlc;
    };

    explicit HayesModem(Settings settings);

    // Bytes arriving from the line at `now`.
    void fromLine(std::span<const std::uint8_t> bytes, TimePoint now, Output& out);
    // Lets time pass: a call comes through (or fails), an escape completes. Call it by
    // deadline() at the latest.
    void tick(TimePoint now, Output& out);
    // When tick() has something to do; nothing while no timer runs.
    std::optional<TimePoint> deadline() const;

    State state() const { return state_; }
    bool online() const { return state_ == State::Online; }
    // True once after each call that connected: the PLC sees a new connection.
    bool takeNewCall();
    const Settings& settings() const { return settings_; }

private:
    void commandByte(std::uint8_t byte, TimePoint now, Output& out);
    void dataByte(std::uint8_t byte, TimePoint now, Output& out);
    void runCommandLine(TimePoint now, Output& out);
    void answer(std::string_view text, Output& out);
    void flushPluses(Output& out);

    Settings settings_;
    State state_ = State::Command;
    bool echo_;
    std::string line_;
    bool newCall_ = false;
    TimePoint dialDone_{};
    // Escape detection: silence before, three '+' close together, silence after.
    std::optional<TimePoint> lastData_;
    int pluses_ = 0;
    TimePoint lastPlus_{};
};

} // namespace dlu::sim
