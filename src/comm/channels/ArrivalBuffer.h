#pragma once

#include "comm/Channel.h"

#include <QByteArray>

#include <chrono>
#include <cstdint>
#include <functional>
#include <span>
#include <string_view>

class QIODevice;

namespace dlu {

// What arrived from a device and has not been handed on yet (the modem's answers are parsed
// here); reads take these bytes first, and ask the device only when this runs dry.
class ArrivalBuffer {
public:
    bool empty() const { return pos_ >= data_.size(); }
    void append(const QByteArray& bytes);
    // The bytes not taken yet.
    std::string_view view() const;
    void consume(std::size_t count);
    // Moves the bytes not taken yet into `out`, as many as fit; returns the count.
    std::size_t takeInto(std::span<std::uint8_t> out);
    void clear();

private:
    QByteArray data_;
    qsizetype pos_ = 0;
};

// Next byte of a blocking Qt device: from `buffer` when it holds one, else after waiting for
// the next arrival, at most `timeout` in all. `linkLost` tells, after a wait that brought
// nothing, whether the device has gone (kChannelLinkLost) rather than stayed quiet
// (kChannelTimeout once the time is up).
ChannelRead readBuffered(QIODevice& device, ArrivalBuffer& buffer,
                         std::chrono::milliseconds timeout, const std::function<bool()>& linkLost);

// The same for as many bytes as have arrived, up to the size of `out`: waits only for the
// first. Returns the count; `status` says why it is 0.
std::size_t readSomeBuffered(QIODevice& device, ArrivalBuffer& buffer, std::span<std::uint8_t> out,
                             std::chrono::milliseconds timeout,
                             const std::function<bool()>& linkLost, std::uint8_t& status);

// Takes everything the device received so far into `buffer`, waiting at most `wait` for a
// first arrival when nothing is there. True when something was added.
bool fillBuffer(QIODevice& device, ArrivalBuffer& buffer, std::chrono::milliseconds wait);

// Writes the whole block and waits until the device has passed it on, at most `timeout`.
bool writeAll(QIODevice& device, std::span<const std::uint8_t> bytes,
              std::chrono::milliseconds timeout);

// Milliseconds for the blocking Qt calls, which take an int.
int waitMillis(std::chrono::milliseconds ms);

} // namespace dlu
