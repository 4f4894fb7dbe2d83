#pragma once

#include "devmem/DeviceTransferContext.h"
#include "support/SimSession.h"

#include "../package/PackageTestUtil.h"

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

namespace dlu::test {

// One request as the simulator received it: command and the data after the station header.
struct SeenRequest {
    std::uint8_t command = 0;
    std::vector<std::uint8_t> data;
};

// A session connected to an in-process simulator (or a subclass of it), with a fake clock and
// a scripted prompter; the simulator's log keeps every request it received.
template <typename Plc = sim::PlcSimulator> struct DevmemRig : SimSession<Plc> {
    using SimSession<Plc>::plc;
    using SimSession<Plc>::prompter;
    using SimSession<Plc>::messages;
    using SimSession<Plc>::clock;
    using SimSession<Plc>::session;

    explicit DevmemRig(sim::PlcConfig config = {}) : SimSession<Plc>(config) {
        plc.setFrameLog([this](bool sent, std::span<const std::uint8_t> frame) {
            // Head (2), command, length (2), station header (3), data, check code (2).
            if (!sent && frame.size() >= 10) {
                seen.push_back({frame[2], {frame.begin() + 8, frame.end() - 2}});
            }
        });
    }

    bool connect(CpuType type) {
        session.setProjectCpuType(type);
        const bool ok = session.connect();
        seen.clear();
        prompter.clear();
        clock.clearSleeps();
        return ok;
    }

    DeviceTransferContext context() { return {session, prompter, messages, clock}; }

    std::vector<SeenRequest> requests(std::uint8_t command) const {
        std::vector<SeenRequest> out;
        std::copy_if(seen.begin(), seen.end(), std::back_inserter(out),
                     [&](const SeenRequest& r) { return r.command == command; });
        return out;
    }

    // Pauses of exactly `d` the transfer took.
    std::size_t sleepsOf(std::chrono::milliseconds d) const {
        return static_cast<std::size_t>(
            std::count(clock.sleeps().begin(), clock.sleeps().end(), d));
    }

    std::vector<SeenRequest> seen;
};

inline std::vector<std::uint8_t> readFile(const std::filesystem::path& p) {
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline void writeFile(const std::filesystem::path& p, const std::vector<std::uint8_t>& bytes) {
    std::ofstream(p, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
}

// A folder of its own for each test (mkdtemp), removed afterwards.
struct TempFolder : TempDir {
    std::filesystem::path path() const { return TempDir::path(); }
};

} // namespace dlu::test
