#include "cli/BackupCommands.h"
#include "common/VisibleText.h"

#include "cli/TerminalPrompter.h"
#include "comm/COnlineModule.h"
#include "common/StringTable.h"
#include "devmem/DeviceMemorySelection.h"
#include "devmem/DeviceMemoryTransfer.h"
#include "devmem/DeviceTransferContext.h"
#include "devmem/DeviceTransferPlan.h"
#include "devmem/LinuxDeviceMemoryTransfer.h"
#include "devmem/PdmFile.h"
#include "devmem/PdmImage.h"
#include "devmem/TransferProgress.h"
#include "plc/DeviceArea.h"

#include <unistd.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <charconv>
#include <cstdio>
#include <system_error>

namespace dlu {

namespace {

std::string upper(std::string_view text) {
    std::string out(text);
    std::transform(out.begin(), out.end(), out.begin(), [](char c) {
        return static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    });
    return out;
}

std::optional<std::uint32_t> wordNumber(std::string_view text) {
    std::uint32_t value = 0;
    const auto* end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data(), end, value);
    if (text.empty() || ec != std::errc() || ptr != end) {
        return std::nullopt;
    }
    return value;
}

std::string cpuName(CpuType cpu) {
    const auto name = CpuTypeTable::displayName(cpu);
    return name.empty() ? "CPU type " + std::to_string(cpu) : std::string(name);
}

bool areaBit(std::uint16_t mask, int area) { return (mask & (1u << area)) != 0; }

void fail(const std::string& text) { std::fprintf(stderr, "dlutil: %s\n", text.c_str()); }

// The progress window of a transfer on standard error: on a terminal a bar per area, redrawn
// in place; otherwise the first line once per area and the second line for every request.
class TransferProgressDisplay final : public TransferObserver {
public:
    TransferProgressDisplay() : terminal_(isatty(fileno(stderr)) != 0) {}

