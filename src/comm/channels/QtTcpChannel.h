#pragma once

#include "comm/ChannelFactory.h"
#include "comm/channels/ArrivalBuffer.h"

#include <QAbstractSocket>

#include <chrono>
#include <memory>
#include <string>

class QTcpSocket;

namespace dlu {

// The PLC's Ethernet port or the simulator over TCP, with the blocking Qt API. Connecting
// waits the receive time-out, but at least kMinConnectWait. After an open without an address
// reads answer kChannelPortMissing; a connection that was refused or not answered, and a peer
// that closed the connection, give kChannelLinkLost: the network failed, not a local port.
class QtTcpChannel final : public DeviceChannel {
public:
    static constexpr std::chrono::milliseconds kMinConnectWait{1000};

    QtTcpChannel();
    ~QtTcpChannel() override;

    bool open(const OpenParams& params) override;
    void setTimeout(std::chrono::milliseconds timeout) override { timeout_ = timeout; }
    bool write(std::span<const std::uint8_t> bytes) override;
    ChannelRead read() override { return readWithin(timeout_); }
    ChannelRead readWithin(std::chrono::milliseconds limit) override;
    std::size_t readSome(std::span<std::uint8_t> out, std::chrono::milliseconds limit,
                         std::uint8_t& status) override;
    std::chrono::milliseconds timeout() const override { return timeout_; }
    void close() override;
    std::string failureCause() const override { return cause_; }

    // The system's error behind a socket error Qt reports; `connecting` when the socket was
    // still waiting for the peer's answer (a connection that was not answered in time).
    static int systemError(QAbstractSocket::SocketError error, bool connecting);

private:
    enum class State { Closed, OpenFailed, Refused, Open };

    std::unique_ptr<QTcpSocket> socket_;
    ArrivalBuffer buffer_;
    State state_ = State::Closed;
    std::chrono::milliseconds timeout_{3000};
    std::string target_;
    std::string cause_;
};

} // namespace dlu
