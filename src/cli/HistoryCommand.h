#pragma once

#include <cstddef>
#include <iosfwd>
#include <optional>
#include <string>

namespace dlu {

struct HistoryOptions {
    std::size_t last = 20;
    bool json = false;
    // The folder of the record; nothing: the default one ($XDG_STATE_HOME/download-utility).
    std::optional<std::string> folder;
};

// dlutil history: the last operations from the operation record, newest last, as a table or
// a JSON array. Lines that cannot be read are skipped and counted on `err`.
int runHistory(const HistoryOptions& options, std::ostream& out, std::ostream& err);

} // namespace dlu
