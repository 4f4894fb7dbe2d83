#pragma once

#include "comm/ChannelFactory.h"
#include "comm/channels/ArrivalBuffer.h"

#include <chrono>
#include <memory>

class QTcpSocket;

namespace dlu {

// The PLC's Ethernet port or the simulator over TCP, with the blocking Qt API. Connecting
// waits the receive time-out, but at least kMinConnectWait. After a failed open reads answer
// kChannelPortMissing; a peer that closed the connection gives kChannelLinkLost.
class QtTcpChannel final : public DeviceChannel {
public:
    static constexpr std::chrono::milliseconds kMinConnectWait{1000};

    QtTcpChannel();
    ~QtTcpChannel() override;

    bool open(const OpenParams& params) override;
    void setTimeout(std::chrono::milliseconds timeout) override { timeout_ = timeout; }
    bool write(std::span<const std::uint8_t> bytes) override;
    ChannelRead read() override;
    void close() override;

private:
    enum class State { Closed, OpenFailed, Open };

    std::unique_ptr<QTcpSocket> socket_;
    ArrivalBuffer buffer_;
    State state_ = State::Closed;
    std::chrono::milliseconds timeout_{3000};
};

} // namespace dlu
