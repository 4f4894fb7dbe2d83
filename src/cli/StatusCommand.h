#pragma once

#include "cli/CliSession.h"

#include <iosfwd>
#include <string>

namespace dlu {

class Messages;
class TerminalPrompter;

struct StatusOptions {
    std::string cpu; // code or display name; empty: whatever PLC answers
};

// dlutil status: connects, prints what the PLC is and its CPU mode, disconnects.
int runStatus(const StatusOptions& options, const ConnectionOptions& connection,
              TerminalPrompter& prompter, const Messages& messages, std::ostream& out);

// "REMOTE STOP" and the like for a mode word; empty for a word of no known mode.
std::string cpuModeName(std::uint16_t modeWord);

} // namespace dlu
