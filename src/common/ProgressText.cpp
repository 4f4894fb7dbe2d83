#include "common/ProgressText.h"

#include "common/TextFormat.h"

#include <cmath>
#include <cstddef>

namespace dlu {

namespace {

// Below this a rate says more about the timer than about the link.
constexpr double kShortestMeasure = 0.05;

unsigned long long ull(std::uint64_t n) { return static_cast<unsigned long long>(n); }

} // namespace

ProgressTexts ProgressText::texts(std::uint64_t sent, std::uint64_t total, Seconds elapsed) {
    return {bytes(sent, total), rate(sent, elapsed), timeLeft(sent, total, elapsed)};
}

std::string ProgressText::bytes(std::uint64_t sent, std::uint64_t total) {
    std::string out = grouped(sent);
    if (total != 0) {
        out += " / " + grouped(total);
    }
    return out + " bytes";
}

std::string ProgressText::rate(std::uint64_t sent, Seconds elapsed) {
    if (elapsed.count() < kShortestMeasure) {
        return "-";
    }
    return measuredRate(sent, elapsed);
}

std::string ProgressText::measuredRate(std::uint64_t sent, Seconds elapsed) {
    const double seconds = elapsed.count();
    if (seconds <= 0) {
        return "-";
    }
    const double bitsPerSecond = static_cast<double>(sent) * 8.0 / seconds;
    if (bitsPerSecond < 1e6) {
        return formatText("%.1f kbit/s", bitsPerSecond / 1e3);
    }
    const double bytesPerSecond = bitsPerSecond / 8.0;
    return bytesPerSecond < 1e6 ? formatText("%.1f KB/s", bytesPerSecond / 1e3)
                                : formatText("%.1f MB/s", bytesPerSecond / 1e6);
}

std::string ProgressText::timeLeft(std::uint64_t sent, std::uint64_t total, Seconds elapsed) {
    const double seconds = elapsed.count();
    if (total == 0 || sent == 0 || seconds < kShortestMeasure || sent >= total) {
        return {};
    }
    const double left = static_cast<double>(total - sent) * seconds / static_cast<double>(sent);
    const auto whole = static_cast<std::uint64_t>(std::ceil(left));
    const auto h = whole / 3600;
    const auto m = whole / 60 % 60;
    const auto s = whole % 60;
    return h > 0 ? formatText("%llu:%02llu:%02llu left", ull(h), ull(m), ull(s))
                 : formatText("%llu:%02llu left", ull(m), ull(s));
}

std::string ProgressText::grouped(std::uint64_t n) {
    std::string digits = std::to_string(n);
    for (auto i = static_cast<std::ptrdiff_t>(digits.size()) - 3; i > 0; i -= 3) {
        digits.insert(static_cast<std::size_t>(i), 1, ',');
    }
    return digits;
}

} // namespace dlu
