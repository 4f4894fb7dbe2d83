#include "cli/DownloadCommand.h"

#include "cli/CommandRecord.h"
#include "cli/ProgressMeter.h"
#include "cli/TerminalPrompter.h"
#include "common/StringTable.h"
#include "common/TerminalText.h"
#include "common/TextFormat.h"
#include "download/DownloadFlow.h"
#include "download/DownloadObserver.h"
#include "package/CFileControl.h"
#include "package/CFileEncryption.h"
#include "package/PackageReading.h"
#include "sim/PlcSimulator.h"

#include <algorithm>
#include <atomic>
#include <csignal>
#include <cstdio>
#include <ostream>

#include <signal.h>

namespace dlu {

namespace {

std::string grouped(std::uint64_t n) { return ProgressMeter::grouped(n); }

// Ctrl-C while the download sends its items: the download stops before its next request, so
// that no block is cut, and says what the PLC holds. The handler resets itself: a second
// Ctrl-C ends the program at once, as before the download began.
volatile std::sig_atomic_t interrupted = 0;

extern "C" void onInterrupt(int) { interrupted = 1; }

class InterruptStopsDownload {
public:
    void install() {
        if (installed_) {
            return;
        }
        interrupted = 0;
        struct sigaction action {};
        action.sa_handler = onInterrupt;
        sigemptyset(&action.sa_mask);
        action.sa_flags = static_cast<int>(SA_RESTART | SA_RESETHAND);
        installed_ = sigaction(SIGINT, &action, &previous_) == 0;
        if (installed_ && previous_.sa_handler == SIG_IGN) {
            remove(); // started with Ctrl-C ignored (a background job): keep it so
        }
    }
    void remove() {
        if (installed_) {
            sigaction(SIGINT, &previous_, nullptr);
            installed_ = false;
        }
    }
    ~InterruptStopsDownload() { remove(); }
    static bool requested() { return interrupted != 0; }

private:
    struct sigaction previous_ {};
    bool installed_ = false;
};

// Progress on standard error: a line with the rate and the time left redrawn in place on a
// terminal, a line per item otherwise.
class ProgressDisplay final : public DownloadObserver {
public:
    explicit ProgressDisplay(Verbosity verbosity) : line_(verbosity) {}

    void planned(std::span<const DownloadItemPlan> items, std::uint64_t totalBytes) override {
        interrupt_.install();
        line_.start();
        totalBytes_ = totalBytes;
        line_.note("Downloading " + std::to_string(items.size()) + " items, " +
                   grouped(totalBytes) + " bytes");
        pbtEntries_ = static_cast<std::size_t>(
            std::count_if(items.begin(), items.end(), [](const auto& i) { return i.kind == 'B'; }));
    }
    void itemStarted(const DownloadItemPlan& item, std::size_t) override {
        if (item.kind == 'B') {
            // The 128 entries of the program block table make one line.
            if (!pbtShown_) {
                line_.item("  PBT: " + std::to_string(pbtEntries_) + " entries of " +
                           grouped(item.bytes) + " bytes");
            }
            pbtShown_ = true;
            return;
        }
        line_.item("  " + displaySafe(item.label) + ": " + grouped(item.bytes) + " bytes in " +
                   std::to_string(item.blocks) + " blocks");
    }
    void blockSent(const DownloadProgress& p) override {
        bytesSent_ = p.bytesSent;
        if (p.itemDone()) {
            ++items_;
        }
        const std::string label = p.item != nullptr ? displaySafe(p.item->label) : std::string();
        line_.advance(p.percent(), p.bytesSent, p.totalBytes, label);
    }
    void finished(bool) override {
        interrupt_.remove();
        line_.end();
    }
    bool cancelled() override { return InterruptStopsDownload::requested(); }

