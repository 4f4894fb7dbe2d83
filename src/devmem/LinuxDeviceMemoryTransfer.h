#pragma once

#include "devmem/DeviceMemorySelection.h"
#include "devmem/DeviceTransferContext.h"

#include <cstddef>
#include <cstdint>
#include <ctime>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace dlu {

class TransferObserver;

// The Linux device memory dialog without its widgets: the PLC's whole device image to a
// ".BIN" file ('U' blocks) and back ('D' blocks of kind 'X'). The image is opaque here.
class LinuxDeviceMemoryTransfer {
public:
    static constexpr std::uint8_t kImageKind = 'X';

    enum class Outcome {
        Success,      // "Upload Success" / "Download Success"
        NotWritten,   // backup: the file could not be written (579); the old file is kept
        NoFirstBlock, // backup: block 0 never came; nothing was written, silently
        Incomplete,   // backup: blocks at the end never came; the file was left as it was and
                      // what arrived went to a new file (585 and 530 said so)
        NotOpened,    // restore: the file cannot be read: "Download Fail"
        EmptyFile,    // restore: nothing (or too much) to send: 586, nothing sent
        Declined,     // restore: the user said No to replacing the PLC's image; nothing sent
        SendFailed,   // restore: a block was refused: "Download Fail"
        Cancelled,    // the observer asked to stop between blocks: a backup writes nothing,
                      // a restore leaves the blocks already sent in the PLC
    };

    struct Report {
        Outcome outcome = Outcome::Success;
        std::uint16_t total = 0; // blocks of the image
        std::uint16_t done = 0;  // blocks received or sent
        std::size_t bytes = 0;   // bytes written to or read from the file
        int requests = 0;        // 'U' or 'D' requests sent
        std::filesystem::path partialFile; // an incomplete backup's blocks, kept apart
    };

    // What reading the image back found.
    struct Verification {
        bool read = false;                          // the whole image came back
        std::size_t bytes = 0;                      // bytes the PLC holds
        std::size_t expectedBytes = 0;              // bytes it was compared with
        std::optional<std::size_t> firstDifference; // first byte that differs (or is missing)
    };

    LinuxDeviceMemoryTransfer(DeviceTransferContext context, DeviceMemoryMode mode,
                              CpuType cpuType);

    DeviceMemoryMode mode() const { return mode_; }
    CpuType cpuType() const { return cpuType_; }
    // Title of the window: 551 or 552 followed by "(Linux)".
    std::string title() const;

    // Reads the image from the PLC into `file`. The file is replaced only by a complete image;
    // an incomplete one goes to a new file beside it (Report::partialFile), and a backup that
    // gets nothing leaves everything as it was.
    Report backup(const std::filesystem::path& file, TransferObserver* observer = nullptr);
    // Sends `file` to the PLC in blocks of 238 bytes, once the user has agreed to have the
    // PLC's whole image replaced by a file of that size.
    Report restore(const std::filesystem::path& file, TransferObserver* observer = nullptr);

    // After a restore: reads the image back and compares it with `expected`.
    Verification verify(std::span<const std::uint8_t> expected,
                        TransferObserver* observer = nullptr);
    // The same against the bytes of `file`; nothing when the file cannot be read.
    std::optional<Verification> verify(const std::filesystem::path& file,
                                       TransferObserver* observer = nullptr);

    // The bytes of an image file, at most one more than the largest image a restore can send
    // (so that a longer file shows as too large without being read whole); nothing when it
    // cannot be read.
    static std::optional<std::vector<std::uint8_t>>
    readImageFile(const std::filesystem::path& file);

    // "Linux Device Data 20261206_084502.BIN".
    static std::string defaultFileName(const std::tm& localTime);

private:
    class Progress;
    // Reads the image block by block ('U'), with report.total, done, bytes and requests set.
    // Nothing when block 0 never came.
    std::optional<std::vector<std::uint8_t>> readImage(Report& report, Progress& progress);
    void say(std::string_view text);

    DeviceTransferContext ctx_;
    DeviceMemoryMode mode_;
    CpuType cpuType_;
};

} // namespace dlu
