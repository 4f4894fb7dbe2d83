#pragma once

#include "common/JsonText.h"

#include <array>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace dlu {

enum class OperationResult { Ok, Failed, Cancelled };

// What one download, backup or restore did, as the operation record keeps it: one JSON
// object on one line. Empty texts and absent numbers are left out of the line.
struct OperationRecord {
    std::chrono::system_clock::time_point time = std::chrono::system_clock::now();
    std::string program; // "downloader" or "dlutil"
    std::string version;
    std::string host; // filled by fillHostAndUser()
    std::string user;
    std::string operation;      // "download", "backup", "restore", "linux-backup", "linux-restore"
    std::string connectionType; // "tcp", "serial", "embedded", ...
    std::string connectionAddress; // host:port or device; never a password
    std::string plcLabel;          // "A-21"
    std::optional<unsigned> plcCpuCode;
    std::optional<std::uint32_t> plcFirmware;
    std::string filePath;
    std::optional<std::uint64_t> fileSize;
    std::string fileSha256; // lower-case hex
    std::string projectName;
    std::string projectCpu;
    std::uint64_t items = 0;
    std::uint64_t bytes = 0;
    OperationResult result = OperationResult::Failed;
    std::string message; // the last message the user saw
    double seconds = 0;

    // The record on one line, without the line break.
    std::string toJson() const;
};

// The name of the machine and of the user running this process (empty when unknown).
void fillHostAndUser(OperationRecord& record);

// "2026-12-07T14:52:03Z".
std::string isoUtcTime(std::chrono::system_clock::time_point time);

// The SHA-256 of the file at `path` in lower-case hex, with its size; nothing, with `reason`
// set, when it cannot be read or hashed. Reads at most `maxBytes` (a larger file is refused).
std::optional<std::string> sha256OfFile(const std::filesystem::path& path, std::uint64_t& size,
                                        std::string& reason,
                                        std::uint64_t maxBytes = std::uint64_t{1} << 32);

// The append-only file of operation records, history.jsonl in a folder of its own. Each
// record is one write() on a file opened with O_APPEND, so that programs appending at the
// same time, or one killed in the middle, never leave a line cut or mixed with another.
// Past `bound` bytes the file becomes history.1.jsonl (the one older generation kept).
class OperationLog {
public:
    static constexpr std::uint64_t kDefaultBound = std::uint64_t{10} << 20;
    // The longest line read back; a longer one counts as damaged.
    static constexpr std::size_t kMaxLine = 64 * 1024;

    explicit OperationLog(std::filesystem::path folder, std::uint64_t bound = kDefaultBound);

    // $XDG_STATE_HOME/download-utility, else ~/.local/state/download-utility; nothing, with
    // `reason` set, when neither variable gives an absolute path.
    static std::optional<std::filesystem::path> defaultFolder(std::string& reason);
    // DLUTIL_NO_HISTORY set to anything but "" or "0".
    static bool disabledByEnvironment();

    std::filesystem::path file() const { return folder_ / "history.jsonl"; }
    std::filesystem::path rotatedFile() const { return folder_ / "history.1.jsonl"; }

    // Appends `record` (creating the folder with mode 0700 and the file with 0600). False,
    // with `reason` set, when the line could not be written whole.
    bool append(const OperationRecord& record, std::string& reason) const;

    struct Reading {
        std::vector<JsonValue> records; // oldest first
        std::size_t damaged = 0;        // lines that are not a JSON object
        std::string error;              // why a file that exists could not be read
    };
    // The last `count` records, from the last `bound` bytes of each file.
    Reading readLast(std::size_t count) const;

private:
    std::filesystem::path folder_;
    std::uint64_t bound_;
};

// Where a program's windows hand their operations: begin() as one starts (before its first
// message), end() with what it did once it has ended.
class OperationJournal {
public:
    virtual ~OperationJournal() = default;
    virtual void begin() {}
    virtual void end(OperationRecord record) = 0;
};

// One record as a history table shows it: time, operation, PLC, project or file, result. The
// texts are the file's, made safe to show (displaySafe); the PLC and the project or file
// are "-" when the record names none (the project's name, else the file's path).
using HistoryRow = std::array<std::string, 5>;
HistoryRow historyRow(const JsonValue& record);

// What a program calls at the end of an operation: completes `record` (host, user, version,
// the size and SHA-256 of its file) and appends it to the log in the default folder, unless
// DLUTIL_NO_HISTORY turns the record off. False, with `reason` set, when it was not written;
// the operation itself goes on as it would have.
bool recordOperation(OperationRecord record, std::string& reason);

} // namespace dlu
