#include "devmem/DeviceMemoryTransfer.h"

#include "comm/COnlineModule.h"
#include "common/Clock.h"
#include "common/MessageIds.h"
#include "common/Prompter.h"
#include "common/TextFormat.h"
#include "devmem/DeviceTransferPlan.h"
#include "devmem/TransferProgress.h"
#include "devmem/TransferTexts.h"
#include "plc/DeviceArea.h"

#include <algorithm>
#include <system_error>
#include <utility>
#include <vector>

namespace dlu {

namespace {

// The first read of a restore. The PLC's answer is not used; it is read because the PLC
// expects a read before the writes of a restore.
constexpr const char* kRestoreOpeningName = "F0050";

void notify(TransferObserver* observer, const DeviceChunk& chunk, const AreaProgress& progress,
            std::uint64_t bytes, std::uint64_t totalBytes) {
    if (observer == nullptr) {
        return;
    }
    const WholeProgress whole =
        WholeProgress::through(bytes + 2u * static_cast<std::uint64_t>(chunk.count), totalBytes);
    observer->update({chunk.line1, chunk.line2, progress.bar(), progress.percent(), whole.bar,
                      whole.percent, bytes, totalBytes});
}

// Asked between chunks only, so that a cancelled restore never leaves a write unconfirmed.
bool stopRequested(TransferObserver* observer) {
    if (observer == nullptr || !observer->cancelled()) {
        return false;
    }
    observer->closed();
    return true;
}

} // namespace

DeviceMemoryTransfer::DeviceMemoryTransfer(DeviceTransferContext context, DeviceMemoryMode mode,
                                           CpuType cpuType)
    : session_(&context.session), prompter_(context.prompter), messages_(context.messages),
      clock_(context.clock), selection_(mode, cpuType, context.messages) {}

DeviceMemoryTransfer::DeviceMemoryTransfer(Prompter& prompter, const Messages& messages,
                                           Clock& clock, DeviceMemoryMode mode, CpuType cpuType)
    : session_(nullptr), prompter_(prompter), messages_(messages), clock_(clock),
      selection_(mode, cpuType, messages) {}

DeviceMemoryTransfer::DeviceMemoryTransfer(DeviceTransferContext context,
                                           DeviceMemorySelection selection)
    : session_(&context.session), prompter_(context.prompter), messages_(context.messages),
      clock_(context.clock), selection_(std::move(selection)) {}

std::string DeviceMemoryTransfer::title() const {
    return std::string(
        messages_(mode() == DeviceMemoryMode::Backup ? Msg::TitleBackup : Msg::TitleRestore));
}

void DeviceMemoryTransfer::show(int koreanId) { prompter_.message(messages_(koreanId)); }

void DeviceMemoryTransfer::open(const std::filesystem::path& folder, const std::tm& localTime) {
    folder_ = folder;
    name_ = defaultFileName(localTime);
    if (mode() == DeviceMemoryMode::Backup) {
        selection_.setDefault();
        return;
    }
    selection_.uncheckAll();
    std::error_code ec;
    const auto path = file();
    if (std::filesystem::is_regular_file(path, ec) && std::filesystem::file_size(path, ec) > 0 &&
        !ec && load(path) == PdmFile::LoadResult::Loaded) {
        selection_.setNotice(std::string(messages_(Msg::FileDataLoaded)));
        return;
    }
    folder_.clear();
    name_.clear();
}

std::filesystem::path DeviceMemoryTransfer::file() const {
    if (folder_.empty() || name_.empty()) {
        return {};
    }
    return folder_ / name_;
}

void DeviceMemoryTransfer::setFile(const std::filesystem::path& file) {
    folder_ = file.parent_path();
    if (folder_.empty()) {
        folder_ = ".";
    }
    name_ = file.filename().string();
}

bool DeviceMemoryTransfer::askDefault() {
    if (prompter_.message(messages_(Msg::AskDefault), PromptButtons::YesNo, PromptIcon::Question) !=
        PromptAnswer::Yes) {
        return false;
    }
    selection_.setDefault();
    return true;
}

bool DeviceMemoryTransfer::askMaximum() {
    if (prompter_.message(messages_(Msg::AskMaximum), PromptButtons::YesNo, PromptIcon::Question) !=
        PromptAnswer::Yes) {
        return false;
    }
    selection_.setMaximum();
    return true;
}

bool DeviceMemoryTransfer::askClearAll() {
    if (prompter_.message(messages_(Msg::AskClearAll), PromptButtons::YesNo,
                          PromptIcon::Question) != PromptAnswer::Yes) {
        return false;
    }
    selection_.clearAll();
    return true;
}

PdmFile::LoadResult DeviceMemoryTransfer::load(const std::filesystem::path& path) {
    auto result = PdmFile::load(path, image_);
    if (result == PdmFile::LoadResult::TooLong) {
        // Bytes past the image are no device memory: the user sees both sizes and decides
        // whether the first part is what to restore. No leaves everything as it was.
        std::error_code ec;
        const auto size = std::filesystem::file_size(path, ec);
        if (ec ||
            prompter_.message(
                formatText(messages_(Msg::AskLoadLongPdm), longPdmText(size, messages_).c_str()),
                PromptButtons::YesNo, PromptIcon::Warning) != PromptAnswer::Yes) {
            return result;
        }
        result = PdmFile::load(path, image_, true);
    }
    if (result == PdmFile::LoadResult::Loaded || result == PdmFile::LoadResult::NotLoaded) {
        setFile(path);
    }
    if (result == PdmFile::LoadResult::Loaded) {
        selection_.takeFrom(image_);
    }
    if (const int id = PdmFile::messageFor(result); id != 0) {
        show(id);
    }
    return result;
}

void DeviceMemoryTransfer::useLoaded(const std::filesystem::path& file, PdmImage image) {
    image_ = std::move(image);
    setFile(file);
    show(PdmFile::messageFor(PdmFile::LoadResult::Loaded));
}

PdmFile::SaveResult DeviceMemoryTransfer::save() {
    std::array<PdmImage::Range16, DeviceAreas::kCount> ranges{};
    for (int i = 0; i < DeviceAreas::kCount; ++i) {
        // The file holds 16-bit ranges: the low half of each field.
        const auto& r = selection_.area(i).range;
        ranges[static_cast<std::size_t>(i)] = {static_cast<std::uint16_t>(r.start & 0xFFFF),
                                               static_cast<std::uint16_t>(r.end & 0xFFFF)};
    }
    const auto result = PdmFile::save(folder_, name_, image_, selection_.mask(), ranges);
    show(PdmFile::messageFor(result));
    return result;
}

DeviceMemoryTransfer::Result DeviceMemoryTransfer::check(int* failingArea) {
    const RangeCheck ranges = selection_.validate();
    if (failingArea != nullptr) {
        *failingArea = ranges.failingArea;
    }
    if (!ranges.ok) {
        prompter_.message(ranges.message, PromptButtons::Ok, PromptIcon::Warning);
        return Result::Invalid;
    }
    if (mode() == DeviceMemoryMode::Restore && !image_.loaded()) {
        prompter_.message(messages_(Msg::NoDeviceFile), PromptButtons::Ok, PromptIcon::Warning);
        return Result::NothingToSend;
    }
    return Result::Done;
}

DeviceMemoryTransfer::Result DeviceMemoryTransfer::transfer(TransferObserver* observer) {
    if (const Result checked = check(); checked != Result::Done) {
        return checked;
    }
    return mode() == DeviceMemoryMode::Backup ? backup(observer) : restore(observer);
}

bool DeviceMemoryTransfer::waitForWords(std::span<std::uint16_t> out) {
    // The session completes its frame before it returns, so the answer is usually there
    // already: look first, pause afterwards.
    if (session_->takeReadWords(out)) {
        return true;
    }
    for (int i = 0; i < kWaitTries; ++i) {
        clock_.sleep(kWaitStep);
        if (session_->takeReadWords(out)) {
            return true;
        }
    }
    return false;
}

void DeviceMemoryTransfer::showRangeNotInFile(int area) {
    const WordRange asked = selection_.area(area).range;
    if (asked.start < asked.end && writtenRange(area).start >= writtenRange(area).end) {
        // Nothing of what was asked for is in the file: say so rather than let the closing
        // "restore done" cover it.
        const std::string letter(DeviceAreas::at(area).letter);
        prompter_.message(formatText(messages_(Msg::RangeNotInFile), letter.c_str(), asked.start,
                                     asked.end - 1, letter.c_str(), PdmImage::fileWords(area) - 1));
    }
}

WordRange DeviceMemoryTransfer::writtenRange(int area) const {
    // A restore writes only words the file held: a CS range above word 4055 would otherwise
    // put zeros into the PLC.
    WordRange range = selection_.area(area).range;
    range.end = std::min(range.end, PdmImage::fileWords(area));
    range.start = std::min(range.start, range.end);
    return range;
}

std::uint64_t DeviceMemoryTransfer::bytesOf(bool written) const {
    std::uint64_t bytes = 0;
    for (int area = 0; area < DeviceAreas::kCount; ++area) {
        if ((selection_.mask() & (1u << area)) != 0) {
            const WordRange r = written ? writtenRange(area) : selection_.area(area).range;
            bytes += 2u * (r.end - std::min(r.start, r.end));
        }
    }
    return bytes;
}

DeviceMemoryTransfer::Result DeviceMemoryTransfer::readRange(
    int area, WordRange range, TransferObserver* observer, std::uint64_t& bytes,
    std::uint64_t totalBytes,
    const std::function<void(std::uint32_t, std::span<const std::uint16_t>)>& take) {
    std::vector<std::string> names(1);
    std::vector<std::uint8_t> counts(1);
    std::array<std::uint16_t, DeviceTransferPlan::kChunkWords> words{};
    AreaProgress progress;
    for (int n = 0;; ++n) {
        session_->setProjectCpuType(cpuType());
        const DeviceChunk chunk =
            DeviceTransferPlan::chunk(area, range, n, TransferDirection::Upload, messages_);
        if (chunk.count < 1) {
            return Result::Done;
        }
        if (stopRequested(observer)) {
            return Result::Cancelled;
        }
        progress.apply(chunk);
        notify(observer, chunk, progress, bytes, totalBytes);
        names[0] = chunk.address;
        counts[0] = static_cast<std::uint8_t>(chunk.count);
        session_->readWordsByNames(names, counts);
        words.fill(0);
        if (!waitForWords(words)) {
            if (observer != nullptr) {
                observer->closed();
            }
            show(Msg::UploadError);
            return Result::NothingRead;
        }
        const auto count = static_cast<std::size_t>(chunk.count);
        take(range.start + static_cast<std::uint32_t>(n) * 100u, std::span(words).first(count));
        bytes += 2u * count;
        if (chunk.count != DeviceTransferPlan::kChunkWords) {
            return Result::Done;
        }
    }
}

DeviceMemoryTransfer::Result DeviceMemoryTransfer::backup(TransferObserver* observer) {
    if (session_ == nullptr) {
        return Result::NoSession;
    }
    image_.clear();
    if (observer != nullptr) {
        observer->opened();
    }
    const std::uint16_t mask = selection_.mask();
    const std::uint64_t totalBytes = bytesOf(false);
    std::uint64_t bytes = 0;
    for (int area = 0; area < DeviceAreas::kCount; ++area) {
        if ((mask & (1u << area)) == 0) {
            continue;
        }
        const Result read =
            readRange(area, selection_.area(area).range, observer, bytes, totalBytes,
                      [&](std::uint32_t first, std::span<const std::uint16_t> w) {
                          for (std::size_t i = 0; i < w.size(); ++i) {
                              image_.setWord(area, first + static_cast<std::uint32_t>(i), w[i]);
                          }
                      });
        if (read != Result::Done) {
            // Nothing is saved: the file keeps the previous backup.
            return read;
        }
    }
    if (observer != nullptr) {
        observer->closed();
    }
    image_.setFlag(1);
    const auto saved = save();
    selection_.setNotice(std::string(messages_(Msg::SavedAutomatically)));
    return saved == PdmFile::SaveResult::Saved ? Result::Done : Result::NotSaved;
}

DeviceMemoryTransfer::Result DeviceMemoryTransfer::restore(TransferObserver* observer) {
    if (session_ == nullptr) {
        return Result::NoSession;
    }
    if (!image_.loaded()) {
        show(Msg::NoDeviceFile);
        return Result::NothingToSend;
    }
    const std::uint16_t mask = selection_.mask();
    const std::uint64_t totalBytes = bytesOf(true);
    if (totalBytes == 0) {
        // Nothing of the file would be written: that is no restore, and the PLC is not touched.
        for (int area = 0; area < DeviceAreas::kCount; ++area) {
            if ((mask & (1u << area)) != 0) {
                showRangeNotInFile(area);
            }
        }
        return Result::NothingWritten;
    }
    if (observer != nullptr) {
        observer->opened();
    }
    const CpuType cpu = cpuType();
    session_->setProjectCpuType(cpu);
    const std::vector<std::string> opening{kRestoreOpeningName};
    const std::vector<std::uint8_t> one{1};
    session_->readWordsByNames(opening, one);
    // Drop its answer, so that the confirmation of the first write cannot be mistaken for it.
    session_->takeReadWords();

    std::uint64_t bytes = 0;
    std::vector<std::uint16_t> words;
    AreaProgress progress;
    for (int area = 0; area < DeviceAreas::kCount; ++area) {
        if ((mask & (1u << area)) == 0) {
            continue;
        }
        progress.reset();
        const WordRange range = writtenRange(area);
        if (range.start >= range.end) {
            showRangeNotInFile(area);
            continue;
        }
        for (int n = 0;; ++n) {
            session_->setProjectCpuType(cpu);
            const DeviceChunk chunk =
                DeviceTransferPlan::chunk(area, range, n, TransferDirection::Download, messages_);
            if (chunk.count < 1) {
                break;
            }
            if (stopRequested(observer)) {
                return Result::Cancelled;
            }
            progress.apply(chunk);
            notify(observer, chunk, progress, bytes, totalBytes);
            const std::uint32_t first = range.start + static_cast<std::uint32_t>(n) * 100u;
            words.resize(static_cast<std::size_t>(chunk.count));
            for (int i = 0; i < chunk.count; ++i) {
                words[static_cast<std::size_t>(i)] =
                    image_.word(area, first + static_cast<std::uint32_t>(i));
            }
            session_->writeByName(chunk.address, {words, {}});
            // Every write is confirmed before anything else goes out, the last of an area
            // and of the whole restore included.
            if (!waitForWords({})) {
                if (observer != nullptr) {
                    observer->closed();
                }
                prompter_.message(
                    formatText(messages_(Msg::WriteNotConfirmed), chunk.address.c_str()),
                    PromptButtons::Ok, PromptIcon::Stop);
                return Result::NotConfirmed;
            }
            bytes += 2u * words.size();
            if (chunk.count != DeviceTransferPlan::kChunkWords) {
                break;
            }
        }
    }
    if (observer != nullptr) {
        observer->closed();
    }
    show(Msg::RestoreDone);
    return Result::Done;
}

DeviceMemoryTransfer::Verification DeviceMemoryTransfer::verify(TransferObserver* observer) {
    Verification found;
    if (session_ == nullptr) {
        found.result = Result::NoSession;
        return found;
    }
    if (observer != nullptr) {
        observer->opened();
    }
    const std::uint64_t totalBytes = bytesOf(true);
    std::uint64_t bytes = 0;
    for (int area = 0; area < DeviceAreas::kCount; ++area) {
        const WordRange range = writtenRange(area);
        if ((selection_.mask() & (1u << area)) == 0 || range.start >= range.end) {
            continue;
        }
        const Result read =
            readRange(area, range, observer, bytes, totalBytes,
                      [&](std::uint32_t first, std::span<const std::uint16_t> w) {
                          for (std::size_t i = 0; i < w.size(); ++i) {
                              const auto word = first + static_cast<std::uint32_t>(i);
                              const std::uint16_t want = image_.word(area, word);
                              ++found.words;
                              if (w[i] == want) {
                                  continue;
                              }
                              ++found.differing;
                              if (found.first.size() < kNamedDifferences) {
                                  found.first.push_back(
                                      {DeviceAreas::transferAddress(area, word), want, w[i]});
                              }
                          }
                      });
        if (read != Result::Done) {
            found.result = read;
            return found;
        }
    }
    if (observer != nullptr) {
        observer->closed();
    }
    return found;
}

std::string DeviceMemoryTransfer::defaultFileName(const std::tm& localTime) {
    return PdmFile::defaultName("Device Data ", ".PDM", localTime);
}

std::tm DeviceMemoryTransfer::localNow() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    return local;
}

} // namespace dlu
