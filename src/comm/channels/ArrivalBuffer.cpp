#include "comm/channels/ArrivalBuffer.h"

#include <QDeadlineTimer>
#include <QIODevice>

#include <algorithm>
#include <cstring>
#include <limits>

namespace dlu {

void ArrivalBuffer::append(const QByteArray& bytes) {
    if (empty()) {
        data_.clear();
        pos_ = 0;
    }
    data_.append(bytes);
}

std::string_view ArrivalBuffer::view() const {
    return {data_.constData() + pos_, static_cast<std::size_t>(data_.size() - pos_)};
}

void ArrivalBuffer::consume(std::size_t count) {
    pos_ = std::min(data_.size(), pos_ + static_cast<qsizetype>(count));
}

void ArrivalBuffer::clear() {
    data_.clear();
    pos_ = 0;
}

int waitMillis(std::chrono::milliseconds ms) {
    return static_cast<int>(
        std::clamp<std::chrono::milliseconds::rep>(ms.count(), 0, std::numeric_limits<int>::max()));
}

std::size_t ArrivalBuffer::takeInto(std::span<std::uint8_t> out) {
    const std::string_view pending = view();
    const std::size_t count = std::min(out.size(), pending.size());
    std::memcpy(out.data(), pending.data(), count);
    consume(count);
    return count;
}

namespace {

bool takeArrived(QIODevice& device, ArrivalBuffer& buffer) {
    if (device.bytesAvailable() <= 0) {
        return false;
    }
    buffer.append(device.readAll());
    return !buffer.empty();
}

// What has arrived, up to the size of `out`: the bytes kept in `buffer` first, then straight
// from the device's own buffer (no copy in between).
std::size_t takeArrivedInto(QIODevice& device, ArrivalBuffer& buffer, std::span<std::uint8_t> out) {
    std::size_t count = buffer.takeInto(out);
    if (count < out.size() && device.bytesAvailable() > 0) {
        const qint64 n = device.read(reinterpret_cast<char*>(out.data() + count),
                                     static_cast<qint64>(out.size() - count));
        count += n > 0 ? static_cast<std::size_t>(n) : 0;
    }
    return count;
}

} // namespace

std::size_t readSomeBuffered(QIODevice& device, ArrivalBuffer& buffer, std::span<std::uint8_t> out,
                             std::chrono::milliseconds timeout,
                             const std::function<bool()>& linkLost, std::uint8_t& status) {
    status = kChannelOk;
    if (const std::size_t count = takeArrivedInto(device, buffer, out); count > 0) {
        return count;
    }
    const QDeadlineTimer deadline(std::max<std::chrono::milliseconds::rep>(timeout.count(), 0));
    for (;;) {
        if (linkLost()) {
            status = kChannelLinkLost;
            return 0;
        }
        // One wait per arrival: the caller takes everything that came with it.
        const bool woke = device.waitForReadyRead(
            waitMillis(std::chrono::milliseconds(deadline.remainingTime())));
        if (const std::size_t count = takeArrivedInto(device, buffer, out); count > 0) {
            return count;
        }
        if (!woke && linkLost()) {
            status = kChannelLinkLost;
            return 0;
        }
        if (deadline.hasExpired()) {
            status = kChannelTimeout;
            return 0;
        }
    }
}

ChannelRead readBuffered(QIODevice& device, ArrivalBuffer& buffer,
                         std::chrono::milliseconds timeout, const std::function<bool()>& linkLost) {
    ChannelRead in;
    readSomeBuffered(device, buffer, std::span(&in.byte, 1), timeout, linkLost, in.status);
    return in;
}

bool fillBuffer(QIODevice& device, ArrivalBuffer& buffer, std::chrono::milliseconds wait) {
    bool added = takeArrived(device, buffer);
    // Without an event loop nothing moves into the device unless we wait, so poll once even
    // when something is there already.
    while (device.waitForReadyRead(added ? 0 : waitMillis(wait))) {
        added = takeArrived(device, buffer) || added;
    }
    return added;
}

bool writeAll(QIODevice& device, std::span<const std::uint8_t> bytes,
              std::chrono::milliseconds timeout) {
    if (!device.isOpen()) {
        return false;
    }
    if (bytes.empty()) {
        return true;
    }
    const auto size = static_cast<qint64>(bytes.size());
    if (device.write(reinterpret_cast<const char*>(bytes.data()), size) != size) {
        return false;
    }
    const QDeadlineTimer deadline(std::max<std::chrono::milliseconds::rep>(timeout.count(), 0));
    while (device.bytesToWrite() > 0) {
        if (!device.waitForBytesWritten(
                waitMillis(std::chrono::milliseconds(deadline.remainingTime())))) {
            return false;
        }
    }
    return true;
}

} // namespace dlu
