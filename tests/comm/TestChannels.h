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
    ChannelRead read() override { return record(inner_.read()); }
    ChannelRead readWithin(std::chrono::milliseconds limit) override {
        return record(inner_.readWithin(limit));
    }
    std::chrono::milliseconds timeout() const override { return inner_.timeout(); }
    std::chrono::microseconds byteTime() const override { return inner_.byteTime(); }
    ChannelRead record(ChannelRead r) {
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
// an empty queue times out. Bytes in `waiting` had already arrived before the next request
// (stale bytes); those in `incoming` arrive as its answer, so only a read that waits gets them.
class ScriptedChannel final : public Channel {
public:
    void setTimeout(std::chrono::milliseconds) override {}
    bool write(std::span<const std::uint8_t> bytes) override {
        writes.emplace_back(bytes.begin(), bytes.end());
        return writeResult;
    }
    ChannelRead read() override { return readWithin(std::chrono::milliseconds{1}); }
    ChannelRead readWithin(std::chrono::milliseconds limit) override {
        std::deque<std::uint8_t>& from =
            !waiting.empty() || limit.count() == 0 ? waiting : incoming;
        if (from.empty()) {
            return {0, kChannelTimeout};
        }
        const std::uint8_t b = from.front();
        from.pop_front();
        ++bytesRead;
        return {b, kChannelOk};
    }
    void close() override {}

    void queue(const std::vector<std::uint8_t>& bytes) {
        incoming.insert(incoming.end(), bytes.begin(), bytes.end());
    }

    std::vector<std::vector<std::uint8_t>> writes;
    std::deque<std::uint8_t> incoming;
    std::deque<std::uint8_t> waiting;
    std::size_t bytesRead = 0;
    bool writeResult = true;
};

} // namespace dlu::test
