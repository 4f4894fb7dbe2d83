#pragma once

#include "devmem/DeviceMemorySelection.h"
#include "devmem/DeviceTransferContext.h"
#include "devmem/PdmFile.h"
#include "devmem/PdmImage.h"

#include <chrono>
#include <cstdint>
#include <ctime>
#include <filesystem>
#include <functional>
#include <span>
#include <string>
#include <vector>

namespace dlu {

class TransferObserver;
struct DeviceChunk;

// The device memory dialog without its widgets: backs chosen ranges of the sixteen areas up
// from a PLC into a ".PDM" file, or restores them from one. Owns the selection, the image and
// the file name; messages go through the context's prompter.
class DeviceMemoryTransfer {
public:
    // A read's answer, or a write's confirmation, is looked for at once and then after each
    // of up to this many pauses.
    static constexpr int kWaitTries = 200;
    static constexpr std::chrono::milliseconds kWaitStep{5};

    enum class Result {
        Done,          // backup read and saved (565) / restore sent (567)
        Invalid,       // a range failed validation; its message was shown
        NothingRead,   // backup: a chunk's words never arrived: 550, nothing saved
        NotConfirmed,  // restore: a write was never confirmed: 568, the rest not sent
        NothingToSend, // restore without a loaded image: 566
        NothingWritten, // restore: no selected range holds words of the file (679 for each);
                        // nothing was sent
        NotSaved,      // backup read, but the save failed (563, 564 or 579 was shown)
        Cancelled,     // the observer asked to stop between two chunks: a backup saves
                       // nothing (the file stays as it was), a restore leaves the words
                       // already written in the PLC
        NoSession,     // no session was attached
    };

    // A word the PLC holds otherwise than the image.
    struct Difference {
        std::string name; // transfer name of the word, "D00012"
        std::uint16_t inImage = 0;
        std::uint16_t inPlc = 0;
    };
    // What a read-back found.
    struct Verification {
        Result result = Result::Done;  // NothingRead: a read went unanswered (550 was shown);
                                       // Cancelled: stopped between chunks
        std::uint64_t words = 0;       // words compared
        std::uint64_t differing = 0;   // of which the PLC holds another value
        std::vector<Difference> first; // the first kNamedDifferences of them, in address order
    };
    static constexpr std::size_t kNamedDifferences = 5;

    DeviceMemoryTransfer(DeviceTransferContext context, DeviceMemoryMode mode, CpuType cpuType);
    // A transfer over areas chosen (and validated) before the connection was made.
    DeviceMemoryTransfer(DeviceTransferContext context, DeviceMemorySelection selection);
    // For a window that keeps the transfer's state while the session lives on another thread:
    // the session is lent with attach() for the time of each transfer.
    DeviceMemoryTransfer(Prompter& prompter, const Messages& messages, Clock& clock,
                         DeviceMemoryMode mode, CpuType cpuType);
    void attach(COnlineModule* session) { session_ = session; }

    DeviceMemoryMode mode() const { return selection_.mode(); }
    CpuType cpuType() const { return selection_.cpuType(); }
    DeviceMemorySelection& selection() { return selection_; }
    const DeviceMemorySelection& selection() const { return selection_; }
    PdmImage& image() { return image_; }
    const PdmImage& image() const { return image_; }

    // Title of the window: 551 for a backup, 552 for a restore.
    std::string title() const;

    // The state in which the dialog opens: a backup starts with the Default choice and the
    // default file name in `folder`; a restore with nothing checked, and the default name
    // loaded if such a file exists (otherwise no file at all).
    void open(const std::filesystem::path& folder, const std::tm& localTime);

    const std::filesystem::path& folder() const { return folder_; }
    const std::string& name() const { return name_; }
    std::filesystem::path file() const;
    void setFile(const std::filesystem::path& file);

    // The question buttons; each asks first (555, 556, 557) and does nothing on No.
    bool askDefault();
    bool askMaximum();
    bool askClearAll();

    // Loads a ".PDM" file into the image and the selection, with the load's message. A file
    // longer than a device memory file is taken only when the user agrees (TooLong, with
    // nothing changed, otherwise).
    PdmFile::LoadResult load(const std::filesystem::path& file);
    // Takes an image already loaded from `file` as load() would, with the load's message; the
    // selection stays as the caller chose it from this image.
    void useLoaded(const std::filesystem::path& file, PdmImage image);
    // Saves the image to the file name with the current mask and ranges, with its message.
    PdmFile::SaveResult save();

    // What the transfer button checks before anything goes to the PLC: the ranges (Invalid,
    // with the validation's message; `failingArea`, when given, gets the area whose range
    // failed) and, for a restore, a loaded image (NothingToSend, with 566). Done when the
    // transfer may start.
    Result check(int* failingArea = nullptr);
    // The transfer button: check(), then the backup or the restore.
    Result transfer(TransferObserver* observer = nullptr);
    // The two transfers on their own (the ranges must have been validated).
    Result backup(TransferObserver* observer = nullptr);
    Result restore(TransferObserver* observer = nullptr);
    // After a restore: reads back the words it wrote and compares them with the image. A write
    // the PLC confirmed but did not carry out shows here.
    Verification verify(TransferObserver* observer = nullptr);

    // "Device Data 20261206_084502.PDM".
    static std::string defaultFileName(const std::tm& localTime);
    // The local time now, for the default names.
    static std::tm localNow();

private:
    // The words of an area a restore writes: the selected range, but only words a file holds.
    WordRange writtenRange(int area) const;
    // 679 for an area whose selected range holds no word of the file.
    void showRangeNotInFile(int area);
    std::uint64_t bytesOf(bool written) const;
    // Reads `range` of `area` chunk by chunk, handing each chunk's first word and words to
    // `take`. NothingRead, with 550 shown and the observer closed, when a chunk never arrives;
    // Cancelled when the observer asked to stop before a chunk.
    Result
    readRange(int area, WordRange range, TransferObserver* observer, std::uint64_t& bytes,
              std::uint64_t totalBytes,
              const std::function<void(std::uint32_t, std::span<const std::uint16_t>)>& take);
    bool waitForWords(std::span<std::uint16_t> out);
    void show(int koreanId);

    COnlineModule* session_;
    Prompter& prompter_;
    const Messages& messages_;
    Clock& clock_;
    DeviceMemorySelection selection_;
    PdmImage image_;
    std::filesystem::path folder_;
    std::string name_;
};

} // namespace dlu
