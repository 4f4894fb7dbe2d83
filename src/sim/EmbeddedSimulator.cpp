#include "sim/EmbeddedSimulator.h"

#include "sim/SimOptions.h"

#include <exception>

namespace dlu::sim {

std::unique_ptr<PlcSimulator>
makeEmbeddedSimulator(const std::map<std::string, std::string>& options,
                      std::string_view defaultLabel, std::string& error) {
    SimOptions simOptions;
    if (!applyUriOptions(options, simOptions, error)) {
        return nullptr;
    }
    SimOptionError problem;
    const auto setup = resolveSimOptions(simOptions, defaultLabel, problem);
    if (!setup) {
        error = problem.unknownIdentity ? "unknown PLC for the embedded simulator: " + problem.text
                                        : problem.text;
        return nullptr;
    }
    try {
        return makeSimulator(*setup);
    } catch (const std::exception& e) {
        error = e.what();
        return nullptr;
    }
}

} // namespace dlu::sim
