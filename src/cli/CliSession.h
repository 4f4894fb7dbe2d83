#pragma once

#include "cli/ConnectionUri.h"
#include "comm/CCOMInterface.h"
#include "comm/COnlineModule.h"
#include "comm/CProtocol.h"
#include "comm/CommSet.h"
#include "common/Clock.h"

#include <memory>
#include <optional>
#include <string>

namespace dlu {

class FileFrameTrace;
class Messages;
class Prompter;
class TerminalPrompter;

namespace sim {
class PlcSimulator;
}

// Options every command that talks to a PLC shares.
struct ConnectionOptions {
    std::string conn;                // empty: the stored settings of the desktop program
    std::optional<unsigned> timeout; // seconds
    std::optional<unsigned> retry;   // attempts
    std::string trace;               // frame trace file, "-" for standard error
};

// Everything a command needs to talk to one PLC: the settings record, the channel, the
// protocol object and a session over them, wired as the desktop program wires its own. With
// "embedded" the PLC is a simulator inside this process.
class CliSession {
public:
    // Nothing, with `error` set, for a bad connection or option. `embeddedLabel` is the PLC the
    // embedded simulator plays unless the connection names one ("A-21").
    static std::unique_ptr<CliSession> open(const ConnectionOptions& options,
                                            TerminalPrompter& prompter, const Messages& messages,
                                            std::string_view embeddedLabel, std::string& error);
    ~CliSession();

    COnlineModule& session() { return *session_; }
    OnlineContext context();
    CommSet& settings() { return settings_; }
    CProtocol& protocol() { return *protocol_; }
    Clock& clock() { return clock_; }
    // The simulator of an embedded connection; nullptr otherwise.
    sim::PlcSimulator* embedded() { return simulator_.get(); }

private:
    CliSession() = default;

    CommSet settings_;
    SystemClock clock_;
    std::unique_ptr<sim::PlcSimulator> simulator_;
    std::unique_ptr<ChannelFactory> factory_;
    std::unique_ptr<CCOMInterface> com_;
    std::unique_ptr<FileFrameTrace> trace_;
    std::unique_ptr<CProtocol> protocol_;
    std::unique_ptr<COnlineModule> session_;
    Prompter* prompter_ = nullptr;
    const Messages* messages_ = nullptr;
};

// Exit codes of every dlutil command.
inline constexpr int kExitSuccess = 0;
inline constexpr int kExitPlcFailed = 1;
inline constexpr int kExitUsage = 2;

} // namespace dlu
