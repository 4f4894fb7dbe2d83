#pragma once

#include "comm/Connection.h"
#include "common/Clock.h"

#include <memory>
#include <optional>
#include <string>

namespace dlu {

class ChannelFactory;
class FileFrameTrace;
class FrameTraces;
class RequestLog;
class Messages;
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
    bool verbose = false;            // each request and answer on standard error
    bool history = true;             // append the operation record (--no-history: false)
};

// Everything a command needs to talk to one PLC: a connection made from --conn (or from the
// desktop program's stored settings) and the options. With "embedded" the PLC is a simulator
// inside this process.
class CliSession {
public:
    // Nothing, with `error` set, for a bad connection or option. `embeddedLabel` is the PLC the
    // embedded simulator plays unless the connection names one ("A-21").
    static std::unique_ptr<CliSession> open(const ConnectionOptions& options,
                                            TerminalPrompter& prompter, const Messages& messages,
                                            std::string_view embeddedLabel, std::string& error);
    ~CliSession();

    Connection& connection() { return *connection_; }
    COnlineModule& session() { return connection_->session(); }
    OnlineContext context() { return connection_->context(); }
    CommSet& settings() { return connection_->settings(); }
    CProtocol& protocol() { return connection_->protocol(); }
    Clock& clock() { return clock_; }
    // The simulator of an embedded connection; nullptr otherwise.
    sim::PlcSimulator* embedded() { return simulator_.get(); }

private:
    CliSession() = default;

    SystemClock clock_;
    std::unique_ptr<sim::PlcSimulator> simulator_;
    std::unique_ptr<ChannelFactory> factory_;
    std::unique_ptr<FileFrameTrace> trace_;
    std::unique_ptr<RequestLog> requestLog_;
    std::unique_ptr<FrameTraces> traces_;
    // Last, so that it closes before the channel factory and the trace go.
    std::unique_ptr<Connection> connection_;
};

// Why `file` cannot be read, in the system's words ("No such file or directory"), or what it
// is when it is not a regular file ("it is a named pipe, not a regular file"); empty when it
// can. Never waits on a pipe or a device.
std::string unreadableReason(const std::string& file);
// Says on standard error why `file` cannot be read, if it cannot.
void sayWhyUnreadable(const std::string& file);
// Why `file` cannot be written there: also when something that is not a regular file stands
// at the name ("it is a device node, not a regular file"); empty when nothing is known
// against it.
std::string unwritableReason(const std::string& file);

// Exit codes of every dlutil command.
inline constexpr int kExitSuccess = 0;
inline constexpr int kExitPlcFailed = 1;
inline constexpr int kExitUsage = 2;

} // namespace dlu