    void summary() { line_.summary("Downloaded", totalBytes_); }
    // The items sent whole, and the bytes sent.
    std::size_t items() const { return items_; }
    std::uint64_t bytesSent() const { return bytesSent_; }

private:
    ProgressLine line_;
    InterruptStopsDownload interrupt_;
    std::uint64_t totalBytes_ = 0;
    std::uint64_t bytesSent_ = 0;
    std::size_t items_ = 0;
    std::size_t pbtEntries_ = 0;
    bool pbtShown_ = false;
};

int exitCodeOf(DownloadFlow::Outcome outcome) {
    switch (outcome) {
    case DownloadFlow::Outcome::Succeeded:
        return kExitSuccess;
    case DownloadFlow::Outcome::NoPackage:
        return kExitUsage;
    default:
        return kExitPlcFailed;
    }
}

} // namespace

int runDownload(const DownloadOptions& options, const ConnectionOptions& connection,
                TerminalPrompter& prompter, const Messages& messages, std::ostream& out) {
    CommandRecord record(connection, "download", options.package);
    // The package first: its CPU type decides the connection's identification.
    CFileControl reader(prompter, messages);
    CFileEncryption encryption(prompter, messages);
    sayWhyUnreadable(options.package);
    const auto contents = readPackage(options.package, reader, encryption);
    if (!contents) {
        return record.finish(kExitUsage, prompter);
    }
    const CpuType cpu = contents->info.cpuType();
    record.project(std::string(contents->info.projectName()),
                   std::string(CpuTypeTable::displayName(cpu)));

    std::string error;
    auto cli =
        CliSession::open(connection, prompter, messages, CpuTypeTable::displayName(cpu), error);
    if (!cli) {
        std::fprintf(stderr, "dlutil: %s\n", displaySafe(error).c_str());
        return record.finish(kExitUsage, prompter);
    }

    if (options.run) {
        // The Remote RUN question is answered by --run / --no-run; the others as before.
        const std::string runQuestion(messages(Msg::AskRemoteRun));
        prompter.setAnswerPolicy(
            [runQuestion, answer = *options.run, rest = prompter.answerPolicy()](
                std::string_view text, PromptButtons buttons) -> std::optional<PromptAnswer> {
                if (text == runQuestion) {
                    return answer ? PromptAnswer::Yes : PromptAnswer::No;
                }
                return rest ? rest(text, buttons) : std::nullopt;
            });
    }

    DownloadJob job;
    job.projectCpuType = cpu;
    job.packagePath = options.package;
    job.stTable = contents->st;
    ProgressDisplay progress(prompter.verbosity());
    DownloadFlow flow(cli->context(), cli->session(), reader);
    flow.setObserver(&progress);
    const auto outcome = flow.run(job);
    record.connected(cli->session());
    record.transferred(progress.items(), progress.bytesSent());
    if (outcome == DownloadFlow::Outcome::DownloadCancelled) {
        record.cancelled();
    }
    if (outcome == DownloadFlow::Outcome::Succeeded) {
        progress.summary();
    }

    if (const auto* plc = cli->embedded(); plc != nullptr) {
        out << "The simulated PLC received:\n";
        out << "kind  id blocks   bytes\n";
        const auto& items = plc->downloadItems();
        for (std::size_t i = 0; i < items.size(); ++i) {
            const auto& item = items[i];
            std::size_t run = 1; // PBT entries in a row make one line
            while (item.kind == 'B' && i + run < items.size() && items[i + run].kind == 'B') {
                ++run;
            }
            if (run > 1) {
                std::size_t bytes = 0;
                for (std::size_t k = i; k < i + run; ++k) {
                    bytes += items[k].bytes().size();
                }
                out << formatText("   B %3u..%-3u %3zu %7zu   (one block per entry)\n",
                                  unsigned{item.id}, unsigned{items[i + run - 1].id}, run, bytes);
                i += run - 1;
                continue;
            }
            out << formatText("   %c %3u %6u %7zu\n", static_cast<char>(item.kind),
                              unsigned{item.id}, unsigned{item.blockCount}, item.bytes().size());
        }
    }
    if (outcome == DownloadFlow::Outcome::Succeeded && flow.remoteRunFailed()) {
        // The program is in the PLC, but the PLC is not running it: not a success.
        std::fprintf(stderr, "The download succeeded, but the PLC did not switch to Remote RUN.\n");
        return record.finish(kExitPlcFailed, prompter);
    }
    return record.finish(exitCodeOf(outcome), prompter);
}

} // namespace dlu
