#pragma once

#include "common/OperationRecord.h"

#include <chrono>
#include <string>

namespace dlu {

class COnlineModule;
class TerminalPrompter;
struct ConnectionOptions;

// The operation record of one dlutil command that talks to a PLC: started before the command
// connects, told what the PLC is and what went over the link, and written when the command
// ends. Writing it never changes the command's exit code; a record that cannot be written is
// said once on standard error.
class CommandRecord {
public:
    CommandRecord(const ConnectionOptions& connection, std::string operation, std::string file);

    // The PLC the session identified (after connect).
    void connected(const COnlineModule& session);
    void project(std::string name, std::string cpu);
    void transferred(std::uint64_t items, std::uint64_t bytes);
    void cancelled() { cancelled_ = true; }

    // Writes the record for a command that ends with `exitCode`, and gives the code back.
    int finish(int exitCode, const TerminalPrompter& prompter);

    // "tcp" and "192.168.0.10:10523" of "tcp://192.168.0.10:10523"; the query of a connection
    // string (baud rate, station, numbers) is left out.
    static std::pair<std::string, std::string> connectionParts(const std::string& conn);

private:
    bool enabled_;
    bool cancelled_ = false;
    OperationRecord record_; // its time is when the command began
    std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
};

} // namespace dlu
