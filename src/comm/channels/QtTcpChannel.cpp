#include "comm/channels/QtTcpChannel.h"

#include <QHostAddress>
#include <QTcpSocket>

#include <algorithm>

namespace dlu {

QtTcpChannel::QtTcpChannel() : socket_(std::make_unique<QTcpSocket>()) {}

QtTcpChannel::~QtTcpChannel() { close(); }

bool QtTcpChannel::open(const OpenParams& params) {
    close();
    const auto* tcp = std::get_if<TcpOpenParams>(&params);
    // Address 0 is what an unresolved host name leaves behind.
    if (!tcp || tcp->address == 0 || tcp->port == 0) {
        state_ = State::OpenFailed;
        return false;
    }
    // From here on a failure is the network's: refused or not answered.
    socket_->connectToHost(QHostAddress(tcp->address), tcp->port);
    if (!socket_->waitForConnected(waitMillis(std::max(timeout_, kMinConnectWait)))) {
        socket_->abort();
        state_ = State::Refused;
        return false;
    }
    // Requests are small and answered one at a time: send each at once.
    socket_->setSocketOption(QAbstractSocket::LowDelayOption, 1);
    state_ = State::Open;
    return true;
}

bool QtTcpChannel::write(std::span<const std::uint8_t> bytes) {
    if (state_ != State::Open || socket_->state() != QAbstractSocket::ConnectedState) {
        return false;
    }
    return writeAll(*socket_, bytes, timeout_);
}

ChannelRead QtTcpChannel::readWithin(std::chrono::milliseconds limit) {
    ChannelRead in;
    readSome(std::span(&in.byte, 1), limit, in.status);
    return in;
}

std::size_t QtTcpChannel::readSome(std::span<std::uint8_t> out, std::chrono::milliseconds limit,
                                   std::uint8_t& status) {
    switch (state_) {
    case State::Closed:
        status = kChannelNotOpen;
        return 0;
    case State::OpenFailed:
        status = kChannelPortMissing;
        return 0;
    case State::Refused:
        status = kChannelLinkLost;
        return 0;
    case State::Open:
        break;
    }
    return readSomeBuffered(
        *socket_, buffer_, out, std::min(limit, timeout_),
        [this] { return socket_->state() != QAbstractSocket::ConnectedState; }, status);
}

void QtTcpChannel::close() {
    if (socket_->state() != QAbstractSocket::UnconnectedState) {
        socket_->disconnectFromHost();
        if (socket_->state() != QAbstractSocket::UnconnectedState) {
            socket_->waitForDisconnected(waitMillis(kMinConnectWait));
        }
        socket_->abort();
    }
    socket_->close();
    buffer_.clear();
    state_ = State::Closed;
}

} // namespace dlu
