#include "sim/SimulatorChannel.h"

#include "common/Clock.h"
#include "sim/PlcSimulator.h"

#include <algorithm>
#include <cstring>
#include <thread>

namespace dlu::sim {

SimulatorChannel::SimulatorChannel(PlcSimulator& simulator, Clock* clock)
    : simulator_(simulator), clock_(clock), line_(clock ? LineEmulation{} : simulator.line()) {
    if (clock_ != nullptr && simulator.line().adapterLatency().count() > 0) {
        adapter_ = LineEmulation(simulator.line().baud(), std::chrono::microseconds{0});
        adapter_.setAdapterLatency(simulator.line().adapterLatency());
    }
    if (line_.active()) {
        LineEmulation::wakeOnTime();
    }
    simulator_.connectionOpened();
}

void SimulatorChannel::reopen() {
    open_ = true;
    pending_.clear();
    next_ = 0;
    blocks_.clear();
    block_ = 0;
    line_.reset();
    simulator_.connectionOpened();
}

void SimulatorChannel::pace(std::size_t bytes) {
    if (clock_ == nullptr) {
        return;
    }
    owed_ += simulator_.byteDelay() * static_cast<std::int64_t>(bytes);
    // The clock counts whole milliseconds; the rest waits for the next bytes.
    const auto whole = std::chrono::duration_cast<std::chrono::milliseconds>(owed_);
    if (whole.count() > 0) {
        owed_ -= whole;
        clock_->sleep(whole);
    }
}

bool SimulatorChannel::write(std::span<const std::uint8_t> bytes) {
    if (!open_) {
        return false;
    }
    pace(bytes.size());
    if (next_ == pending_.size()) {
        pending_.clear();
        next_ = 0;
        blocks_.clear();
        block_ = 0;
    }
    const std::size_t before = pending_.size();
    // Like a socket whose peer has gone: the write still succeeds, the read finds the link lost.
    simulator_.receive(bytes, pending_);
    if (line_.active()) {
        const auto in = line_.request(std::chrono::steady_clock::now(), bytes.size());
        if (pending_.size() > before) {
            blocks_.push_back({before, line_.answer(in, pending_.size() - before)});
        }
    } else if (adapter_.active() && pending_.size() > before) {
        blocks_.push_back({before, clock_->now()});
    }
    return true;
}

ChannelRead SimulatorChannel::read() { return readWithin(timeout_); }

std::chrono::microseconds SimulatorChannel::byteTime() const {
    return std::chrono::duration_cast<std::chrono::microseconds>(simulator_.byteDelay());
}

ChannelRead SimulatorChannel::readWithin(std::chrono::milliseconds limit) {
    if (!open_) {
        return {0, kChannelNotOpen};
    }
    if (next_ < pending_.size() && line_.active()) {
        return readPaced();
    }
    if (next_ < pending_.size() && adapter_.active()) {
        return readThroughAdapter();
    }
    if (next_ < pending_.size()) {
        pace(1);
        return {pending_[next_++], kChannelOk};
    }
    if (simulator_.connectionClosed()) {
        return {0, kChannelLinkLost};
    }
    if (clock_ != nullptr && limit.count() > 0) {
        clock_->sleep(std::min(limit, timeout_));
    }
    return {0, kChannelTimeout};
}

std::size_t SimulatorChannel::readSome(std::span<std::uint8_t> out, std::chrono::milliseconds limit,
                                       std::uint8_t& status) {
    if (clock_ != nullptr || out.empty()) {
        // The clock is charged byte by byte, as each byte is taken.
        return Channel::readSome(out, limit, status);
    }
    const ChannelRead first = readWithin(limit);
    status = first.status;
    if (first.status != kChannelOk) {
        return 0;
    }
    out[0] = first.byte;
    std::size_t count = 1;
    if (!line_.active()) {
        count += std::min(out.size() - 1, pending_.size() - next_);
        std::memcpy(out.data() + 1, pending_.data() + next_, count - 1);
        next_ += count - 1;
        return count;
    }
    // Then what the line has already delivered, without waiting for more.
    const auto now = std::chrono::steady_clock::now();
    while (count < out.size() && next_ < pending_.size() && dueTime() <= now) {
        out[count++] = pending_[next_++];
    }
    return count;
}

LineEmulation::TimePoint SimulatorChannel::dueTime() {
    while (block_ + 1 < blocks_.size() && blocks_[block_ + 1].first <= next_) {
        ++block_;
    }
    const Block& block = blocks_[block_];
    const std::size_t end =
        block_ + 1 < blocks_.size() ? blocks_[block_ + 1].first : pending_.size();
    return timing().delivery(block.start, next_ - block.first, end - block.first);
}

ChannelRead SimulatorChannel::readThroughAdapter() {
    const auto due = dueTime();
    const auto now = clock_->now();
    if (due > now) {
        // The clock counts whole milliseconds: the byte is there at the first one after it.
        const auto wait = std::chrono::ceil<std::chrono::milliseconds>(due - now);
        if (wait > timeout_) {
            clock_->sleep(timeout_);
            return {0, kChannelTimeout};
        }
        clock_->sleep(wait);
    }
    return {pending_[next_++], kChannelOk};
}

ChannelRead SimulatorChannel::readPaced() {
    const auto due = dueTime();
    const auto now = std::chrono::steady_clock::now();
    if (due > now) {
        if (due - now > timeout_) {
            std::this_thread::sleep_for(timeout_);
            return {0, kChannelTimeout};
        }
        // To the absolute time: a late wake-up is made up by the bytes after it.
        std::this_thread::sleep_until(due);
    }
    return {pending_[next_++], kChannelOk};
}

} // namespace dlu::sim
