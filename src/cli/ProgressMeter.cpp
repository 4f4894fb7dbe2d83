#include "cli/ProgressMeter.h"

#include "common/TextFormat.h"

#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <utility>

namespace dlu {

namespace {

// Below this a rate says more about the timer than about the link.
constexpr double kShortestMeasure = 0.05;

} // namespace

ProgressMeter::ProgressMeter(std::function<Clock::time_point()> now) : now_(std::move(now)) {
    start();
}

void ProgressMeter::start() {
    start_ = at_ = now_();
    drawn_.reset();
    done_ = total_ = 0;
}

bool ProgressMeter::advance(std::uint64_t done, std::uint64_t total) {
    at_ = now_();
    done_ = done;
    total_ = total;
    const bool last = total != 0 && done >= total;
    if (!drawn_ || last || at_ - *drawn_ >= kRedrawInterval) {
        drawn_ = at_;
        return true;
    }
    return false;
}

double ProgressMeter::seconds() const {
    return std::chrono::duration<double>(at_ - start_).count();
}

std::string ProgressMeter::rate(std::uint64_t bytes, double seconds) {
    if (seconds < kShortestMeasure) {
        return "-";
    }
    return measuredRate(bytes, seconds);
}

std::string ProgressMeter::measuredRate(std::uint64_t bytes, double seconds) {
    if (seconds <= 0) {
        return "-";
    }
    const double bitsPerSecond = static_cast<double>(bytes) * 8.0 / seconds;
    // Serial lines are spoken of in bits, anything faster in bytes.
    if (bitsPerSecond < 1e6) {
        return formatText("%.1f kbit/s", bitsPerSecond / 1e3);
    }
    const double bytesPerSecond = bitsPerSecond / 8.0;
    return bytesPerSecond < 1e6 ? formatText("%.1f KB/s", bytesPerSecond / 1e3)
                                : formatText("%.1f MB/s", bytesPerSecond / 1e6);
}

std::string ProgressMeter::rateText() const { return rate(done_, seconds()); }

std::string ProgressMeter::timeLeftText() const {
    const double s = seconds();
    if (total_ == 0 || done_ == 0 || s < kShortestMeasure || done_ >= total_) {
        return {};
    }
    const double left = static_cast<double>(total_ - done_) * s / static_cast<double>(done_);
    const auto whole = static_cast<std::uint64_t>(std::ceil(left));
    const auto h = whole / 3600;
    const auto m = whole / 60 % 60;
    const auto sec = whole % 60;
    return h > 0 ? formatText("%llu:%02llu:%02llu left", static_cast<unsigned long long>(h),
                              static_cast<unsigned long long>(m),
                              static_cast<unsigned long long>(sec))
                 : formatText("%llu:%02llu left", static_cast<unsigned long long>(m),
                              static_cast<unsigned long long>(sec));
}

std::string ProgressMeter::summary(std::string_view verb) const {
    const double s = seconds();
    return std::string(verb) + " " + grouped(done_) + " bytes in " + formatText("%.1f s", s) +
           " (" + measuredRate(done_, s) + ")";
}

std::string ProgressMeter::line(int percent, std::string_view label) const {
    constexpr int kWidth = 24;
    const int filled = std::clamp(percent, 0, 100) * kWidth / 100;
    std::string out = "[" + std::string(static_cast<std::size_t>(filled), '#') +
                      std::string(static_cast<std::size_t>(kWidth - filled), '.') + "] " +
                      formatText("%3d%%", percent) + "  " + grouped(done_);
    if (total_ != 0) {
        out += " / " + grouped(total_);
    }
    out += " bytes  " + rateText();
    if (const auto left = timeLeftText(); !left.empty()) {
        out += "  " + left;
    }
    out += "  ";
    out += label;
    return out;
}

std::string ProgressMeter::grouped(std::uint64_t n) {
    const std::string digits = std::to_string(n);
    std::string out;
    for (std::size_t i = 0; i < digits.size(); ++i) {
        if (i > 0 && (digits.size() - i) % 3 == 0) {
            out += ',';
        }
        out += digits[i];
    }
    return out;
}

ProgressLine::ProgressLine(std::FILE* out, bool terminal, Verbosity verbosity,
                           std::function<ProgressMeter::Clock::time_point()> now)
    : out_(out), terminal_(terminal), verbosity_(verbosity), meter_(std::move(now)) {}

ProgressLine::ProgressLine(Verbosity verbosity)
    : ProgressLine(stderr, isatty(fileno(stderr)) != 0, verbosity) {}

void ProgressLine::item(std::string_view text) {
    if (printsItems()) {
        std::fprintf(out_, "%.*s\n", static_cast<int>(text.size()), text.data());
    }
}

void ProgressLine::note(std::string_view text) {
    if (verbosity_ != Verbosity::Quiet) {
        std::fprintf(out_, "%.*s\n", static_cast<int>(text.size()), text.data());
    }
}

void ProgressLine::advance(int percent, std::uint64_t done, std::uint64_t total,
                           std::string_view label) {
    if (!meter_.advance(done, total) || !terminal_ || verbosity_ == Verbosity::Quiet) {
        return;
    }
    // Clear to the end of the line: the new text may be shorter than the old.
    std::fprintf(out_, "\r%s\033[K", meter_.line(percent, label).c_str());
    std::fflush(out_);
    drawn_ = true;
    ++redraws_;
}

void ProgressLine::end() {
    if (drawn_) {
        std::fprintf(out_, "\n");
        drawn_ = false;
    }
}

void ProgressLine::summary(std::string_view verb, std::uint64_t bytes) {
    end();
    meter_.advance(bytes, meter_.total());
    std::fprintf(out_, "%s\n", meter_.summary(verb).c_str());
}

} // namespace dlu
