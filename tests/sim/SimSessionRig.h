#pragma once

#include "comm/CCOMInterface.h"
#include "comm/COnlineModule.h"
#include "comm/CommSet.h"
#include "common/StringTable.h"
#include "sim/EmbeddedChannelFactory.h"
#include "sim/PlcSimulator.h"
#include "support/FakeClock.h"
#include "support/ScriptedPrompter.h"

#include <string>
#include <vector>

namespace dlu::test {

// A session wired to an in-process simulator, as the programs wire it to a real channel; the
// project CPU type is the one whose addresses the simulator uses.
struct SimSessionRig {
    explicit SimSessionRig(sim::PlcConfig config, sim::FaultConfig faults = {})
        : plc(std::move(config), std::move(faults)), factory(plc), com(factory, prompter),
          protocol(com),
          session(OnlineContext{settings, com, protocol, prompter, messages, clock}) {
        settings.setDefaults();
        settings.nConType = kConSimulator;
        session.setProjectCpuType(plc.config().cpuType);
    }

    std::vector<std::string> shown() const { return prompter.texts(); }
    std::string text(int id) const { return std::string(messages(id)); }

    sim::PlcSimulator plc;
    sim::EmbeddedChannelFactory factory;
    ScriptedPrompter prompter;
    CCOMInterface com;
    CProtocol protocol;
    CommSet settings;
    Messages messages{Language::English};
    FakeClock clock;
    COnlineModule session;
};

} // namespace dlu::test
