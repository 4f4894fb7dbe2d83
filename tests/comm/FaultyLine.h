#pragma once

#include "comm/CProtocol.h"
#include "sim/PlcSimulator.h"
#include "sim/SimulatorChannel.h"
#include "support/FakeClock.h"

#include <algorithm>
#include <chrono>
#include <deque>
#include <map>
#include <vector>

namespace dlu::test {

using namespace std::chrono_literals;

// Sits between the protocol and the simulator channel and spoils the answer to chosen writes
// (counted from 1). Every answer reaches the line at a time on the fake clock, in the order the
// PLC gave them, as on a real line: a late answer holds back the answers after it.
class FaultyLine final : public Channel {
public:
    enum class Spoil {
        None,
        Late,      // arrives half a time-out after the time-out
        Late22,    // arrives 2.2 time-outs after its request: after the retry has gone out
        Late3,     // arrives three time-outs after its request
        Late4,     // arrives four time-outs after its request
        LateQuiet, // arrives 50 ms after the time-out
        Duplicate, // delivered twice
        Truncate,  // only its first half arrives
        Lose,      // never arrives
    };

    FaultyLine(Channel& inner, Clock& clock) : inner_(inner), clock_(clock) {}

    void setTimeout(std::chrono::milliseconds t) override { inner_.setTimeout(t); }
    std::chrono::milliseconds timeout() const override { return inner_.timeout(); }
    bool write(std::span<const std::uint8_t> bytes) override {
        ++writes;
        if (!inner_.write(bytes)) {
            return false;
        }
        std::vector<std::uint8_t> answer;
        for (ChannelRead r = inner_.readWithin(0ms); r.status == kChannelOk;
             r = inner_.readWithin(0ms)) {
            answer.push_back(r.byte);
        }
        const auto it = spoil.find(writes);
        const auto now = clock_.now();
        switch (it == spoil.end() ? Spoil::None : it->second) {
        case Spoil::None:
            arrive(now, answer);
            break;
        case Spoil::Late:
            arrive(now + timeout() * 3 / 2, answer);
            break;
        case Spoil::Late22:
            arrive(now + timeout() * 22 / 10, answer);
            break;
        case Spoil::Late3:
            arrive(now + timeout() * 3, answer);
            break;
        case Spoil::Late4:
            arrive(now + timeout() * 4, answer);
            break;
        case Spoil::LateQuiet:
            arrive(now + timeout() + 50ms, answer);
            break;
        case Spoil::Duplicate:
            arrive(now, answer);
            arrive(now, answer);
            break;
        case Spoil::Truncate:
            answer.resize(answer.size() / 2);
            arrive(now, answer);
            break;
        case Spoil::Lose:
            break;
        }
        return true;
    }
    ChannelRead read() override { return readWithin(inner_.timeout()); }
    ChannelRead readWithin(std::chrono::milliseconds limit) override {
        const auto wait = std::min(limit, inner_.timeout());
        const auto now = clock_.now();
        if (line_.empty() || line_.front().first > now + wait) {
            clock_.sleep(wait);
            return {0, kChannelTimeout};
        }
        if (line_.front().first > now) {
            clock_.sleep(std::chrono::ceil<std::chrono::milliseconds>(line_.front().first - now));
        }
        const std::uint8_t b = line_.front().second;
        line_.pop_front();
        return {b, kChannelOk};
    }
    // With `bulk`, a read takes everything that has arrived, up to the size of `out`.
    std::size_t readSome(std::span<std::uint8_t> out, std::chrono::milliseconds limit,
                         std::uint8_t& status) override {
        std::size_t count = Channel::readSome(out, limit, status);
        while (bulk && count > 0 && count < out.size() && !line_.empty() &&
               line_.front().first <= clock_.now()) {
            out[count++] = line_.front().second;
            line_.pop_front();
        }
        return count;
    }
    void close() override { inner_.close(); }

    bool bulk = false;
    std::map<std::size_t, Spoil> spoil;
    std::size_t writes = 0;

private:
    void arrive(Clock::TimePoint at, const std::vector<std::uint8_t>& answer) {
        if (!line_.empty() && at < line_.back().first) {
            // Held back by a late answer: it follows that one a moment later.
            at = line_.back().first + 1ms;
        }
        for (const std::uint8_t b : answer) {
            line_.emplace_back(at, b);
        }
    }

    Channel& inner_;
    Clock& clock_;
    std::deque<std::pair<Clock::TimePoint, std::uint8_t>> line_;
};

struct FaultyRig {
    explicit FaultyRig(sim::PlcConfig config = {}, sim::FaultConfig faults = {})
        : plc(config, std::move(faults)), channel(plc, &clock), line(channel, clock),
          protocol(line) {
        protocol.setClock(&clock);
        protocol.setAttemptCount(3);
        channel.setTimeout(1000ms);
    }

    sim::PlcSimulator plc;
    test::FakeClock clock;
    sim::SimulatorChannel channel;
    FaultyLine line;
    CProtocol protocol;
};

} // namespace dlu::test
