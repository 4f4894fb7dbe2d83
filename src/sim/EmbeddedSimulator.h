#pragma once

#include "sim/PlcSimulator.h"

#include <map>
#include <memory>
#include <string>
#include <string_view>

namespace dlu::sim {

// The simulator an embedded connection talks to, from the connection's options: plcsim's PLC,
// password, memory and fault options by their query names (SimOption::uriName: identity, key,
// mode, seed, image, ...). `defaultLabel` is the PLC it plays unless `identity` names one.
// Nothing, with `error` set, for an unknown PLC or a bad value.
std::unique_ptr<PlcSimulator>
makeEmbeddedSimulator(const std::map<std::string, std::string>& options,
                      std::string_view defaultLabel, std::string& error);

} // namespace dlu::sim
