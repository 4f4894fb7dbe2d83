#include "comm/channels/QtTcpChannel.h"

#include "comm/FailureCause.h"

#include <QHostAddress>
#include <QTcpSocket>

#include <algorithm>
#include <cerrno>

namespace dlu {

QtTcpChannel::QtTcpChannel() : socket_(std::make_unique<QTcpSocket>()) {}

QtTcpChannel::~QtTcpChannel() { close(); }

bool QtTcpChannel::open(const OpenParams& params) {
    close();
    target_.clear();
    const auto* tcp = std::get_if<TcpOpenParams>(&params);
    // Address 0 is what an unresolved host name leaves behind.
    if (!tcp || tcp->address == 0 || tcp->port == 0) {
        state_ = State::OpenFailed;
        return false;
    }
    // From here on a failure is the network's: refused or not answered.
    target_ = tcpTarget(tcp->address, tcp->port);
    socket_->connectToHost(QHostAddress(tcp->address), tcp->port);
    if (!socket_->waitForConnected(waitMillis(std::max(timeout_, kMinConnectWait)))) {
        const bool connecting = socket_->state() != QAbstractSocket::UnconnectedState;
        cause_ = systemErrorCause(systemError(socket_->error(), connecting), target_);
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
    const std::size_t n = readSomeBuffered(
        *socket_, buffer_, out, std::min(limit, timeout_),
        [this] { return socket_->state() != QAbstractSocket::ConnectedState; }, status);
    if (status == kChannelLinkLost && cause_.empty()) {
        cause_ = systemErrorCause(systemError(socket_->error(), false), target_);
    }
    return n;
}

int QtTcpChannel::systemError(QAbstractSocket::SocketError error, bool connecting) {
    if (connecting) {
        return ETIMEDOUT;
    }
    switch (error) {
    case QAbstractSocket::ConnectionRefusedError:
        return ECONNREFUSED;
    case QAbstractSocket::NetworkError:
        return EHOSTUNREACH;
    case QAbstractSocket::SocketTimeoutError:
        return ETIMEDOUT;
    case QAbstractSocket::SocketAccessError:
        return EACCES;
    case QAbstractSocket::RemoteHostClosedError:
    default:
        return ECONNRESET;
    }
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
    cause_.clear();
}

} // namespace dlu
