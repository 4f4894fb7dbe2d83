#pragma once

#include "comm/COnlineModule.h"
#include "download/DownloadObserver.h"
#include "package/CFileEncryption.h"
#include "package/FileKind.h"
#include "package/StProgramTable.h"
#include "plc/CpuTypeTable.h"

#include <array>
#include <chrono>
#include <cstdint>
#include <fstream>
#include <string>
#include <string_view>
#include <vector>

namespace dlu {

class CFileControl;

// What one download is given: the project's CPU type, the package, and a copy of the ST
// program table read when the package was chosen.
struct DownloadJob {
    CpuType projectCpuType = kNoCpuType;
    std::string packagePath;
    std::string packageFileName; // derived from the path when empty
    StProgramTable stTable;
};

// The download engine: sends one project to the connected PLC with 'D' requests.
//
//   parameter data  'P' id 0, at most 3580 bytes
//   PBT             'B' id 0..127, 64 bytes each, used or not
//   user programs   'C' id = PBT index, lengths from the PBT
//   Linux family    'b' 'l' 'v' 'a' 's' per ST program, 'T', 'V' 'A' 'S', 't'
//
// Every item goes in blocks of at most 238 bytes with value 1 = block count and value 2 =
// block index. The Tx delay of the connection settings is waited before every parameter
// block and, for the XP link layout only, before every PBT and program entry.
//
// The package is opened again for the download and everything made on the way (buffer
// copies, unpack folder, backup copy) is removed on every path; the package file itself is
// only ever read. Unlike a plain read-and-send loop, every file is measured before the first
// request, so that a damaged link file or an oversized parameter file sends nothing at all.
class DownloadSequence {
public:
    enum class Failure {
        None,
        PackageUnusable,   // message 400 (by the package reader)
        FileMissing,       // 656 and/or 657
        ParameterTooLarge, // 653
        ParameterDamaged,  // 653: shorter than its header
        ItemTooLarge,      // more blocks than a 16-bit block count holds; nothing sent
        LinkFileDamaged,   // 657: shorter than its PBT says
        FileUnreadable,    // a file measured for the plan could not be read: message 680
        RequestFailed,     // the error report has been shown
        Cancelled,         // the observer asked to stop between two requests
    };

    static constexpr std::size_t kBlockSize = 238;
    static constexpr std::size_t kMaxParameterData = 3580;
    static constexpr std::size_t kParameterHeaderSize = 100;
    // Value 1 (block count) and value 2 (block index) of a 'D' request are 16-bit.
    static constexpr std::uint32_t kMaxBlocks = 0xFFFF;
    static constexpr std::chrono::milliseconds kDelayUnit{100};
    static constexpr std::uint8_t kMaxDelayIndex = 5;

    DownloadSequence(const OnlineContext& context, COnlineModule& session, CFileControl& reader,
                     DownloadJob job);
    ~DownloadSequence();
    DownloadSequence(const DownloadSequence&) = delete;
    DownloadSequence& operator=(const DownloadSequence&) = delete;

    void setObserver(DownloadObserver* observer) { observer_ = observer; }

    // Opens the package and measures every file without a request; the flow calls it before
    // it touches the PLC. run() calls it when it has not been called.
    bool prepare();
    // Runs the whole sequence once; later calls only repeat the outcome.
    bool run();

    bool succeeded() const { return succeeded_; }
    Failure failure() const { return failure_; }
    // What the download sends (filled once the package has been opened and measured).
    const std::vector<DownloadItemPlan>& plan() const { return plan_; }
    std::uint64_t totalBytes() const { return totalBytes_; }
    // How many planned items, from the first, reached the PLC whole (every block answered).
    std::size_t wholeItems() const { return current_; }
    std::uint64_t bytesSent() const { return bytesSent_; }

    // Blocks of an item of `bytes` bytes.
    static std::uint32_t blockCount(std::uint64_t bytes) {
        return static_cast<std::uint32_t>((bytes + kBlockSize - 1) / kBlockSize);
    }
    // The Tx delay of a CommSet Tx delay index.
    static std::chrono::milliseconds txDelay(std::uint8_t index);

private:
    // A file sent from the unpack folder: ST, ST table and global files.
    struct ExtraFile {
        std::size_t planIndex = 0;
        std::string path;
    };

    bool prepareFiles();
    bool prepareFile(const std::string& path, std::string& copy, std::ifstream& in);
    static bool copyIsOfKind(const std::string& original, const std::string& copy);
    bool measureLinkFile();
    void planItems();
    void addItem(std::uint8_t kind, std::uint8_t id, std::uint64_t bytes, std::string label);
    void planExtraFile(std::uint8_t kind, std::uint8_t id, const std::string& folder,
                       const std::string& name, std::string label);

    bool sendParameter();
    bool sendPbt();
    bool sendPrograms();
    bool sendExtraFiles();
    // Sends the next planned item, reading its bytes from `in`.
    bool sendItem(std::ifstream& in, bool delayEveryBlock);
    bool sendBlock(const DownloadItemPlan& item, std::uint32_t index,
                   std::span<const std::uint8_t> data);
    void stepDelay();
    void unreadable(std::string_view label);
    void cleanUp();
    void fail(Failure failure) {
        if (failure_ == Failure::None) {
            failure_ = failure;
        }
    }

    OnlineContext ctx_;
    COnlineModule& session_;
    CFileControl& reader_;
    DownloadJob job_;
    CFileEncryption encryption_;
    DownloadObserver* observer_ = nullptr;

    bool started_ = false;
    bool prepared_ = false;
    bool prepareOk_ = false;
    bool succeeded_ = false;
    Failure failure_ = Failure::None;
    std::chrono::milliseconds delay_{0};

    std::string parameterCopy_;
    std::string linkCopy_;
    std::ifstream parameter_;
    std::ifstream link_;
    std::uint64_t parameterBytes_ = 0;
    LinkLayout layout_ = LinkLayout::Older;
    std::array<std::uint8_t, kPbtEntryCount * kPbtEntrySize> pbt_{};
    std::array<PbtEntry, kPbtEntryCount> entries_{};

    std::vector<DownloadItemPlan> plan_;
    std::vector<ExtraFile> extraFiles_;
    std::uint64_t totalBytes_ = 0;
    std::uint64_t bytesSent_ = 0;
    std::size_t current_ = 0; // next planned item to send
    std::array<std::uint8_t, 256> block_{};
};

} // namespace dlu
