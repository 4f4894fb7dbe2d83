#include "cli/ProgressMeter.h"

#include "common/ProgressText.h"
#include "common/TextFormat.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <utility>

namespace dlu {

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

std::string ProgressMeter::rateText() const {
    return ProgressText::rate(done_, ProgressText::Seconds(seconds()));
}

std::string ProgressMeter::timeLeftText() const {
    return ProgressText::timeLeft(done_, total_, ProgressText::Seconds(seconds()));
}

std::string ProgressMeter::summary(std::string_view verb) const {
    const double s = seconds();
    return std::string(verb) + " " + grouped(done_) + " bytes in " + formatText("%.1f s", s) +
           " (" + ProgressText::measuredRate(done_, ProgressText::Seconds(s)) + ")";
}

std::string ProgressMeter::line(int percent, std::string_view label) const {
    constexpr int kWidth = 24;
    const int filled = std::clamp(percent, 0, 100) * kWidth / 100;
    std::string out = "[" + std::string(static_cast<std::size_t>(filled), '#') +
                      std::string(static_cast<std::size_t>(kWidth - filled), '.') + "] " +
                      formatText("%3d%%", percent) + "  ";
    const ProgressTexts texts =
        ProgressText::texts(done_, total_, ProgressText::Seconds(seconds()));
    out += texts.bytes + "  " + texts.rate;
    if (!texts.timeLeft.empty()) {
        out += "  " + texts.timeLeft;
    }
    out += "  ";
    out += label;
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
