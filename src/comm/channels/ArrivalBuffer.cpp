#include "comm/channels/ArrivalBuffer.h"

#include <QDeadlineTimer>
#include <QIODevice>

#include <algorithm>
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

namespace {

bool takeArrived(QIODevice& device, ArrivalBuffer& buffer) {
    if (device.bytesAvailable() <= 0) {
        return false;
    }
    buffer.append(device.readAll());
    return !buffer.empty();
}

} // namespace

ChannelRead readBuffered(QIODevice& device, ArrivalBuffer& buffer,
                         std::chrono::milliseconds timeout, const std::function<bool()>& linkLost) {
    if (!buffer.empty() || takeArrived(device, buffer)) {
        return {buffer.take(), kChannelOk};
    }
    const QDeadlineTimer deadline(std::max<std::chrono::milliseconds::rep>(timeout.count(), 0));
    for (;;) {
        if (linkLost()) {
            return {0, kChannelLinkLost};
        }
        // One wait per arrival: everything that came with it is kept for the following reads.
        const bool woke = device.waitForReadyRead(
            waitMillis(std::chrono::milliseconds(deadline.remainingTime())));
        if (takeArrived(device, buffer)) {
            return {buffer.take(), kChannelOk};
        }
        if (!woke && linkLost()) {
            return {0, kChannelLinkLost};
        }
        if (deadline.hasExpired()) {
            return {0, kChannelTimeout};
        }
    }
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
