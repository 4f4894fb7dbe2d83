#include "cli/StatusCommand.h"

#include "cli/TerminalPrompter.h"
#include "common/StringTable.h"
#include "common/TerminalText.h"
#include "common/TextFormat.h"
#include "plc/CpuTypeTable.h"

#include <cstdio>
#include <ostream>

namespace dlu {

std::string cpuModeName(std::uint16_t modeWord) {
    const bool remote = (modeWord & 0x80) != 0;
    const char* state = nullptr;
    switch (modeWord & 0x7F) {
    case 0x01:
        state = "RUN";
        break;
    case 0x02:
        state = "STOP";
        break;
    case 0x04:
        state = "PAUSE";
        break;
    default:
        return {};
    }
    return std::string(remote ? "REMOTE " : "LOCAL ") + state;
}

int runStatus(const StatusOptions& options, const ConnectionOptions& connection,
              TerminalPrompter& prompter, const Messages& messages, std::ostream& out) {
    CpuType cpu = kNoCpuType;
    if (!options.cpu.empty()) {
        cpu = CpuTypeTable::parse(options.cpu);
        if (cpu == kNoCpuType) {
            std::fprintf(stderr, "dlutil: unknown CPU type: %s\n",
                         displaySafe(options.cpu).c_str());
            return kExitUsage;
        }
    }
    std::string error;
    auto cli = CliSession::open(connection, prompter, messages,
                                cpu == kNoCpuType ? "A-21" : CpuTypeTable::displayName(cpu), error);
    if (!cli) {
        std::fprintf(stderr, "dlutil: %s\n", displaySafe(error).c_str());
        return kExitUsage;
    }
    auto& session = cli->session();
    session.setProjectCpuType(cpu);
    if (!session.connect()) {
        session.disconnect();
        return kExitPlcFailed;
    }
    PlcStatus status;
    const bool read = session.statusRead(status);
    if (!read) {
        session.errorReport();
    }
    session.disconnect();
    if (!read) {
        return kExitPlcFailed;
    }

    const auto& id = session.plcIdentity();
    const auto code = static_cast<char>(session.identityWord() >> 8);
    const auto sub = static_cast<char>(session.identityWord() & 0xFF);
    const std::string mode = cpuModeName(status.mode());
    out << "PLC CPU type   : " << (id.label.empty() ? std::string("?") : displaySafe(id.label))
        << formatText(" (identity 0x%04X '%c' '%c')", unsigned{session.identityWord()},
                      code >= 0x20 && code < 0x7F ? code : '?',
                      sub >= 0x20 && sub < 0x7F ? sub : '?')
        << "\n";
    out << "Firmware       : " << session.firmwareVersion() << "\n";
    out << "CPU mode       : "
        << (mode.empty() ? formatText("unknown (0x%04X)", unsigned{status.mode()}) : mode) << "\n";
    out << "Key switch     : " << (status.isRemote() ? "REMOTE" : "LOCAL") << "\n";
    out << "Station header : " << (cli->protocol().stationHeaderFlag() ? "used" : "not used")
        << "\n";
    return kExitSuccess;
}

} // namespace dlu
