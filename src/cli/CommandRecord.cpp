#include "cli/CommandRecord.h"

#include "cli/CliSession.h"
#include "cli/TerminalPrompter.h"
#include "comm/OperationNotes.h"
#include "common/StringTable.h"
#include "common/TerminalText.h"
#include "common/Version.h"

#include <cstdio>

namespace dlu {

CommandRecord::CommandRecord(const ConnectionOptions& connection, std::string operation,
                             std::string file)
    : enabled_(connection.history && !OperationLog::disabledByEnvironment()) {
    record_.program = "dlutil";
    record_.version = kProjectVersion;
    record_.operation = std::move(operation);
    std::tie(record_.connectionType, record_.connectionAddress) = connectionParts(connection.conn);
    // Absolute, so that the record still names the file when read from another folder.
    std::error_code ec;
    const auto absolute =
        file.empty() ? std::filesystem::path() : std::filesystem::absolute(file, ec);
    record_.filePath = ec || file.empty() ? std::move(file) : absolute.string();
}

std::pair<std::string, std::string> CommandRecord::connectionParts(const std::string& conn) {
    if (conn.empty()) {
        return {"settings", ""}; // the desktop program's stored connection
    }
    const std::string link = conn.substr(0, conn.find('?'));
    if (const auto scheme = link.find("://"); scheme != std::string::npos) {
        return {link.substr(0, scheme), link.substr(scheme + 3)};
    }
    if (const auto colon = link.find(':'); colon != std::string::npos) {
        return {link.substr(0, colon), link.substr(colon + 1)};
    }
    return {link, ""};
}

void CommandRecord::connected(const COnlineModule& session) { notePlc(record_, session); }

void CommandRecord::project(std::string name, std::string cpu) {
    record_.projectName = std::move(name);
    record_.projectCpu = std::move(cpu);
}

void CommandRecord::transferred(std::uint64_t items, std::uint64_t bytes) {
    record_.items = items;
    record_.bytes = bytes;
}

int CommandRecord::finish(int exitCode, const TerminalPrompter& prompter) {
    if (!enabled_) {
        return exitCode;
    }
    record_.result = cancelled_                 ? OperationResult::Cancelled
                     : exitCode == kExitSuccess ? OperationResult::Ok
                                                : OperationResult::Failed;
    record_.message = englishText(prompter.lastMessage());
    record_.seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
    std::string reason;
    if (!recordOperation(record_, reason)) {
        std::fprintf(stderr, "dlutil: the operation record could not be written: %s\n",
                     displaySafe(reason).c_str());
    }
    return exitCode;
}

} // namespace dlu
