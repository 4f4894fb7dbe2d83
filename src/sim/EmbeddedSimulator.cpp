#include "sim/EmbeddedSimulator.h"

#include "sim/PlcIdentity.h"

#include <charconv>
#include <system_error>

namespace dlu::sim {

std::unique_ptr<PlcSimulator>
makeEmbeddedSimulator(const std::map<std::string, std::string>& options,
                      std::string_view defaultLabel, std::string& error) {
    PlcConfig config;
    const auto opt = [&](const char* key) -> std::string {
        const auto it = options.find(key);
        return it == options.end() ? std::string() : it->second;
    };
    const std::string label = opt("identity").empty() ? std::string(defaultLabel) : opt("identity");
    const auto word = PlcIdentities::wordOf(label);
    if (!word) {
        error = "unknown PLC for the embedded simulator: " + label;
        return nullptr;
    }
    config.identityWord = *word;
    config.cpuType = PlcIdentities::cpuTypeOf(*word);
    if (const auto key = opt("key"); !key.empty()) {
        if (key != "local" && key != "remote") {
            error = "key=local or key=remote";
            return nullptr;
        }
        config.key = key == "local" ? KeySwitch::Local : KeySwitch::Remote;
    }
    if (const auto mode = opt("mode"); !mode.empty()) {
        if (mode == "run") {
            config.state = RunState::Run;
        } else if (mode == "stop") {
            config.state = RunState::Stop;
        } else if (mode == "pause") {
            config.state = RunState::Pause;
        } else {
            error = "mode=run, mode=stop or mode=pause";
            return nullptr;
        }
    }
    // Device memory and the Linux image, as plcsim's --memory-seed and --image-size make them.
    std::optional<std::uint32_t> seed;
    for (const char* key : {"seed", "image"}) {
        const auto text = opt(key);
        if (text.empty()) {
            continue;
        }
        std::uint32_t value = 0;
        const auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
        if (ec != std::errc() || ptr != text.data() + text.size()) {
            error = std::string("bad number for ") + key + ": " + text;
            return nullptr;
        }
        if (std::string_view(key) == "seed") {
            seed = value;
            config.imageSeed = value;
        } else {
            config.imageSize = value;
        }
    }
    auto simulator = std::make_unique<PlcSimulator>(config);
    if (seed) {
        simulator->fillDeviceMemory(*seed);
    }
    return simulator;
}

} // namespace dlu::sim
