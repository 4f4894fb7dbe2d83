#pragma once

#include "comm/Channel.h"

#include <cstdint>
#include <deque>
#include <vector>

namespace dlu::test {

// Passes everything to another channel and keeps a copy of every frame written and every
// byte read, so a test can compare whole exchanges byte for byte.
class RecordingChannel final : public Channel {
public:
    explicit RecordingChannel(Channel& inner) : inner_(inner) {}

    void setTimeout(std::chrono::milliseconds timeout) override { inner_.setTimeout(timeout); }
    bool write(std::span<const std::uint8_t> bytes) override {
        writes.emplace_back(bytes.begin(), bytes.end());
        return inner_.write(bytes);
    }
    ChannelRead read() override {
        const ChannelRead r = inner_.read();
        ++readCalls;
        if (r.status == kChannelOk) {
            bytesRead.push_back(r.byte);
        }
        return r;
    }
    void close() override { inner_.close(); }

    std::vector<std::vector<std::uint8_t>> writes;
    std::vector<std::uint8_t> bytesRead;
    std::size_t readCalls = 0;

private:
    Channel& inner_;
};

// A channel whose answers the test writes beforehand: every read takes the next queued byte;
// an empty queue times out.
class ScriptedChannel final : public Channel {
public:
    void setTimeout(std::chrono::milliseconds) override {}
    bool write(std::span<const std::uint8_t> bytes) override {
        writes.emplace_back(bytes.begin(), bytes.end());
        return writeResult;
    }
    ChannelRead read() override {
        if (incoming.empty()) {
            return {0, kChannelTimeout};
        }
        const std::uint8_t b = incoming.front();
        incoming.pop_front();
        ++bytesRead;
        return {b, kChannelOk};
    }
    void close() override {}

    void queue(const std::vector<std::uint8_t>& bytes) {
        incoming.insert(incoming.end(), bytes.begin(), bytes.end());
    }

    std::vector<std::vector<std::uint8_t>> writes;
    std::deque<std::uint8_t> incoming;
    std::size_t bytesRead = 0;
    bool writeResult = true;
};

} // namespace dlu::test
