#pragma once

#include "support/SimSession.h"

#include <string>
#include <vector>

namespace dlu::test {

// A session wired to an in-process simulator, as the programs wire it to a real channel; the
// project CPU type is the one whose addresses the simulator uses.
struct SimSessionRig : SimSession<> {
    explicit SimSessionRig(sim::PlcConfig config, sim::FaultConfig faults = {})
        : SimSession(std::move(config), std::move(faults)) {
        session.setProjectCpuType(plc.config().cpuType);
    }

    std::string text(int id) const { return std::string(messages(id)); }
};

} // namespace dlu::test
