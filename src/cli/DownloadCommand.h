#pragma once

#include "cli/CliSession.h"

#include <iosfwd>
#include <optional>
#include <string>

namespace dlu {

class Messages;
class TerminalPrompter;

struct DownloadOptions {
    std::string package;
    std::optional<bool> run; // --run / --no-run: the answer to the Remote RUN question
};

// dlutil download: opens the package, connects with its CPU type, brings the CPU to STOP
// (asking first), downloads with a progress display, and offers Remote RUN. With the embedded
// connection it then lists what the simulated PLC received.
int runDownload(const DownloadOptions& options, const ConnectionOptions& connection,
                TerminalPrompter& prompter, const Messages& messages, std::ostream& out);

} // namespace dlu
