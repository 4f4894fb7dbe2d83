#include "sim/LineEmulation.h"

#include <algorithm>
#include <limits>
#include <sys/prctl.h>

namespace dlu::sim {

namespace {
constexpr std::int64_t kBitsPerByte = 10;
constexpr std::int64_t kNanosPerSecond = 1'000'000'000;
} // namespace

std::chrono::nanoseconds LineEmulation::wireTime(std::uint64_t bytes) const {
    if (baud_ == 0) {
        return std::chrono::nanoseconds{0};
    }
    // Exact for the whole block: rounding one byte's time and multiplying would drift by up
    // to a nanosecond a byte.
    const auto bits = static_cast<std::int64_t>(bytes) * kBitsPerByte;
    return std::chrono::nanoseconds{bits * kNanosPerSecond / baud_};
}

LineEmulation::TimePoint LineEmulation::request(TimePoint at, std::uint64_t bytes) {
    const TimePoint start = std::max(at, toPlcFree_);
    toPlcFree_ = start + wireTime(bytes);
    return toPlcFree_;
}

LineEmulation::TimePoint LineEmulation::answer(TimePoint requestIn, std::uint64_t bytes) {
    const TimePoint start = std::max(requestIn + turnaround_, toHostFree_);
    toHostFree_ = start + wireTime(bytes);
    return start;
}

std::uint64_t LineEmulation::arrivedBy(TimePoint start, TimePoint now) const {
    if (now < start) {
        return 0;
    }
    if (baud_ == 0) {
        return std::numeric_limits<std::uint64_t>::max();
    }
    const auto elapsed = std::chrono::duration_cast<std::chrono::nanoseconds>(now - start);
    // Whole bytes in the elapsed time, then made to agree with wireTime()'s rounding.
    auto bytes =
        static_cast<std::uint64_t>(elapsed.count() * baud_ / (kBitsPerByte * kNanosPerSecond));
    while (wireTime(bytes + 1) <= elapsed) {
        ++bytes;
    }
    return bytes;
}

void LineEmulation::wakeOnTime() {
    // One nanosecond: 0 would mean "the default" again.
    prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL);
}

} // namespace dlu::sim
