#pragma once

#include "common/ProgressText.h"

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace dlu {

// How much dlutil says on standard error: --quiet (questions, and the messages of a command
// that failed), as usual, or --verbose (besides, each request to the PLC as it goes).
enum class Verbosity { Quiet, Normal, Verbose };

// Rate and time left of a transfer as its bytes go by (in the words of ProgressText), and how
// often a terminal line showing them is redrawn: at most ten times a second, so that a fast
// link does not flood a slow terminal.
class ProgressMeter {
public:
    using Clock = std::chrono::steady_clock;
    static constexpr std::chrono::milliseconds kRedrawInterval{100};

    explicit ProgressMeter(std::function<Clock::time_point()> now = &Clock::now);

    // The transfer starts now; the meter forgets what it saw before.
    void start();
    // `done` of `total` bytes have gone (total 0: not known). True when the line should be
    // redrawn: the first time, once an interval has passed since the last redraw, and when
    // the last byte is in.
    bool advance(std::uint64_t done, std::uint64_t total);

    std::uint64_t done() const { return done_; }
    std::uint64_t total() const { return total_; }
    double seconds() const;
    // "28.2 kbit/s", "1.2 MB/s"; "-" before a measurable time has passed.
    std::string rateText() const;
    // "0:41 left", "1:02:05 left"; empty while nothing is known to compute it from.
    std::string timeLeftText() const;
    // The line a finished transfer ends with: "Downloaded 215,866 bytes in 61.2 s (28.2 kbit/s)".
    std::string summary(std::string_view verb) const;
    // The progress line of a terminal: bar, percent, bytes, rate, time left and `label`.
    std::string line(int percent, std::string_view label) const;

    // 1234567 -> "1,234,567".
    static std::string grouped(std::uint64_t n) { return ProgressText::grouped(n); }

private:
    std::function<Clock::time_point()> now_;
    Clock::time_point start_;
    Clock::time_point at_;
    std::optional<Clock::time_point> drawn_;
    std::uint64_t done_ = 0;
    std::uint64_t total_ = 0;
};

// The progress of one transfer on standard error: on a terminal one line redrawn in place at
// most ten times a second; otherwise the lines the command prints per item, as it gives them;
// with --quiet nothing but the closing summary.
class ProgressLine {
public:
    ProgressLine(
        std::FILE* out, bool terminal, Verbosity verbosity,
        std::function<ProgressMeter::Clock::time_point()> now = &ProgressMeter::Clock::now);
    // For standard error as it is.
    explicit ProgressLine(Verbosity verbosity);

    bool terminal() const { return terminal_; }
    // Lines of the command without a terminal; nothing on a terminal or with --quiet.
    bool printsItems() const { return !terminal_ && verbosity_ != Verbosity::Quiet; }
    void item(std::string_view text);
    // A line also on a terminal; nothing with --quiet.
    void note(std::string_view text);

    void start() { meter_.start(); }
    void advance(int percent, std::uint64_t done, std::uint64_t total, std::string_view label);
    // Ends the redrawn line, if one was drawn.
    void end();
    // The closing line (also with --quiet): "Restored 500 bytes in 0.3 s (13.3 kbit/s)".
    void summary(std::string_view verb, std::uint64_t bytes);

    const ProgressMeter& meter() const { return meter_; }
    int redraws() const { return redraws_; }

private:
    std::FILE* out_;
    bool terminal_;
    Verbosity verbosity_;
    ProgressMeter meter_;
    bool drawn_ = false;
    int redraws_ = 0;
};

} // namespace dlu
