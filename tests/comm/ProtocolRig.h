#pragma once

#include "comm/CProtocol.h"
#include "comm/TestChannels.h"
#include "sim/PlcSimulator.h"
#include "sim/SimulatorChannel.h"
#include "support/FakeClock.h"

namespace dlu::test {

// The protocol talking to an in-process simulator, with every written frame and read byte
// recorded and time kept by a fake clock.
template <typename Simulator = sim::PlcSimulator> struct ProtocolRigT {
    explicit ProtocolRigT(sim::PlcConfig config = {}, sim::FaultConfig faults = {})
        : plc(config, std::move(faults)), channel(plc, &clock), wire(channel), protocol(wire) {}

    Simulator plc;
    FakeClock clock;
    sim::SimulatorChannel channel;
    RecordingChannel wire;
    CProtocol protocol;
};

using ProtocolRig = ProtocolRigT<>;

inline sim::PlcConfig olderPlc() {
    sim::PlcConfig c;
    c.takesStationHeader = false;
    return c;
}

} // namespace dlu::test
