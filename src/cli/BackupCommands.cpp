#include "cli/BackupCommands.h"
#include "cli/CommandRecord.h"

#include "cli/ProgressMeter.h"
#include "cli/TerminalPrompter.h"
#include "comm/COnlineModule.h"
#include "common/StringTable.h"
#include "common/TerminalText.h"
#include "common/TextFormat.h"
#include "devmem/DeviceMemorySelection.h"
#include "devmem/DeviceMemoryTransfer.h"
#include "devmem/DeviceTransferContext.h"
#include "devmem/DeviceTransferPlan.h"
#include "devmem/LinuxDeviceMemoryTransfer.h"
#include "devmem/PdmFile.h"
#include "devmem/PdmImage.h"
#include "devmem/TransferProgress.h"
#include "devmem/TransferTexts.h"
#include "plc/DeviceArea.h"

#include <unistd.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <charconv>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <system_error>
#include <utility>

namespace dlu {

namespace {


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

// File names in the text come from the user's folders: shown escaped like any outside text.
void fail(const std::string& text) {
    std::fprintf(stderr, "dlutil: %s\n", displaySafe(text).c_str());
}

// The progress window of a transfer on standard error: on a terminal one line with the bytes,
// the rate and the time left; otherwise the first line once per area and the second line for
// every request.
class TransferProgressDisplay final : public TransferObserver {
public:
    explicit TransferProgressDisplay(Verbosity verbosity) : line_(verbosity) {}

    void opened() override {
        line_.start();
        lastLine1_.clear();
    }
    void update(const TransferProgress& p) override {
        totalBytes_ = p.totalBytes;
        if (line_.printsItems()) {
            if (!p.line1.empty() && p.line1 != lastLine1_) {
                line_.item(p.line1);
                lastLine1_ = p.line1;
            }
            line_.item("  " + p.line2 + (p.line2.empty() ? "" : "  ") +
                       "Total : " + std::to_string(p.percent) + " %");
            return;
        }
        const int percent =
            p.totalBytes == 0 ? p.percent : static_cast<int>(p.bytes * 100 / p.totalBytes);
        line_.advance(percent, p.bytes, p.totalBytes, p.line1);
    }
    void closed() override { line_.end(); }

