#include "cli/DownloadCommand.h"

#include "cli/TerminalPrompter.h"
#include "common/StringTable.h"
#include "common/TextFormat.h"
#include "download/DownloadFlow.h"
#include "download/DownloadObserver.h"
#include "package/CFileControl.h"
#include "package/CFileEncryption.h"
#include "package/PackageReading.h"
#include "sim/PlcSimulator.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <ostream>

namespace dlu {

namespace {

// 1234567 -> "1,234,567".
std::string grouped(std::uint64_t n) {
    const std::string digits = std::to_string(n);
    std::string out;
    for (std::size_t i = 0; i < digits.size(); ++i) {
        if (i > 0 && (digits.size() - i) % 3 == 0) {
            out += ',';
        }
        out += digits[i];
    }
    return out;
}

// Progress on standard error: a bar redrawn in place on a terminal, a line per item otherwise.
class ProgressDisplay final : public DownloadObserver {
public:
    ProgressDisplay() : terminal_(isatty(fileno(stderr)) != 0) {}

    void planned(std::span<const DownloadItemPlan> items, std::uint64_t totalBytes) override {
        std::fprintf(stderr, "Downloading %zu items, %s bytes\n", items.size(),
                     grouped(totalBytes).c_str());
        pbtEntries_ = static_cast<std::size_t>(
            std::count_if(items.begin(), items.end(), [](const auto& i) { return i.kind == 'B'; }));
    }
    void itemStarted(const DownloadItemPlan& item, std::size_t) override {
        if (item.kind == 'B') {
            // The 128 entries of the program block table make one line.
            if (!terminal_ && !pbtShown_) {
                std::fprintf(stderr, "  PBT: %zu entries of %s bytes\n", pbtEntries_,
                             grouped(item.bytes).c_str());
            }
            pbtShown_ = true;
            return;
        }
        if (!terminal_) {
            std::fprintf(stderr, "  %s: %s bytes in %u blocks\n", item.label.c_str(),
                         grouped(item.bytes).c_str(), item.blocks);
        }
    }
    void blockSent(const DownloadProgress& p) override {
        if (!terminal_) {
            return;
        }
        constexpr int kWidth = 30;
        const int filled = p.percent() * kWidth / 100;
        std::fprintf(stderr, "\r[%s%s] %3d%%  %s / %s bytes  %-24.24s",
                     std::string(static_cast<std::size_t>(filled), '#').c_str(),
                     std::string(static_cast<std::size_t>(kWidth - filled), '.').c_str(),
                     p.percent(), grouped(p.bytesSent).c_str(), grouped(p.totalBytes).c_str(),
                     p.item != nullptr ? p.item->label.c_str() : "");
        std::fflush(stderr);
        drawn_ = true;
    }
    void finished(bool) override {
        if (drawn_) {
            std::fprintf(stderr, "\n");
        }
    }

private:
    bool terminal_;
    bool drawn_ = false;
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
    // The package first: its CPU type decides the connection's identification.
    CFileControl reader(prompter, messages);
    CFileEncryption encryption(prompter, messages);
    const auto contents = readPackage(options.package, reader, encryption);
    if (!contents) {
        return kExitUsage;
    }
    const CpuType cpu = contents->info.cpuType();

    std::string error;
    auto cli =
        CliSession::open(connection, prompter, messages, CpuTypeTable::displayName(cpu), error);
    if (!cli) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return kExitUsage;
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
    ProgressDisplay progress;
    DownloadFlow flow(cli->context(), cli->session(), reader);
    flow.setObserver(&progress);
    const auto outcome = flow.run(job);

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
    return exitCodeOf(outcome);
}

} // namespace dlu
