#pragma once

#include "comm/Connection.h"
#include "common/StringTable.h"
#include "sim/EmbeddedChannelFactory.h"
#include "sim/PlcSimulator.h"
#include "support/FakeClock.h"
#include "support/ScriptedPrompter.h"

#include <string>
#include <utility>
#include <vector>

namespace dlu::test {

// The simulator link of a fresh settings record, as the desktop program starts with it.
inline ConnectionDescription freshSimulatorSpec() {
    CommSet record;
    record.setDefaults();
    record.nConType = kConSimulator;
    return ConnectionDescription::fromCommSet(record);
}

// A connection to a simulator in this process, made the way the programs make theirs, with a
// scripted prompter and a fake clock. `Plc` is the simulator or a subclass of it; the
// arguments go to its constructor. The members below the connection are its parts.
template <typename Plc = sim::PlcSimulator> struct SimSession {
    template <typename... PlcArgs>
    explicit SimSession(PlcArgs&&... plcArgs)
        : plc(std::forward<PlcArgs>(plcArgs)...), factory(plc),
          connection(freshSimulatorSpec(), factory, prompter, messages, clock),
          com(connection.com()), protocol(connection.protocol()), settings(connection.settings()),
          session(connection.session()) {}

    SimSession(const SimSession&) = delete;
    SimSession& operator=(const SimSession&) = delete;

    std::vector<std::string> shown() const { return prompter.texts(); }

    Plc plc;
    sim::EmbeddedChannelFactory factory;
    ScriptedPrompter prompter;
    Messages messages{Language::English};
    FakeClock clock;
    Connection connection;
    CCOMInterface& com;
    CProtocol& protocol;
    CommSet& settings;
    COnlineModule& session;
};

} // namespace dlu::test