    // The closing line of a transfer that went through.
    void summary(std::string_view verb) { line_.summary(verb, totalBytes_); }
    void summary(std::string_view verb, std::uint64_t bytes) { line_.summary(verb, bytes); }
    std::uint64_t totalBytes() const { return totalBytes_; }

private:
    ProgressLine line_;
    std::string lastLine1_;
    std::uint64_t totalBytes_ = 0;
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

// The chosen ranges are checked, and must select something, before anything goes to the PLC;
// the transfer then runs on this same selection.
bool validated(DeviceMemorySelection& selection, const std::string& nothingChosen) {
    if (const auto valid = selection.validate(); !valid.ok) {
        fail(valid.message);
        return false;
    }
    if (selection.mask() == 0) {
        fail(nothingChosen);
        return false;
    }
    return true;
}

// A file the command is to write: its folder must exist and take it.
bool writable(const std::string& file) {
    if (const auto reason = unwritableReason(file); !reason.empty()) {
        fail("cannot write " + file + ": " + reason);
        return false;
    }
    return true;
}

// The steps every command shares once its options are checked: opens the connection, connects
// with the CPU type check (as before any device memory transfer), runs `transfer` on the
// session and disconnects. The exit code of the failed step, or what `transfer` returns;
// either way it goes into the operation `record`.
template <class Transfer>
int onPlc(CpuType cpu, const ConnectionOptions& connection, TerminalPrompter& prompter,
          const Messages& messages, CommandRecord& record, Transfer&& transfer) {
    std::string error;
    auto cli =
        CliSession::open(connection, prompter, messages, CpuTypeTable::displayName(cpu), error);
    if (!cli) {
        fail(error);
        return record.finish(kExitUsage, prompter);
    }
    cli->session().setProjectCpuType(cpu);
    int code = kExitPlcFailed;
    if (cli->session().connect()) {
        record.connected(cli->session());
        code = transfer(DeviceTransferContext{cli->session(), prompter, messages, cli->clock()});
    }
    cli->session().disconnect();
    return record.finish(code, prompter);
}

// The read-back's report: "Verified N words" on standard error, or each word that differs
// as a failure.
int reported(const VerifyReport& report) {
    for (const auto& line : report.lines) {
        if (report.verified) {
            std::fprintf(stderr, "%s\n", line.c_str());
        } else {
            fail(line);
        }
    }
    return report.verified ? kExitSuccess : kExitPlcFailed;
}

// What the read-back after a restore found.
int verified(const DeviceMemoryTransfer::Verification& found, const Messages& messages) {
    if (found.result != DeviceMemoryTransfer::Result::Done) {
        fail("the words written could not be read back to verify them");
        return kExitPlcFailed;
    }
    return reported(verifyReport(found, messages));
}

// The read-back of a Linux device image after its restore, compared with the file.
int verifiedImage(LinuxDeviceMemoryTransfer& transfer, const std::string& file,
                  TransferObserver& progress, const Messages& messages) {
    const auto outcome =
        imageVerifyOutcome(transfer.verify(std::filesystem::path(file), &progress), messages);
    switch (outcome.step) {
    case ImageVerifyOutcome::Step::FileUnreadable:
        fail("cannot read " + file + " again to verify the PLC's image");
        return kExitUsage;
    case ImageVerifyOutcome::Step::NotReadBack:
        fail("the device image could not be read back to verify it");
        return kExitPlcFailed;
    case ImageVerifyOutcome::Step::Compared:
        break;
    }
    return reported(outcome.report);
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

std::optional<AreaSpec> parseAreaSpec(std::string_view text, CpuType cpu, std::string& error) {
    AreaSpec spec;
    spec.text = std::string(text);
    const std::string u = upperAscii(text);
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

bool loadPdmForCommand(const std::filesystem::path& file, PdmImage& image, bool acceptLonger) {
    switch (PdmFile::load(file, image, acceptLonger)) {
    case PdmFile::LoadResult::Loaded:
        return true;
    case PdmFile::LoadResult::NotOpened: {
        const auto reason = unreadableReason(file.string());
        fail("cannot read " + file.string() + (reason.empty() ? "" : ": " + reason));
        return false;
    }
    case PdmFile::LoadResult::Empty:
        fail(file.string() + " is empty");
        return false;
    case PdmFile::LoadResult::TooShort:
        fail(file.string() + " is shorter than a device memory file (" +
             std::to_string(PdmImage::kFileSize) + " bytes): damaged or incomplete");
        return false;
    case PdmFile::LoadResult::TooLong: {
        std::error_code ec;
        const auto size = std::filesystem::file_size(file, ec);
        const std::string why = ec ? "longer than a device memory file."
                                   : longPdmText(size, Messages(Language::English));
        fail(file.string() + ": " + why +
             " It is not a backup as written; restore its device memory with --force");
        return false;
    }
    case PdmFile::LoadResult::NotLoaded:
        fail(file.string() + " holds no device memory (its first byte is not 1)");
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
    DeviceMemorySelection selection(DeviceMemoryMode::Backup, *cpu, messages);
    chooseBackupAreas(selection, *specs, options.withDefault);
    if (!validated(selection, "no area to back up")) {
        return kExitUsage;
    }
    if (!writable(options.output)) {
        return kExitUsage;
    }
    CommandRecord record(connection, "backup", options.output);
    return onPlc(*cpu, connection, prompter, messages, record, [&](DeviceTransferContext context) {
        DeviceMemoryTransfer transfer(context, std::move(selection));
        transfer.setFile(options.output);
        TransferProgressDisplay progress(prompter.verbosity());
        const auto result = transfer.backup(&progress);
        record.transferred(0, progress.totalBytes());
        if (result == DeviceMemoryTransfer::Result::Done) {
            progress.summary("Backed up");
        }
        return exitCodeOf(result);
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
    if (!loadPdmForCommand(options.file, image, options.force)) {
        return kExitUsage;
    }
    DeviceMemorySelection selection(DeviceMemoryMode::Restore, *cpu, messages);
    std::string error;
    if (!chooseRestoreAreas(selection, image, *specs, error)) {
        fail(error);
        return kExitUsage;
    }
    if (!validated(selection, "nothing to restore: " + options.file +
                                  " selects no area a restore may write")) {
        return kExitUsage;
    }
    // Areas of the file that a restore never writes are named, so that nothing is left out
    // silently.
    for (int i = 0; i < DeviceAreas::kCount; ++i) {
        if (specs->empty() && areaBit(image.mask(), i) && !areaBit(selection.mask(), i)) {
            std::fprintf(stderr, "dlutil: the file's %s words are not restored\n",
                         std::string(DeviceAreas::at(i).letter).c_str());
        }
    }
    CommandRecord record(connection, "restore", options.file);
    return onPlc(*cpu, connection, prompter, messages, record, [&](DeviceTransferContext context) {
        DeviceMemoryTransfer transfer(context, std::move(selection));
        transfer.useLoaded(options.file, std::move(image));
        TransferProgressDisplay progress(prompter.verbosity());
        const auto result = transfer.restore(&progress);
        record.transferred(0, progress.totalBytes());
        if (result != DeviceMemoryTransfer::Result::Done) {
            return exitCodeOf(result);
        }
        progress.summary("Restored");
        return options.verify ? verified(transfer.verify(&progress), messages) : kExitSuccess;
    });
}

int runLinuxBackup(const LinuxTransferOptions& options, const ConnectionOptions& connection,
                   TerminalPrompter& prompter, const Messages& messages) {
    const auto cpu = linuxCpuOption(options.cpu);
    if (!cpu) {
        return kExitUsage;
    }
    if (!writable(options.file)) {
        return kExitUsage;
    }
    CommandRecord record(connection, "linux-backup", options.file);
    return onPlc(*cpu, connection, prompter, messages, record, [&](DeviceTransferContext context) {
        LinuxDeviceMemoryTransfer transfer(context, DeviceMemoryMode::Backup, *cpu);
        TransferProgressDisplay progress(prompter.verbosity());
        const auto report = transfer.backup(options.file, &progress);
        using Outcome = LinuxDeviceMemoryTransfer::Outcome;
        record.transferred(report.done, report.bytes);
        if (report.outcome == Outcome::Cancelled) {
            record.cancelled();
        }
        if (report.outcome == Outcome::NoFirstBlock) {
            // Nothing was written: a script needs to know why.
            fail("the PLC sent no device image; " + options.file + " was not written");
        }
        if (report.outcome != Outcome::Success) {
            return kExitPlcFailed;
        }
        std::fprintf(stderr, "%zu bytes in %u blocks written to %s\n", report.bytes,
                     unsigned{report.total}, displaySafe(options.file).c_str());
        progress.summary("Backed up", report.bytes);
        return kExitSuccess;
    });
}

int runLinuxRestore(const LinuxTransferOptions& options, const ConnectionOptions& connection,
                    TerminalPrompter& prompter, const Messages& messages) {
    const auto cpu = linuxCpuOption(options.cpu);
    if (!cpu) {
        return kExitUsage;
    }
    if (const auto reason = unreadableReason(options.file); !reason.empty()) {
        fail("cannot read " + options.file + ": " + reason);
        return kExitUsage;
    }
    std::error_code ec;
    const auto size = std::filesystem::file_size(options.file, ec);
    if (ec) {
        fail("cannot read " + options.file + ": " + ec.message());
        return kExitUsage;
    }
    if (size == 0) {
        fail(options.file + " is empty");
        return kExitUsage;
    }
    CommandRecord record(connection, "linux-restore", options.file);
    return onPlc(*cpu, connection, prompter, messages, record, [&](DeviceTransferContext context) {
        LinuxDeviceMemoryTransfer transfer(context, DeviceMemoryMode::Restore, *cpu);
        TransferProgressDisplay progress(prompter.verbosity());
        using Outcome = LinuxDeviceMemoryTransfer::Outcome;
        const auto report = transfer.restore(options.file, &progress);
        record.transferred(report.done, report.bytes);
        if (report.outcome == Outcome::Cancelled) {
            record.cancelled();
        }
        switch (report.outcome) {
        case Outcome::Success:
            break;
        case Outcome::NotOpened:
        case Outcome::EmptyFile:
            return kExitUsage;
        case Outcome::Declined:
            fail("the PLC's image was not replaced: nothing was sent (--yes answers the question)");
            return kExitPlcFailed;
        default:
            return kExitPlcFailed;
        }
        progress.summary("Restored", report.bytes);
        return options.verify ? verifiedImage(transfer, options.file, progress, messages)
                              : kExitSuccess;
    });
}

} // namespace dlu
