#include "sim/EmbeddedChannelFactory.h"

#include "comm/CommSet.h"
#include "comm/ForwardingChannel.h"
#include "sim/PlcSimulator.h"
#include "sim/SimulatorChannel.h"

namespace dlu::sim {

namespace {

class EmbeddedChannel final : public ForwardingChannel<SimulatorChannel> {
public:
    EmbeddedChannel(PlcSimulator& simulator, Clock* clock) : ForwardingChannel(simulator, clock) {
        link_.close();
    }

    bool open(const OpenParams&) override {
        link_.reopen();
        return true;
    }
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
