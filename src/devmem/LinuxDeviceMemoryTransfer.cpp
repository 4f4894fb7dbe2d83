#include "devmem/LinuxDeviceMemoryTransfer.h"

#include "comm/COnlineModule.h"
#include "comm/UploadBlock.h"
#include "common/FileTarget.h"
#include "common/MessageIds.h"
#include "common/Prompter.h"
#include "common/TerminalText.h"
#include "common/TextFormat.h"
#include "devmem/AtomicFile.h"
#include "devmem/LinuxImage.h"
#include "devmem/PdmFile.h"
#include "devmem/TransferProgress.h"
#include "devmem/TransferTexts.h"

#include <algorithm>
#include <cerrno>
#include <array>
#include <fstream>
#include <iterator>
#include <optional>
#include <vector>

#include <fcntl.h>
#include <unistd.h>

namespace dlu {

namespace {

// Writes an incomplete image to a file of its own beside `file` ("name (partial).BIN", then
// "name (partial 2).BIN" and so on), created new: it never replaces anything. Its path, or
// nothing when no such file could be written.
std::optional<std::filesystem::path> keepPartial(const std::filesystem::path& file,
                                                 std::span<const std::uint8_t> bytes) {
    const std::string stem = file.stem().string();
    const std::string ext = file.extension().string();
    for (int n = 1; n <= 100; ++n) {
        const std::string suffix = n == 1 ? " (partial)" : " (partial " + std::to_string(n) + ")";
        const std::filesystem::path candidate = file.parent_path() / (stem + suffix + ext);
        const int fd = ::open(candidate.c_str(),
                              O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
        if (fd < 0) {
            if (errno == EEXIST) {
                continue;
            }
            return std::nullopt;
        }
        bool ok = true;
        for (auto rest = bytes; ok && !rest.empty();) {
            const ssize_t w = ::write(fd, rest.data(), rest.size());
            if (w < 0 && errno == EINTR) {
                continue;
            }
            ok = w > 0;
            if (ok) {
                rest = rest.subspan(static_cast<std::size_t>(w));
            }
        }
        ok = ::fsync(fd) == 0 && ok;
        ok = ::close(fd) == 0 && ok;
        if (!ok) {
            ::unlink(candidate.c_str());
            return std::nullopt;
        }
        return candidate;
    }
    return std::nullopt;
}

// The same in both languages.
constexpr std::string_view kUploadSuccess = "Upload Success";
constexpr std::string_view kDownloadSuccess = "Download Success";
constexpr std::string_view kDownloadFail = "Download Fail";

} // namespace

// The progress window as the Linux transfers drive it: steps of one, and a jump to the end.
class LinuxDeviceMemoryTransfer::Progress {
public:
    explicit Progress(TransferObserver* observer) : observer_(observer) {
        if (observer_ != nullptr) {
            observer_->opened();
        }
        // Opened, stepped once and reset, as the window always starts.
        step();
        state_ = {};
        report();
    }
    ~Progress() { close(); }
    Progress(const Progress&) = delete;
    Progress& operator=(const Progress&) = delete;

    void step(std::uint64_t bytes = 0, std::uint64_t totalBytes = 0) {
        state_.bar = std::min(99, state_.bar + 1);
        ++state_.percent;
        state_.bytes = bytes;
        state_.totalBytes = totalBytes;
        report();
    }
    void finish() {
        state_.bar = 99;
        state_.percent = 100;
        state_.bytes = state_.totalBytes;
        report();
    }
    // The user asked to stop (asked between blocks only).
    bool cancelled() const { return observer_ != nullptr && observer_->cancelled(); }
    void close() {
        if (observer_ != nullptr) {
            observer_->closed();
            observer_ = nullptr;
        }
    }

private:
    void report() {
        // One image: the transfer is its own whole.
        state_.wholeBar = state_.bar;
        state_.wholePercent = state_.percent;
        if (observer_ != nullptr) {
            observer_->update(state_);
        }
    }

