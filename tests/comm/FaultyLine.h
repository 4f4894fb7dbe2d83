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
// (counted from 1). Time passes on the fake clock only.
class FaultyLine final : public Channel {
public:
    enum class Spoil {
        None,
        Late,      // held back and delivered right after the next request went out
        LateQuiet, // held back and delivered while the program waits for a quiet line
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
        line_.insert(line_.end(), held_.begin(), held_.end());
        held_.clear();
        const auto it = spoil.find(writes);
        switch (it == spoil.end() ? Spoil::None : it->second) {
        case Spoil::None:
            line_.insert(line_.end(), answer.begin(), answer.end());
            break;
        case Spoil::Late:
            held_ = answer;
            break;
        case Spoil::LateQuiet:
            quiet_ = answer;
            break;
        case Spoil::Duplicate:
            line_.insert(line_.end(), answer.begin(), answer.end());
            line_.insert(line_.end(), answer.begin(), answer.end());
            break;
        case Spoil::Truncate:
            line_.insert(line_.end(), answer.begin(),
                         answer.begin() + static_cast<std::ptrdiff_t>(answer.size() / 2));
            break;
        case Spoil::Lose:
            break;
        }
        return true;
    }
    ChannelRead read() override { return readWithin(inner_.timeout()); }
    ChannelRead readWithin(std::chrono::milliseconds limit) override {
        if (line_.empty() && !quiet_.empty() && limit > 0ms) {
            line_.assign(quiet_.begin(), quiet_.end()); // the late answer arrives now
            quiet_.clear();
        }
        if (line_.empty()) {
            clock_.sleep(std::min(limit, inner_.timeout()));
            return {0, kChannelTimeout};
        }
        const std::uint8_t b = line_.front();
        line_.pop_front();
        return {b, kChannelOk};
    }
    // With `bulk`, a read takes everything on the line, up to the size of `out`.
    std::size_t readSome(std::span<std::uint8_t> out, std::chrono::milliseconds limit,
                         std::uint8_t& status) override {
        std::size_t count = Channel::readSome(out, limit, status);
        while (bulk && count > 0 && count < out.size() && !line_.empty()) {
            out[count++] = line_.front();
            line_.pop_front();
        }
        return count;
    }
    void close() override { inner_.close(); }

    bool bulk = false;
    std::map<std::size_t, Spoil> spoil;
    std::size_t writes = 0;

private:
    Channel& inner_;
    Clock& clock_;
    std::deque<std::uint8_t> line_;
    std::vector<std::uint8_t> held_;
    std::vector<std::uint8_t> quiet_;
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