    void update(const TransferProgress& p) override {
        if (!terminal_) {
            if (!p.line1.empty() && p.line1 != lastLine1_) {
                std::fprintf(stderr, "%s\n", p.line1.c_str());
                lastLine1_ = p.line1;
            }
            std::fprintf(stderr, "  %s%sTotal : %d %%\n", p.line2.c_str(),
                         p.line2.empty() ? "" : "  ", p.percent);
            return;
        }
        if (drawn_ && p.line1 != lastLine1_) {
            std::fprintf(stderr, "\n"); // the finished area keeps its line
        }
        lastLine1_ = p.line1;
        constexpr int kWidth = 30;
        const int filled = std::clamp(p.bar, 0, 99) * kWidth / 99;
        std::fprintf(stderr, "\r[%s%s] %3d%%  %-24.24s %-36.36s",
                     std::string(static_cast<std::size_t>(filled), '#').c_str(),
                     std::string(static_cast<std::size_t>(kWidth - filled), '.').c_str(), p.percent,
                     p.line1.c_str(), p.line2.c_str());
        std::fflush(stderr);
        drawn_ = true;
    }
    void closed() override {
        if (drawn_) {
            std::fprintf(stderr, "\n");
            drawn_ = false;
        }
    }

private:
    bool terminal_;
    bool drawn_ = false;
    std::string lastLine1_;
};

std::optional<CpuType> cpuOption(const std::string& text) {
    if (text.empty()) {
        fail("--cpu is required (a code such as 26 or a name such as A-21)");
        return std::nullopt;
    }
    const CpuType cpu = CpuTypeTable::parse(text);
    if (cpu == kNoCpuType) {
        fail("unknown CPU type: " + text);
        return std::nullopt;
    }
    return cpu;
}

std::optional<std::vector<AreaSpec>> areaOptions(const std::vector<std::string>& texts,
                                                 CpuType cpu) {
    std::vector<AreaSpec> specs;
    for (const auto& text : texts) {
        std::string error;
        auto spec = parseAreaSpec(text, cpu, error);
        if (!spec) {
            fail("--area " + text + ": " + error);
            return std::nullopt;
        }
        specs.push_back(std::move(*spec));
    }
    // "all" first, so that the areas named beside it keep their own ranges.
    std::stable_partition(specs.begin(), specs.end(), [](const AreaSpec& s) { return s.all; });
    return specs;
}

// The areas and ranges of a backup as the options choose them: without --area, or with
// --default, the default areas first.
void chooseBackupAreas(DeviceMemorySelection& selection, const std::vector<AreaSpec>& specs,
                       bool withDefault) {
    if (specs.empty() || withDefault) {
        selection.setDefault();
    } else {
        selection.uncheckAll();
    }
    for (const auto& spec : specs) {
        if (spec.all) {
            selection.setMaximum();
            continue;
        }
        selection.setChecked(spec.area, true);
        selection.setRange(
            spec.area, spec.range.value_or(
                           WordRange{0, DeviceRanges::capacity(spec.area, selection.cpuType())}));
    }
}

// The file's areas and ranges, narrowed to the chosen areas. Refuses an area the restore may
// not write, one the file does not hold and a range beyond the file's.
bool chooseRestoreAreas(DeviceMemorySelection& selection, const PdmImage& image,
                        const std::vector<AreaSpec>& specs, std::string& error) {
    selection.takeFrom(image);
    const CpuType cpu = selection.cpuType();
    std::array<bool, DeviceAreas::kCount> chosen{};
    bool everything = specs.empty();
    for (const auto& spec : specs) {
        if (spec.all) {
            everything = true;
            continue;
        }
        const auto letter = std::string(DeviceAreas::at(spec.area).letter);
        if (!DeviceTransferPlan::restoreAllowed(spec.area, cpu)) {
            const auto index = static_cast<AreaIndex>(spec.area);
            error = index == AreaIndex::TS || index == AreaIndex::CS
                        ? "a restore may not write " + letter + " into " + cpuName(cpu)
                        : "a restore never writes " + letter +
                              " (F, T, C, S, Z and R are not restored)";
            return false;
        }
        if (!areaBit(image.mask(), spec.area)) {
            error = "the file holds no " + letter + " words";
            return false;
        }
        const auto held = image.range(spec.area);
        if (spec.range && (spec.range->start < held.start || spec.range->end > held.end)) {
            error = spec.text + " is outside the file's " + letter + " words " +
                    std::to_string(held.start) + "-" + std::to_string(held.end);
            return false;
        }
        chosen[static_cast<std::size_t>(spec.area)] = true;
        if (spec.range) {
            selection.setRange(spec.area, *spec.range);
        }
    }
    if (!everything) {
        for (int i = 0; i < DeviceAreas::kCount; ++i) {
            if (!chosen[static_cast<std::size_t>(i)]) {
                selection.setChecked(i, false);
            }
        }
    }
    return true;
}

bool parentFolderExists(const std::filesystem::path& file) {
    std::error_code ec;
    const auto parent = file.parent_path();
    return parent.empty() || std::filesystem::is_directory(parent, ec);
}

// The steps every command shares once its options are checked: opens the connection, connects
// with the CPU type check (as before any device memory transfer), runs `transfer` on the
// session and disconnects. The exit code of the failed step, or what `transfer` returns.
template <class Transfer>
int onPlc(CpuType cpu, const ConnectionOptions& connection, TerminalPrompter& prompter,
          const Messages& messages, Transfer&& transfer) {
    std::string error;
    auto cli =
        CliSession::open(connection, prompter, messages, CpuTypeTable::displayName(cpu), error);
    if (!cli) {
        fail(error);
        return kExitUsage;
    }
    cli->session().setProjectCpuType(cpu);
    int code = kExitPlcFailed;
    if (cli->session().connect()) {
        code = transfer(DeviceTransferContext{cli->session(), prompter, messages, cli->clock()});
    }
    cli->session().disconnect();
    return code;
}

int exitCodeOf(DeviceMemoryTransfer::Result result) {
    switch (result) {
    case DeviceMemoryTransfer::Result::Done:
        return kExitSuccess;
    case DeviceMemoryTransfer::Result::Invalid:
    case DeviceMemoryTransfer::Result::NothingToSend:
        return kExitUsage;
    default:
        return kExitPlcFailed;
    }
}

std::optional<CpuType> linuxCpuOption(const std::string& text) {
    const auto cpu = cpuOption(text);
    if (!cpu) {
        return std::nullopt;
    }
    if (!CpuTypeTable::isLinuxDialogType(*cpu)) {
        std::string codes;
        for (const auto& button : CpuTypeTable::linuxDialogButtons()) {
            codes += (codes.empty() ? "" : ", ") + std::to_string(button.code);
        }
        fail(cpuName(*cpu) + " has no Linux device image (Linux CPU types: " + codes + ")");
        return std::nullopt;
    }
    return cpu;
}

} // namespace

