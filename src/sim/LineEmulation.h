#pragma once

#include <chrono>
#include <cstdint>

namespace dlu::sim {

// A serial cable at a fixed speed, both directions at once (10 bits a byte: start, 8 data,
// stop). Each direction is busy until its last byte is through; a block put on it starts when
// it is free. Every time comes from the start of a block plus the exact wire time of the bytes
// before, never from the previous wake-up, so a late sleep delays one byte and not every byte
// after it.
//
// The PLC's turnaround is the time between the last byte of a request arriving and the first
// byte of its answer leaving.
class LineEmulation {
public:
    using TimePoint = std::chrono::steady_clock::time_point;

    LineEmulation() = default;
    LineEmulation(std::uint32_t baud, std::chrono::microseconds turnaround)
        : baud_(baud), turnaround_(turnaround) {}

    std::uint32_t baud() const { return baud_; }
    std::chrono::microseconds turnaround() const { return turnaround_; }
    // False when bytes pass at once and answers come without delay.
    bool active() const { return baud_ != 0 || turnaround_.count() != 0; }

    // Time `bytes` bytes take on the line (zero without a baud rate).
    std::chrono::nanoseconds wireTime(std::uint64_t bytes) const;

    // Request bytes handed to the line at `at`; answers when the last of them has arrived.
    TimePoint request(TimePoint at, std::uint64_t bytes);
    // An answer of `bytes` bytes to a request complete at `requestIn`: answers when its first
    // byte starts, after the turnaround and once the line toward the host is free.
    TimePoint answer(TimePoint requestIn, std::uint64_t bytes);
    // When byte `index` (from 0) of a block that started at `start` has arrived.
    TimePoint arrival(TimePoint start, std::uint64_t index) const {
        return start + wireTime(index + 1);
    }
    // Bytes of a block that started at `start` which have arrived by `now`.
    std::uint64_t arrivedBy(TimePoint start, TimePoint now) const;

    // Lets the calling thread's timed sleeps end at their deadline instead of up to the
    // kernel's default slack (50 µs) later: a byte at 115,200 baud takes 87 µs, and a real
    // line wakes its reader when the byte is there, not at the next convenient timer.
    static void wakeOnTime();

    // A new connection: nothing is on the line.
    void reset() { toPlcFree_ = toHostFree_ = TimePoint{}; }

private:
    std::uint32_t baud_ = 0;
    std::chrono::microseconds turnaround_{0};
    TimePoint toPlcFree_{};
    TimePoint toHostFree_{};
};

} // namespace dlu::sim
