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

// What arrived from a device and has not been handed on yet. The protocol reads one byte at
// a time; the bytes come from here, and the device is asked again only when this runs dry.
class ArrivalBuffer {
public:
    bool empty() const { return pos_ >= data_.size(); }
    std::uint8_t take() { return static_cast<std::uint8_t>(data_[pos_++]); }
    void append(const QByteArray& bytes);
    // The bytes not taken yet.
    std::string_view view() const;
    void consume(std::size_t count);
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

// Takes everything the device received so far into `buffer`, waiting at most `wait` for a
// first arrival when nothing is there. True when something was added.
bool fillBuffer(QIODevice& device, ArrivalBuffer& buffer, std::chrono::milliseconds wait);

// Writes the whole block and waits until the device has passed it on, at most `timeout`.
bool writeAll(QIODevice& device, std::span<const std::uint8_t> bytes,
              std::chrono::milliseconds timeout);

// Milliseconds for the blocking Qt calls, which take an int.
int waitMillis(std::chrono::milliseconds ms);

} // namespace dlu
