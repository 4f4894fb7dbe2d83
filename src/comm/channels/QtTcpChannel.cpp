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
    switch (state_) {
    case State::Closed:
        return {0, kChannelNotOpen};
    case State::OpenFailed:
        return {0, kChannelPortMissing};
    case State::Refused:
        return {0, kChannelLinkLost};
    case State::Open:
        break;
    }
    return readBuffered(*socket_, buffer_, std::min(limit, timeout_),
                        [this] { return socket_->state() != QAbstractSocket::ConnectedState; });
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