std::uint32_t pdmFileWords(int area) {
    const auto& at = PdmImage::layout()[static_cast<std::size_t>(area)];
    const std::size_t room = (PdmImage::kFileBlockSize - at.offset) / 2;
    return static_cast<std::uint32_t>(std::min<std::size_t>(at.words, room));
}

std::optional<AreaSpec> parseAreaSpec(std::string_view text, CpuType cpu, std::string& error) {
    AreaSpec spec;
    spec.text = std::string(text);
    const std::string u = upper(text);
    if (u == "ALL") {
        spec.all = true;
        return spec;
    }
    const auto colon = u.find(':');
    const std::string letter = u.substr(0, colon);
    const DeviceArea* area = DeviceAreas::byLetter(letter);
    if (area == nullptr) {
        error = "unknown area '" + letter + "' (X Y M L K F T C S D Z R TC TS CC CS, or all)";
        return std::nullopt;
    }
    spec.area = static_cast<int>(area->index);
    const std::uint32_t cap = DeviceRanges::capacity(spec.area, cpu);
    if (cap == 0) {
        error = cpuName(cpu) + " has no " + letter + " area";
        return std::nullopt;
    }
    if (colon == std::string::npos) {
        return spec;
    }
    const std::string_view numbers = std::string_view(u).substr(colon + 1);
    const auto dash = numbers.find('-');
    const auto start = wordNumber(numbers.substr(0, dash));
    const auto end =
        dash == std::string_view::npos ? std::nullopt : wordNumber(numbers.substr(dash + 1));
    if (!start || !end) {
        error = "expected AREA:START-END (end not included), e.g. D:0-250";
        return std::nullopt;
    }
    if (*start > *end) {
        error = "the start is above the end";
        return std::nullopt;
    }
    if (*start == *end) {
        error = "the range is empty (the end is not included)";
        return std::nullopt;
    }
    if (*end > cap) {
        error = "beyond the " + letter + " area of " + cpuName(cpu) + ": it has " +
                std::to_string(cap) + " words, so the end is at most " + std::to_string(cap);
        return std::nullopt;
    }
    spec.range = WordRange{*start, *end};
    return spec;
}

bool loadPdmForCommand(const std::filesystem::path& file, PdmImage& image) {
    switch (PdmFile::load(file, image)) {
    case PdmFile::LoadResult::Loaded:
        return true;
    case PdmFile::LoadResult::NotOpened:
        fail("cannot read " + visibleText(file.string()));
        return false;
    case PdmFile::LoadResult::Empty:
        fail(visibleText(file.string()) + " is empty");
        return false;
    case PdmFile::LoadResult::TooShort:
        fail(visibleText(file.string()) + " is shorter than a device memory file (" +
             std::to_string(PdmImage::kFileSize) + " bytes): damaged or incomplete");
        return false;
    case PdmFile::LoadResult::NotLoaded:
        fail(visibleText(file.string()) + " holds no device memory (its first byte is not 1)");
        return false;
    }
    return false;
}

int runBackup(const BackupOptions& options, const ConnectionOptions& connection,
              TerminalPrompter& prompter, const Messages& messages) {
    const auto cpu = cpuOption(options.cpu);
    if (!cpu) {
        return kExitUsage;
    }
    const auto specs = areaOptions(options.areas, *cpu);
    if (!specs) {
        return kExitUsage;
    }
    // The ranges are checked before anything goes to the PLC.
    DeviceMemorySelection check(DeviceMemoryMode::Backup, *cpu, messages);
    chooseBackupAreas(check, *specs, options.withDefault);
    if (const auto valid = check.validate(); !valid.ok) {
        fail(valid.message);
        return kExitUsage;
    }
    if (check.mask() == 0) {
        fail("no area to back up");
        return kExitUsage;
    }
    if (!parentFolderExists(options.output)) {
        fail("no such folder for " + options.output);
        return kExitUsage;
    }

    return onPlc(*cpu, connection, prompter, messages, [&](DeviceTransferContext context) {
        DeviceMemoryTransfer transfer(context, DeviceMemoryMode::Backup, *cpu);
        chooseBackupAreas(transfer.selection(), *specs, options.withDefault);
        transfer.setFile(options.output);
        TransferProgressDisplay progress;
        return exitCodeOf(transfer.transfer(&progress));
    });
}

