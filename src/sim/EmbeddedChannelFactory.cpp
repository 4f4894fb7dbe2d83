#include "sim/EmbeddedChannelFactory.h"

#include "comm/CommSet.h"
#include "sim/PlcSimulator.h"
#include "sim/SimulatorChannel.h"

namespace dlu::sim {

namespace {

class EmbeddedChannel final : public DeviceChannel {
public:
    EmbeddedChannel(PlcSimulator& simulator, Clock* clock) : channel_(simulator, clock) {
        channel_.close();
    }

    bool open(const OpenParams&) override {
        channel_.reopen();
        return true;
    }
    void setTimeout(std::chrono::milliseconds timeout) override { channel_.setTimeout(timeout); }
    bool write(std::span<const std::uint8_t> bytes) override { return channel_.write(bytes); }
    ChannelRead read() override { return channel_.read(); }
    ChannelRead readWithin(std::chrono::milliseconds limit) override {
        return channel_.readWithin(limit);
    }
    std::size_t readSome(std::span<std::uint8_t> out, std::chrono::milliseconds limit,
                         std::uint8_t& status) override {
        return channel_.readSome(out, limit, status);
    }
    std::chrono::milliseconds timeout() const override { return channel_.timeout(); }
    std::chrono::microseconds byteTime() const override { return channel_.byteTime(); }
    void close() override { channel_.close(); }

private:
    SimulatorChannel channel_;
};

} // namespace

std::unique_ptr<DeviceChannel> EmbeddedChannelFactory::create(std::uint8_t connectionType) {
    if (!isConnectionType(connectionType) || connectionType == kConLeasedLine) {
        return nullptr;
    }
    ++created_;
    return std::make_unique<EmbeddedChannel>(simulator_, clock_);
}

std::uint32_t EmbeddedChannelFactory::resolveHostName(std::string_view) {
    return 0x7F000001; // the simulator is here
}

} // namespace dlu::sim
