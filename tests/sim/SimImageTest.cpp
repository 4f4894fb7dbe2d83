// The simulator's Linux device image through the protocol ('U' and 'D' kind 'X'), and its
// device memory presets seen through a session.

#include "comm/ProtocolRig.h"
#include "comm/UploadBlock.h"
#include "devmem/LinuxImage.h"
#include "devmem/PdmImage.h"
#include "plc/DeviceArea.h"
#include "sim/EmbeddedChannelFactory.h"
#include "sim/PlcSimulator.h"
#include "sim/SimSessionRig.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace dlu {
namespace {

using Bytes = std::vector<std::uint8_t>;
using sim::PlcSimulator;
using test::ProtocolRig;

sim::PlcConfig withImage(std::size_t size, bool stationHeader = true) {
    sim::PlcConfig config;
    config.imageSize = size;
    config.imageSeed = 7;
    config.takesStationHeader = stationHeader;
    return config;
}

// Reads the whole image the way a backup does: block 0 with the send flag, then one upload
// per further block.
Bytes uploadAll(CProtocol& protocol, std::size_t* blocksSeen = nullptr) {
    std::array<std::uint8_t, 256> buffer{};
    std::size_t received = 0;
    if (!protocol.upload('X', 0, true, buffer, received)) {
        return {};
    }
    auto block = UploadBlock::parse(std::span(buffer).first(received));
    if (!block) {
        return {};
    }
    Bytes image(block->data.begin(), block->data.end());
    const std::uint16_t total = block->total;
    for (std::uint16_t n = 1; n < total; ++n) {
        if (!protocol.upload('X', n, false, buffer, received)) {
            return {};
        }
        block = UploadBlock::parse(std::span(buffer).first(received));
        if (!block || block->number != n || block->total != total) {
            return {};
        }
        image.insert(image.end(), block->data.begin(), block->data.end());
    }
    if (blocksSeen != nullptr) {
        *blocksSeen = total;
    }
    return image;
}

TEST(SimImage, ServedInNumberedBlocksWithAndWithoutTheStationHeader) {
    struct Case {
        std::size_t size;
        bool header;
        std::size_t blocks;
    };
    for (const Case c : {Case{1000, true, 5}, Case{1001, true, 6}, Case{199, true, 1},
                         Case{1001, false, 6}, Case{4321, false, 22}}) {
        ProtocolRig rig(withImage(c.size, c.header));
        ASSERT_EQ(rig.protocol.protocolTest(), CProtocol::TestResult::Answered);
        ASSERT_EQ(rig.protocol.stationHeaderFlag(), c.header);
        std::size_t blocks = 0;
        const Bytes image = uploadAll(rig.protocol, &blocks);
        EXPECT_EQ(blocks, c.blocks) << c.size;
        ASSERT_EQ(image.size(), c.size) << c.size << (c.header ? " with header" : " bare");
        EXPECT_EQ(image, rig.plc.image());
        EXPECT_EQ(image, PlcSimulator::imagePattern(c.size, 7));
        // Without the header only the first request was written.
        const auto uploads =
            std::count_if(rig.wire.writes.begin(), rig.wire.writes.end(),
                          [](const Bytes& frame) { return frame.size() > 2 && frame[2] == 'U'; });
        EXPECT_EQ(static_cast<std::size_t>(uploads), c.header ? c.blocks : 1u);
    }
    EXPECT_NE(PlcSimulator::imagePattern(64, 1), PlcSimulator::imagePattern(64, 2));
}

TEST(SimImage, RestoreRebuildsTheImage) {
    ProtocolRig rig(withImage(500));
    ASSERT_EQ(rig.protocol.protocolTest(), CProtocol::TestResult::Answered);
    Bytes restored(500);
    for (std::size_t i = 0; i < restored.size(); ++i) {
        restored[i] = static_cast<std::uint8_t>(i * 7 + 3);
    }
    const auto plan = LinuxImage::restorePlan(restored.size()).value();
    ASSERT_EQ(plan.blocks, 3);
    for (std::uint16_t i = 0; i < plan.blocks; ++i) {
        const std::size_t from = i * LinuxImage::kRestoreBlock;
        const std::size_t size = i + 1 == plan.blocks ? plan.lastSize : LinuxImage::kRestoreBlock;
        ASSERT_TRUE(rig.protocol.downloadBlock('X', 0, plan.blocks, i,
                                               std::span(restored).subspan(from, size)));
        EXPECT_EQ(rig.plc.imageRestoreCount(), i + 1u == plan.blocks ? 1u : 0u);
    }
    EXPECT_EQ(rig.plc.image(), restored);
    EXPECT_TRUE(rig.plc.downloadItems().empty()) << "an image is no download item";
    // And it is what a backup now reads.
    EXPECT_EQ(uploadAll(rig.protocol), restored);
}

using SessionRig = test::SimSessionRig;

TEST(SimImage, LockedPlcHandsTheImageOutOnlyAfterALogin) {
    auto config = withImage(600);
    config.password = "secret";
    SessionRig rig(config);
    ASSERT_TRUE(rig.com.openConnection(rig.settings));
    ASSERT_EQ(rig.protocol.protocolTest(), CProtocol::TestResult::Answered);
    std::array<std::uint8_t, 256> buffer{};
    std::size_t received = 0;
    EXPECT_FALSE(rig.protocol.upload('X', 0, true, buffer, received)) << "no token";
    EXPECT_EQ(rig.protocol.lastErrorCode(), PlcSimulator::kErrInvalidValue);

    rig.prompter.answerPassword("secret");
    ASSERT_TRUE(rig.session.connect());
    ASSERT_TRUE(rig.session.linuxUpload(2, buffer, received, true));
    const auto block = UploadBlock::parse(std::span(buffer).first(received)).value();
    EXPECT_EQ(block.total, 3);
    EXPECT_EQ(block.number, 2);
    EXPECT_TRUE(std::equal(block.data.begin(), block.data.end(), rig.plc.image().begin() + 400));
}

// Leads each new channel to whichever simulator is plugged in now, as a cable moved from one
// PLC to the next does.
class MovedCable final : public ChannelFactory {
public:
    std::unique_ptr<DeviceChannel> create(std::uint8_t type) override { return to->create(type); }
    std::uint32_t resolveHostName(std::string_view name) override {
        return to->resolveHostName(name);
    }
    ChannelFactory* to = nullptr;
};

// The login to one PLC is that PLC's: after the cable moves to an unlocked PLC and the session
// connects again, no request to the second PLC carries the first one's password token.
TEST(SimImage, TheTokenOfAnEarlierLoginGoesToNoOtherPlc) {
    auto lockedConfig = withImage(600);
    lockedConfig.password = "secret";
    PlcSimulator locked(lockedConfig);
    PlcSimulator open(withImage(600));
    sim::EmbeddedChannelFactory toLocked(locked);
    sim::EmbeddedChannelFactory toOpen(open);
    MovedCable cable;
    cable.to = &toLocked;
    test::ScriptedPrompter prompter;
    const Messages messages(Language::English);
    test::FakeClock clock;
    Connection connection(test::freshSimulatorSpec(), cable, prompter, messages, clock);
    COnlineModule& session = connection.session();
    session.setProjectCpuType(lockedConfig.cpuType);

    std::array<std::uint8_t, 256> buffer{};
    std::size_t received = 0;
    prompter.answerPassword("secret");
    ASSERT_TRUE(session.connect());
    ASSERT_TRUE(session.linuxUpload(0, buffer, received, true));
    const auto token = connection.protocol().passwordToken();
    const Bytes secret(token.begin() + 4, token.end());
    ASSERT_TRUE(std::any_of(secret.begin(), secret.end(), [](auto b) { return b != 0; }));
    session.disconnect();

    cable.to = &toOpen;
    std::vector<Bytes> requests;
    open.setFrameLog([&](bool sent, std::span<const std::uint8_t> frame) {
        if (!sent) {
            requests.emplace_back(frame.begin(), frame.end());
        }
    });
    ASSERT_TRUE(session.connect());
    ASSERT_TRUE(session.linuxUpload(0, buffer, received, true));
    ASSERT_FALSE(requests.empty());
    for (const Bytes& r : requests) {
        EXPECT_EQ(std::search(r.begin(), r.end(), secret.begin(), secret.end()), r.end())
            << "a request to the second PLC carries the first one's token";
    }
}

TEST(SimMemory, SeededPatternIsWhatTheSessionReads) {
    for (const char* label : {"A-21", "A-05", "A-13", "A-01", "C-04"}) {
        auto config = sim::presetConfig(label).value();
        SessionRig rig(config);
        rig.plc.fillDeviceMemory(11);
        ASSERT_TRUE(rig.session.connect()) << label << ": the PLC's own words survive the fill";
        const PdmImage memory = rig.plc.deviceMemory();
        PdmImage empty;
        empty.setFlag(1);
        ASSERT_NE(memory, empty) << label;
        // A word of every area, through the names the backup sends.
        for (const auto& area : DeviceAreas::all()) {
            const int index = static_cast<int>(area.index);
            const std::uint32_t words = CpuTypeTable::capacity(config.cpuType, area.deviceId);
            for (const std::uint32_t w : {0u, words / 2, words - 1}) {
                const std::vector<std::string> names{DeviceAreas::transferAddress(index, w)};
                const std::vector<std::uint8_t> counts{1};
                ASSERT_TRUE(rig.session.readWordsByNames(names, counts)) << label << names[0];
                std::array<std::uint16_t, 1> word{};
                ASSERT_TRUE(rig.session.takeReadWords(word));
                EXPECT_EQ(word[0], memory.word(index, w)) << label << " " << names[0];
            }
        }
    }
    sim::PlcSimulator a(sim::presetConfig("A-21").value());
    sim::PlcSimulator b(sim::presetConfig("A-21").value());
    a.fillDeviceMemory(1);
    b.fillDeviceMemory(2);
    EXPECT_NE(a.deviceMemory(), b.deviceMemory());
    b.fillDeviceMemory(1);
    EXPECT_EQ(a.deviceMemory(), b.deviceMemory());
}

TEST(SimMemory, DeviceMemoryImageLoadsIntoTheAreas) {
    PdmImage file;
    file.setFlag(1);
    for (int area = 0; area < DeviceAreas::kCount; ++area) {
        for (std::uint32_t w = 0; w < PdmImage::wordCount(area); w += 97) {
            file.setWord(area, w,
                         static_cast<std::uint16_t>(static_cast<std::uint32_t>(area) * 1000u + w));
        }
    }
    sim::PlcSimulator plc(sim::presetConfig("A-22").value());
    plc.loadDeviceMemory(file);
    const PdmImage memory = plc.deviceMemory();
    const CpuType type = plc.config().cpuType;
    for (const auto& area : DeviceAreas::all()) {
        const int index = static_cast<int>(area.index);
        const std::uint32_t words = std::min<std::uint32_t>(
            CpuTypeTable::capacity(type, area.deviceId), PdmImage::wordCount(index));
        for (std::uint32_t w = 0; w < words; w += 97) {
            if (area.index == AreaIndex::F && w == 0) {
                continue; // the mode word stays the PLC's
            }
            if (area.index == AreaIndex::S) {
                continue; // byte-addressed over the simulator link: neighbouring words overlap
            }
            EXPECT_EQ(memory.word(index, w), file.word(index, w)) << area.letter << w;
        }
    }
    EXPECT_EQ(plc.wordAt(plc.address("F0080")), plc.config().identityWord);
}

} // namespace
} // namespace dlu