int runRestore(const RestoreOptions& options, const ConnectionOptions& connection,
               TerminalPrompter& prompter, const Messages& messages) {
    const auto cpu = cpuOption(options.cpu);
    if (!cpu) {
        return kExitUsage;
    }
    const auto specs = areaOptions(options.areas, *cpu);
    if (!specs) {
        return kExitUsage;
    }
    PdmImage image;
    if (!loadPdmForCommand(options.file, image)) {
        return kExitUsage;
    }
    DeviceMemorySelection check(DeviceMemoryMode::Restore, *cpu, messages);
    std::string error;
    if (!chooseRestoreAreas(check, image, *specs, error)) {
        fail(error);
        return kExitUsage;
    }
    if (const auto valid = check.validate(); !valid.ok) {
        fail(valid.message);
        return kExitUsage;
    }
    if (check.mask() == 0) {
        fail("nothing to restore: " + options.file + " selects no area a restore may write");
        return kExitUsage;
    }
    // Areas of the file that a restore never writes are named, so that nothing is left out
    // silently.
    for (int i = 0; i < DeviceAreas::kCount; ++i) {
        if (specs->empty() && areaBit(image.mask(), i) && !areaBit(check.mask(), i)) {
            std::fprintf(stderr, "dlutil: the file's %s words are not restored\n",
                         std::string(DeviceAreas::at(i).letter).c_str());
        }
    }

    return onPlc(*cpu, connection, prompter, messages, [&](DeviceTransferContext context) {
        DeviceMemoryTransfer transfer(context, DeviceMemoryMode::Restore, *cpu);
        if (transfer.load(options.file) != PdmFile::LoadResult::Loaded ||
            !chooseRestoreAreas(transfer.selection(), transfer.image(), *specs, error)) {
            // The file changed since it was checked a moment ago.
            fail("cannot load " + options.file);
            return kExitUsage;
        }
        TransferProgressDisplay progress;
        return exitCodeOf(transfer.transfer(&progress));
    });
}

int runLinuxBackup(const LinuxTransferOptions& options, const ConnectionOptions& connection,
                   TerminalPrompter& prompter, const Messages& messages) {
    const auto cpu = linuxCpuOption(options.cpu);
    if (!cpu) {
        return kExitUsage;
    }
    if (!parentFolderExists(options.file)) {
        fail("no such folder for " + options.file);
        return kExitUsage;
    }
    return onPlc(*cpu, connection, prompter, messages, [&](DeviceTransferContext context) {
        LinuxDeviceMemoryTransfer transfer(context, DeviceMemoryMode::Backup, *cpu);
        TransferProgressDisplay progress;
        const auto report = transfer.backup(options.file, &progress);
        using Outcome = LinuxDeviceMemoryTransfer::Outcome;
        if (report.outcome == Outcome::NoFirstBlock) {
            // Nothing was written: a script needs to know why.
            fail("the PLC sent no device image; " + options.file + " was not written");
        }
        if (report.outcome != Outcome::Success) {
            return kExitPlcFailed;
        }
        std::fprintf(stderr, "%zu bytes in %u blocks written to %s\n", report.bytes,
                     unsigned{report.total}, options.file.c_str());
        return kExitSuccess;
    });
}

int runLinuxRestore(const LinuxTransferOptions& options, const ConnectionOptions& connection,
                    TerminalPrompter& prompter, const Messages& messages) {
    const auto cpu = linuxCpuOption(options.cpu);
    if (!cpu) {
        return kExitUsage;
    }
    std::error_code ec;
    const auto size = std::filesystem::file_size(options.file, ec);
    if (ec) {
        fail("cannot read " + options.file);
        return kExitUsage;
    }
    if (size == 0) {
        fail(options.file + " is empty");
        return kExitUsage;
    }
    return onPlc(*cpu, connection, prompter, messages, [&](DeviceTransferContext context) {
        LinuxDeviceMemoryTransfer transfer(context, DeviceMemoryMode::Restore, *cpu);
        TransferProgressDisplay progress;
        using Outcome = LinuxDeviceMemoryTransfer::Outcome;
        switch (transfer.restore(options.file, &progress).outcome) {
        case Outcome::Success:
            return kExitSuccess;
        case Outcome::NotOpened:
        case Outcome::EmptyFile:
            return kExitUsage;
        default:
            return kExitPlcFailed;
        }
    });
}

} // namespace dlu
