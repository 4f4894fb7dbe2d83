#include "cli/HistoryCommand.h"

#include "cli/CliSession.h"
#include "common/OperationRecord.h"
#include "common/TerminalText.h"
#include "common/TextFormat.h"

#include <ostream>

namespace dlu {

namespace {

// A cell of the table (already escaped), cut to `width` characters with "..." at the end.
std::string cell(const std::string& text, std::size_t width) {
    std::string safe = text;
    if (safe.size() > width) {
        // Cut at a character boundary, never inside a UTF-8 sequence.
        std::size_t cut = width - 3;
        while (cut > 0 && (static_cast<unsigned char>(safe[cut]) & 0xC0) == 0x80) {
            --cut;
        }
        safe = safe.substr(0, cut) + "...";
    }
    return safe;
}

std::string padded(const std::string& text, std::size_t width) {
    return text.size() >= width ? text + " " : text + std::string(width - text.size() + 1, ' ');
}

} // namespace

int runHistory(const HistoryOptions& options, std::ostream& out, std::ostream& err) {
    std::string reason;
    std::optional<std::filesystem::path> folder;
    if (options.folder) {
        folder = *options.folder;
    } else {
        folder = OperationLog::defaultFolder(reason);
    }
    if (!folder) {
        err << "dlutil: " << displaySafe(reason) << "\n";
        return kExitUsage;
    }
    const auto reading = OperationLog(*folder).readLast(options.last);
    if (!reading.error.empty()) {
        err << "dlutil: " << displaySafe(reading.error) << "\n";
        return kExitUsage;
    }
    if (options.json) {
        out << "[";
        for (std::size_t i = 0; i < reading.records.size(); ++i) {
            out << (i > 0 ? ",\n " : "\n ") << reading.records[i].dump();
        }
        out << (reading.records.empty() ? "]\n" : "\n]\n");
    } else {
        out << padded("time", 20) << padded("operation", 13) << padded("PLC", 10)
            << padded("project or file", 40) << "result\n";
        for (const auto& r : reading.records) {
            const HistoryRow row = historyRow(r);
            out << padded(cell(row[0], 20), 20) << padded(cell(row[1], 13), 13)
                << padded(cell(row[2], 10), 10) << padded(cell(row[3], 40), 40)
                << cell(row[4], 10) << "\n";
        }
    }
    if (reading.damaged > 0) {
        err << reading.damaged << (reading.damaged == 1 ? " line" : " lines")
            << " could not be read\n";
    }
    return kExitSuccess;
}

} // namespace dlu
