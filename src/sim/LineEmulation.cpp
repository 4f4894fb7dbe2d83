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

LineEmulation::TimePoint LineEmulation::delivery(TimePoint start, std::uint64_t index,
                                                 std::uint64_t count) const {
    if (adapterLatency_.count() == 0) {
        return arrival(start, index);
    }
    // Batch by batch from the block's first byte: each starts with the byte after the last one.
    std::uint64_t first = 0;
    for (;;) {
        const TimePoint opened = arrival(start, first);
        const TimePoint timerEnd = opened + adapterLatency_;
        const std::uint64_t full = std::min(count, first + kAdapterBatch) - 1;
        // The batch is full when its 62nd byte is in before the timer runs out.
        const bool filled = full - first + 1 == kAdapterBatch && arrival(start, full) <= timerEnd;
        std::uint64_t last = full;
        if (!filled) {
            last = std::min(full, arrivedBy(start, timerEnd) - 1);
        }
        if (index <= last) {
            return filled ? arrival(start, full) : timerEnd;
        }
        first = last + 1;
    }
}

std::uint64_t LineEmulation::deliveredBy(TimePoint start, std::uint64_t count,
                                         TimePoint now) const {
    if (adapterLatency_.count() == 0) {
        return std::min(count, arrivedBy(start, now));
    }
    // Hand-overs come in order: find the first byte not yet handed over.
    std::uint64_t done = 0;
    while (done < count && delivery(start, done, count) <= now) {
        ++done;
    }
    return done;
}

void LineEmulation::wakeOnTime() {
    // One nanosecond: 0 would mean "the default" again.
    prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL);
}

} // namespace dlu::sim