    TransferObserver* observer_;
    TransferProgress state_;
};

LinuxDeviceMemoryTransfer::LinuxDeviceMemoryTransfer(DeviceTransferContext context,
                                                     DeviceMemoryMode mode, CpuType cpuType)
    : ctx_(context), mode_(mode), cpuType_(cpuType) {}

std::string LinuxDeviceMemoryTransfer::title() const {
    return std::string(ctx_.messages(mode_ == DeviceMemoryMode::Backup ? Msg::TitleBackup
                                                                       : Msg::TitleRestore)) +
           "(Linux)";
}

void LinuxDeviceMemoryTransfer::say(std::string_view text) { ctx_.prompter.message(text); }

std::optional<std::vector<std::uint8_t>> LinuxDeviceMemoryTransfer::readImage(Report& report,
                                                                              Progress& progress) {
    ctx_.session.setProjectCpuType(cpuType_);
    std::array<std::uint8_t, 256> buffer{};
    std::size_t received = 0;
    ++report.requests;
    if (!ctx_.session.linuxUpload(0, buffer, received, true)) {
        return std::nullopt;
    }
    const auto first = UploadBlock::parse(std::span(buffer).first(received));
    if (!first) {
        return std::nullopt;
    }
    std::vector<std::uint8_t> image(first->data.begin(), first->data.end());
    report.total = first->total;
    // Blocks but the last are as long as the first: that makes the size to expect.
    const std::uint64_t expectedBytes = std::uint64_t{first->data.size()} * report.total;
    std::uint16_t expected = 1;

    // One pass per remaining block; a pass whose answer is lost or carries another block
    // number is spent, and the same block is asked for again in the next one.
    for (int pass = 0; pass + 2 <= static_cast<int>(report.total); ++pass) {
        if (progress.cancelled()) {
            // Nothing is written: the file keeps what it held.
            report.done = expected;
            report.outcome = Outcome::Cancelled;
            return std::nullopt;
        }
        ++report.requests;
        if (!ctx_.session.linuxUpload(expected, buffer, received, false)) {
            continue;
        }
        if (pass % 8 == 0) {
            progress.step(image.size(), expectedBytes);
        }
        const auto block = UploadBlock::parse(std::span(buffer).first(received));
        if (block && block->number == expected) {
            image.insert(image.end(), block->data.begin(), block->data.end());
            ++expected;
        }
    }
    report.done = expected;
    report.bytes = image.size();
    return image;
}

LinuxDeviceMemoryTransfer::Report
LinuxDeviceMemoryTransfer::backup(const std::filesystem::path& file, TransferObserver* observer) {
    Report report;
    Progress progress(observer);
    const auto image = readImage(report, progress);
    if (!image) {
        if (report.outcome != Outcome::Cancelled) {
            report.outcome = Outcome::NoFirstBlock;
        }
        return report;
    }
    // A single-block image is complete after block 0 (no pass runs at all).
    const bool complete = report.done >= report.total;
    if (complete) {
        progress.finish();
    }
    if (!complete) {
        // An image with blocks missing never replaces the file: the old backup stays as it
        // was, and what arrived is kept apart under a new name.
        const auto kept = keepPartial(file, *image);
        progress.close();
        report.outcome = Outcome::Incomplete;
        std::string text = formatText(ctx_.messages(Msg::BlocksMissing),
                                      report.total - report.done, report.total);
        if (kept) {
            report.partialFile = *kept;
            text += "\n" + formatText(ctx_.messages(Msg::PartialImageKept),
                                      displaySafe(kept->string()).c_str(),
                                      displaySafe(file.string()).c_str());
        } else {
            text += "\n" + std::string(ctx_.messages(Msg::SaveFailed));
        }
        say(text);
        return report;
    }
    if (!replaceFileAtomically(file, *image)) {
        progress.close();
        report.outcome = Outcome::NotWritten;
        say(ctx_.messages(Msg::SaveFailed));
        return report;
    }
    progress.close();
    say(kUploadSuccess);
    return report;
}

LinuxDeviceMemoryTransfer::Verification
LinuxDeviceMemoryTransfer::verify(std::span<const std::uint8_t> expected,
                                  TransferObserver* observer) {
    Verification found;
    Report report;
    Progress progress(observer);
    const auto image = readImage(report, progress);
    progress.close();
    if (!image || report.done < report.total) {
        return found;
    }
    found.read = true;
    found.bytes = image->size();
    found.expectedBytes = expected.size();
    const std::size_t common = std::min(image->size(), expected.size());
    const auto at = std::mismatch(
        image->begin(), image->begin() + static_cast<std::ptrdiff_t>(common), expected.begin());
    if (at.first != image->begin() + static_cast<std::ptrdiff_t>(common)) {
        found.firstDifference = static_cast<std::size_t>(at.first - image->begin());
    } else if (image->size() != expected.size()) {
        found.firstDifference = common;
    }
    return found;
}

std::optional<LinuxDeviceMemoryTransfer::Verification>
LinuxDeviceMemoryTransfer::verify(const std::filesystem::path& file, TransferObserver* observer) {
    const auto bytes = readImageFile(file);
    if (!bytes) {
        return std::nullopt;
    }
    return verify(*bytes, observer);
}

std::optional<std::vector<std::uint8_t>>
LinuxDeviceMemoryTransfer::readImageFile(const std::filesystem::path& file) {
    // A named pipe or a device is refused, never waited on.
    constexpr std::size_t kLargest = std::size_t{0xFFFF} * LinuxImage::kRestoreBlock;
    std::string why;
    return readRegularFile(file.string(), kLargest, why);
}

LinuxDeviceMemoryTransfer::Report
LinuxDeviceMemoryTransfer::restore(const std::filesystem::path& file, TransferObserver* observer) {
    Report report;
    const auto read = readImageFile(file);
    if (!read) {
        Progress(observer).close();
        report.outcome = Outcome::NotOpened;
        say(kDownloadFail);
        return report;
    }
    const std::vector<std::uint8_t>& bytes = *read;
    report.bytes = bytes.size();
    const auto plan = LinuxImage::restorePlan(bytes.size());
    if (!plan) {
        // An empty image would go out as one block numbered 65535: nothing the PLC can use.
        report.outcome = Outcome::EmptyFile;
        ctx_.prompter.message(ctx_.messages(Msg::EmptyImage), PromptButtons::Ok,
                              PromptIcon::Warning);
        return report;
    }
    // The PLC's whole image is replaced by whatever the file holds: a file of the wrong size
    // (one byte, say) would leave a PLC without its devices, so the user sees the size first.
    if (ctx_.prompter.message(imageReplaceQuestion(bytes.size(), ctx_.messages),
                              PromptButtons::YesNo, PromptIcon::Question) != PromptAnswer::Yes) {
        report.outcome = Outcome::Declined;
        return report;
    }
    report.total = plan->blocks;
    Progress progress(observer);
    const std::uint64_t totalBytes = bytes.size();
    ctx_.session.setProjectCpuType(cpuType_);
    const std::span<const std::uint8_t> all(bytes);
    for (std::uint16_t i = 0; i < plan->blocks; ++i) {
        if (progress.cancelled()) {
            report.outcome = Outcome::Cancelled;
            return report;
        }
        const bool last = i + 1 == plan->blocks;
        const auto data = all.subspan(std::size_t{i} * LinuxImage::kRestoreBlock,
                                      last ? plan->lastSize : LinuxImage::kRestoreBlock);
        ++report.requests;
        if (!ctx_.session.downloadBlock(kImageKind, 0, plan->blocks, i, data)) {
            progress.close();
            report.outcome = Outcome::SendFailed;
            say(kDownloadFail);
            return report;
        }
        ++report.done;
        if (!last && i % 8 == 0) {
            progress.step(std::uint64_t{i} * LinuxImage::kRestoreBlock, totalBytes);
        }
    }
    progress.close();
    say(kDownloadSuccess);
    return report;
}

std::string LinuxDeviceMemoryTransfer::defaultFileName(const std::tm& localTime) {
    return PdmFile::defaultName("Linux Device Data ", ".BIN", localTime);
}

} // namespace dlu
