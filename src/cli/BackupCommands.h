#pragma once

#include "cli/CliSession.h"
#include "plc/CpuTypeTable.h"
#include "plc/DeviceRanges.h"

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace dlu {

class DeviceMemorySelection;
class Messages;
class PdmImage;
class TerminalPrompter;

// One --area option: "D:0-250" (words 0 to 249), "D" (the whole area) or "all".
struct AreaSpec {
    bool all = false;
    int area = -1;                  // index 0..15 unless `all`
    std::optional<WordRange> range; // nothing: the whole area (backup) or the file's (restore)
    std::string text;               // as given, for messages
};

// Parses an --area option for a CPU type: the area must exist on the type, the range must be
// non-empty, in order and inside the capacity. Nothing, with `error` set, otherwise.
std::optional<AreaSpec> parseAreaSpec(std::string_view text, CpuType cpu, std::string& error);

struct BackupOptions {
    std::string cpu;
    std::string output;
    std::vector<std::string> areas;
    bool withDefault = false; // --default: M, L, K and D in full besides the --area ones
};

struct RestoreOptions {
    std::string file;
    std::string cpu;
    std::vector<std::string> areas;
    bool verify = false; // read the written words back and compare them with the file
    bool force = false; // take a file longer than a device memory file
};

struct LinuxTransferOptions {
    std::string cpu;
    std::string file;
    bool verify = false; // restore: read the image back and compare it with the file
};

// dlutil backup: reads the chosen ranges from the PLC and saves them as a ".PDM" file.
int runBackup(const BackupOptions& options, const ConnectionOptions& connection,
              TerminalPrompter& prompter, const Messages& messages);
// dlutil restore: writes a ".PDM" file's ranges, or the chosen part of them, into the PLC.
int runRestore(const RestoreOptions& options, const ConnectionOptions& connection,
               TerminalPrompter& prompter, const Messages& messages);
// dlutil linux-backup / linux-restore: the whole device image of a Linux CPU as a ".BIN".
int runLinuxBackup(const LinuxTransferOptions& options, const ConnectionOptions& connection,
                   TerminalPrompter& prompter, const Messages& messages);
int runLinuxRestore(const LinuxTransferOptions& options, const ConnectionOptions& connection,
                    TerminalPrompter& prompter, const Messages& messages);

// Loads a ".PDM" file for a command, saying on standard error in one line why it cannot be
// used (missing, empty, short, not loaded). False then.
// A file longer than a device memory file is refused unless `acceptLonger` (--force).
bool loadPdmForCommand(const std::filesystem::path& file, PdmImage& image,
                       bool acceptLonger = false);

} // namespace dlu
