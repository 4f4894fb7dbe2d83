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
//
// Optionally a USB-serial adapter sits at the program's end: it holds the bytes coming from the
// PLC and hands a batch to the program when its latency timer has run since the first byte of
// the batch, or as soon as 62 bytes have gathered (a full USB packet less its two status
// bytes). Bytes toward the PLC pass at once.
class LineEmulation {
public:
    using TimePoint = std::chrono::steady_clock::time_point;

    LineEmulation() = default;
    LineEmulation(std::uint32_t baud, std::chrono::microseconds turnaround)
        : baud_(baud), turnaround_(turnaround) {}

    // Bytes an adapter gathers at most before it hands them on.
    static constexpr std::uint64_t kAdapterBatch = 62;

    std::uint32_t baud() const { return baud_; }
    std::chrono::microseconds turnaround() const { return turnaround_; }
    // The adapter's latency timer; zero: no adapter.
    std::chrono::microseconds adapterLatency() const { return adapterLatency_; }
    void setAdapterLatency(std::chrono::microseconds latency) { adapterLatency_ = latency; }
    // False when bytes pass at once and answers come without delay.
    bool active() const {
        return baud_ != 0 || turnaround_.count() != 0 || adapterLatency_.count() != 0;
    }

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
    // When byte `index` of a block of `count` bytes toward the program, which started at
    // `start`, reaches the program: its arrival, or with an adapter the hand-over of its batch.
    // The adapter cannot know that a block has ended, so a block's last batch waits for the
    // timer. Blocks are answers to requests the program sends after the previous answer, so
    // no batch takes bytes of two blocks.
    TimePoint delivery(TimePoint start, std::uint64_t index, std::uint64_t count) const;
    // Bytes of such a block that the program has by `now`.
    std::uint64_t deliveredBy(TimePoint start, std::uint64_t count, TimePoint now) const;

    // Lets the calling thread's timed sleeps end at their deadline instead of up to the
    // kernel's default slack (50 µs) later: a byte at 115,200 baud takes 87 µs, and a real
    // line wakes its reader when the byte is there, not at the next convenient timer.
    static void wakeOnTime();

    // A new connection: nothing is on the line.
    void reset() { toPlcFree_ = toHostFree_ = TimePoint{}; }

private:
    std::uint32_t baud_ = 0;
    std::chrono::microseconds turnaround_{0};
    std::chrono::microseconds adapterLatency_{0};
    TimePoint toPlcFree_{};
    TimePoint toHostFree_{};
};

} // namespace dlu::sim
