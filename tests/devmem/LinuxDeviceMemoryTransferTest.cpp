#include "devmem/LinuxDeviceMemoryTransfer.h"

#include "DevmemRig.h"
#include "common/TextFormat.h"
#include "devmem/TransferProgress.h"
#include "sim/SimLinuxImage.h"

#include <gtest/gtest.h>

#include <map>
#include <optional>

namespace dlu {
namespace {

namespace fs = std::filesystem;

using test::DevmemRig;
using test::readFile;
using test::TempFolder;
using test::writeFile;
using Outcome = LinuxDeviceMemoryTransfer::Outcome;

constexpr CpuType kA21 = 26;

// A PLC that hands out a device image in 'U' blocks of `blockSize` bytes. `answerInstead`
// replaces the block number of chosen requests (by their count from 1), as a PLC that sends
// a stale block does.
class ImagePlc final : public sim::PlcSimulator {
public:
    using sim::PlcSimulator::PlcSimulator;

    std::vector<std::uint8_t> served;
    std::size_t blockSize = 200;
    std::map<int, std::uint16_t> answerInstead;
    std::vector<std::uint16_t> asked;

protected:
    void onUpload(const Request& request, Reply& reply) override {
        // Kind, 0, block number.
        if (request.data.size() < 4 || request.data[0] != 'X') {
            reply.fail(kErrInvalidValue);
            return;
        }
        const auto wanted = static_cast<std::uint16_t>((request.data[2] << 8) | request.data[3]);
        asked.push_back(wanted);
        const std::size_t total = (served.size() + blockSize - 1) / blockSize;
        const auto swap = answerInstead.find(static_cast<int>(asked.size()));
        const std::uint16_t number = swap != answerInstead.end() ? swap->second : wanted;
        if (number >= total) {
            reply.fail(kErrInvalidValue);
            return;
        }
        const std::size_t from = number * blockSize;
        const std::size_t length = std::min(blockSize, served.size() - from);
        reply.put16(0);
        reply.put16(static_cast<std::uint16_t>(total));
        reply.put16(number);
        reply.put16(static_cast<std::uint16_t>(length));
        for (std::size_t i = 0; i < length; ++i) {
            reply.put8(served[from + i]);
        }
    }
};

using Rig = DevmemRig<ImagePlc>;

std::size_t be16(const std::vector<std::uint8_t>& d, std::size_t at) {
    return static_cast<std::size_t>((d[at] << 8) | d[at + 1]);
}

std::vector<std::uint8_t> pattern(std::size_t size, unsigned seed) {
    std::vector<std::uint8_t> out(size);
    for (std::size_t i = 0; i < size; ++i) {
        out[i] = static_cast<std::uint8_t>((i * 31 + seed) ^ (i >> 8));
    }
    return out;
}

TEST(LinuxDeviceMemoryTransfer, RestoreCutsTheFileInto238ByteBlocks) {
    struct Case {
        std::size_t size;
        std::vector<std::size_t> blocks;
        const char* named; // the size as the question names it
    };
    const Case cases[] = {
        {476, {238, 238}, "476 bytes"},
        {500, {238, 238, 24}, "500 bytes"},
        {238, {238}, "238 bytes"},
        {1, {1}, "1 byte"},
        {238 * 9 + 5, {238, 238, 238, 238, 238, 238, 238, 238, 238, 5}, "2,147 bytes"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.size);
        TempFolder dir;
        const auto file = dir.path() / "image.BIN";
        const auto bytes = pattern(c.size, 3);
        writeFile(file, bytes);
        Rig rig;
        ASSERT_TRUE(rig.connect(kA21));
        LinuxDeviceMemoryTransfer t(rig.context(), DeviceMemoryMode::Restore, kA21);
        // The PLC's whole image is replaced only once the user has seen the file's size.
        const std::string asked =
            std::string("The file is ") + c.named + "; the PLC's image will be replaced. Continue?";
        EXPECT_EQ(t.restore(file).outcome, Outcome::Declined);
        EXPECT_EQ(rig.shown(), std::vector<std::string>{asked});
        EXPECT_TRUE(rig.seen.empty());
        rig.prompter.clear();
        rig.prompter.answer(PromptAnswer::Yes);
        const auto report = t.restore(file);
        EXPECT_EQ(report.outcome, Outcome::Success);
        EXPECT_EQ(rig.shown(), (std::vector<std::string>{asked, "Download Success"}));

        // Kind, id, value 1 (total), value 2 (block number), size, data.
        std::vector<std::size_t> sizes;
        std::vector<std::uint8_t> sentBytes;
        std::uint16_t number = 0;
        for (const auto& d : rig.requests('D')) {
            ASSERT_GE(d.data.size(), 8u);
            EXPECT_EQ(d.data[0], 'X');
            EXPECT_EQ(d.data[1], 0);
            EXPECT_EQ(be16(d.data, 2), c.blocks.size()) << "the total goes in value 1";
            EXPECT_EQ(be16(d.data, 4), number++);
            EXPECT_EQ(be16(d.data, 6), d.data.size() - 8);
            sizes.push_back(d.data.size() - 8);
            sentBytes.insert(sentBytes.end(), d.data.begin() + 8, d.data.end());
        }
        EXPECT_EQ(sizes, c.blocks);
        EXPECT_EQ(sentBytes, bytes);
    }
}

TEST(LinuxDeviceMemoryTransfer, RestoreRefusesWhatItCannotSend) {
    TempFolder dir;
    const auto empty = dir.path() / "empty.BIN";
    writeFile(empty, {});
    Rig rig;
    ASSERT_TRUE(rig.connect(kA21));
    LinuxDeviceMemoryTransfer t(rig.context(), DeviceMemoryMode::Restore, kA21);
    EXPECT_EQ(t.restore(empty).outcome, Outcome::EmptyFile);
    EXPECT_EQ(rig.shown(), std::vector<std::string>{std::string(rig.messages(586))});
    EXPECT_TRUE(rig.seen.empty()) << "no block numbered 65535";

    rig.prompter.clear();
    EXPECT_EQ(t.restore(dir.path() / "missing.BIN").outcome, Outcome::NotOpened);
    EXPECT_EQ(rig.shown(), std::vector<std::string>{"Download Fail"});

    // A PLC that refuses the second block: the rest is not sent.
    const auto file = dir.path() / "image.BIN";
    writeFile(file, pattern(700, 1));
    rig.prompter.clear();
    // From the second request on, retries included.
    for (std::uint64_t n = 2; n <= 12; ++n) {
        rig.plc.faults().errorReplies.push_back({frame::kDownload, rig.plc.requestCount() + n, 9});
    }
    rig.prompter.answer(PromptAnswer::Yes);
    const auto report = t.restore(file);
    EXPECT_EQ(report.outcome, Outcome::SendFailed);
    EXPECT_EQ(report.requests, 2);
    EXPECT_EQ(rig.shown().back(), "Download Fail");
}

struct Backup {
    std::size_t imageSize;
    std::map<int, std::uint16_t> answerInstead;
    Outcome outcome;
    std::vector<std::uint16_t> asked;
    std::size_t savedBytes;  // in the file named, which held three bytes before
    std::size_t partialBytes; // kept apart in "backup (partial).BIN"
};

TEST(LinuxDeviceMemoryTransfer, BackupAsksForEachBlockInTurn) {
    const Messages en(Language::English);
    const Backup cases[] = {
        // Five blocks: block 0 with the send flag, then four passes.
        {1000, {}, Outcome::Success, {0, 1, 2, 3, 4}, 1000, 0},
        // A single block is a whole image.
        {150, {}, Outcome::Success, {0}, 150, 0},
        // The fourth answer carries block 2 instead of 3: the protocol refuses it and asks
        // for block 3 again, nothing of block 2 is written twice.
        {1000, {{4, 2}}, Outcome::Success, {0, 1, 2, 3, 3, 4}, 1000, 0},
        // A stale answer on the last pass.
        {1000, {{5, 1}}, Outcome::Success, {0, 1, 2, 3, 4, 4}, 1000, 0},
        // Stale answers to both attempts of the last pass: the image lacks its last block. The
        // old backup stays as it was; what arrived goes to a new file.
        {1000, {{5, 1}, {6, 1}}, Outcome::Incomplete, {0, 1, 2, 3, 4, 4}, 3, 800},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.imageSize);
        TempFolder dir;
        Rig rig;
        rig.plc.served = pattern(c.imageSize, 7);
        rig.plc.answerInstead = c.answerInstead;
        ASSERT_TRUE(rig.connect(kA21));
        const auto file = dir.path() / "backup.BIN";
        const std::vector<std::uint8_t> old{9, 9, 9};
        writeFile(file, old);
        const auto partial = dir.path() / "backup (partial).BIN";
        LinuxDeviceMemoryTransfer t(rig.context(), DeviceMemoryMode::Backup, kA21);
        const auto report = t.backup(file);
        EXPECT_EQ(report.outcome, c.outcome);
        EXPECT_EQ(rig.plc.asked, c.asked);
        EXPECT_EQ(rig.requests('U').size(), c.asked.size());
        const auto saved = readFile(file);
        EXPECT_EQ(saved.size(), c.savedBytes);
        if (c.partialBytes == 0) {
            EXPECT_TRUE(std::equal(saved.begin(), saved.end(), rig.plc.served.begin()));
            EXPECT_FALSE(fs::exists(partial));
            EXPECT_EQ(rig.shown(), std::vector<std::string>{"Upload Success"});
            continue;
        }
        EXPECT_EQ(saved, old);
        EXPECT_EQ(report.partialFile, partial);
        const auto kept = readFile(partial);
        EXPECT_EQ(kept.size(), c.partialBytes);
        EXPECT_TRUE(std::equal(kept.begin(), kept.end(), rig.plc.served.begin()));
        EXPECT_EQ(rig.shown(),
                  std::vector<std::string>{formatText(en(585), 1, 5) + "\n" +
                                           formatText(en(530), partial.string().c_str(),
                                                      file.string().c_str())});
        // A second incomplete backup never replaces the first one's blocks either.
        rig.prompter.clear();
        rig.plc.answerInstead = {{11, 1}, {12, 1}};
        EXPECT_EQ(t.backup(file).partialFile, dir.path() / "backup (partial 2).BIN");
        EXPECT_EQ(readFile(partial), kept);
        EXPECT_EQ(readFile(file), old);
    }
}

TEST(LinuxDeviceMemoryTransfer, BackupWithoutTheFirstBlockKeepsTheOldFile) {
    TempFolder dir;
    const auto file = dir.path() / "old.BIN";
    writeFile(file, {1, 2, 3});
    DevmemRig<> rig; // the plain simulator has no device image to hand out
    ASSERT_TRUE(rig.connect(kA21));
    LinuxDeviceMemoryTransfer t(rig.context(), DeviceMemoryMode::Backup, kA21);
    EXPECT_EQ(t.backup(file).outcome, Outcome::NoFirstBlock);
    EXPECT_EQ(readFile(file), (std::vector<std::uint8_t>{1, 2, 3}));
    // The protocol may repeat the refused request; nothing asks for another block.
    for (const auto& u : rig.requests('U')) {
        ASSERT_GE(u.data.size(), 4u);
        EXPECT_EQ(be16(u.data, 2), 0u);
    }
}

TEST(LinuxDeviceMemoryTransfer, ProgressStepsEveryEightBlocks) {
    struct Recorder final : TransferObserver {
        void update(const TransferProgress& p) override { percents.push_back(p.percent); }
        std::vector<int> percents;
    };
    TempFolder dir;
    Rig rig;
    rig.plc.served = pattern(200 * 20, 5); // 20 blocks: passes 0 to 18
    ASSERT_TRUE(rig.connect(kA21));
    LinuxDeviceMemoryTransfer t(rig.context(), DeviceMemoryMode::Backup, kA21);
    Recorder progress;
    ASSERT_EQ(t.backup(dir.path() / "p.BIN", &progress).outcome, Outcome::Success);
    // Opened (step, reset), passes 0, 8 and 16, then the end.
    EXPECT_EQ(progress.percents, (std::vector<int>{1, 0, 1, 2, 3, 100}));
}

// An older PLC (no station header) streams its whole image after the opening 'U'. A backup
// that stops part way leaves the rest of the stream on the line: the status read after it, a
// new backup and a new connection must each get their own answer, not go offline hunting
// through stale blocks.
TEST(LinuxDeviceMemoryTransfer, StoppedBackupWithoutTheHeaderLeavesNoStaleBlocks) {
    struct CancelAfter final : TransferObserver {
        explicit CancelAfter(int n) : left(n) {}
        bool cancelled() override { return left-- <= 0; }
        int left;
    };
    enum class Next { StatusRead, Backup, Reconnect };
    struct Case {
        const char* name;
        int passes; // passes read before the cancel
        Next next;
    };
    const Case cases[] = {
        {"cancelled at once, then a status read", 0, Next::StatusRead},
        {"cancelled after 5 blocks, then a status read", 5, Next::StatusRead},
        {"cancelled after 5 blocks, then a backup", 5, Next::Backup},
        // A serial line keeps what the PLC sends while the port is closed and opened again:
        // the protocol test of the next connection meets the rest of the stream.
        {"cancelled after 5 blocks, then a new connection's protocol test", 5, Next::Reconnect},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        sim::PlcConfig config;
        config.takesStationHeader = false;
        config.imageSize = 40 * sim::SimLinuxImage::kBlockData; // 40 blocks, about 8 KB
        DevmemRig<> rig(config);
        ASSERT_TRUE(rig.connect(kA21));
        ASSERT_FALSE(rig.protocol.stationHeaderFlag());
        TempFolder dir;
        LinuxDeviceMemoryTransfer t(rig.context(), DeviceMemoryMode::Backup, kA21);
        CancelAfter stop(c.passes);
        EXPECT_EQ(t.backup(dir.path() / "stopped.BIN", &stop).outcome, Outcome::Cancelled);
        rig.prompter.clear();
        switch (c.next) {
        case Next::StatusRead: {
            PlcStatus status;
            EXPECT_TRUE(rig.session.statusRead(status));
            EXPECT_EQ(status.identity(), config.identityWord);
            break;
        }
        case Next::Backup: {
            const auto file = dir.path() / "again.BIN";
            EXPECT_EQ(t.backup(file).outcome, Outcome::Success);
            EXPECT_EQ(readFile(file), rig.plc.image());
            break;
        }
        case Next::Reconnect:
            EXPECT_EQ(rig.protocol.protocolTest(), CProtocol::TestResult::Answered);
            EXPECT_FALSE(rig.protocol.stationHeaderFlag());
            break;
        }
        EXPECT_TRUE(rig.session.online());
        EXPECT_EQ(rig.shown(), c.next == Next::Backup ? std::vector<std::string>{"Upload Success"}
                                                      : std::vector<std::string>{});
    }
}

} // namespace
} // namespace dlu
