// Many downloads and backups against the simulator on a line that goes wrong at random: damaged
// check codes, 'E' 15 (busy) answers, requests and answers lost, answers late, twice or cut
// short, with and without the station header. Each run ends exact (the PLC holds what was sent,
// or the words read are the PLC's), with a clean error, or with silent corruption; the last
// must never happen.
#include "comm/FaultyLine.h"

#include "comm/CCOMInterface.h"
#include "comm/COnlineModule.h"
#include "comm/CommSet.h"
#include "common/StringTable.h"
#include "devmem/DeviceMemoryTransfer.h"
#include "devmem/LinuxDeviceMemoryTransfer.h"
#include "plc/DeviceArea.h"
#include "support/ScriptedPrompter.h"

#include "../package/PackageTestUtil.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <optional>
#include <random>

namespace dlu {
namespace {

using test::FaultyLine;
using test::FaultyRig;
using Bytes = std::vector<std::uint8_t>;

struct Counts {
    int exact = 0;
    int cleanError = 0;
    int silent = 0;
};

sim::FaultConfig randomFaults(std::mt19937& random, std::uint64_t requests) {
    sim::FaultConfig f;
    f.seed = static_cast<std::uint32_t>(random());
    f.corruptRate = 0.03;
    std::uniform_int_distribution<std::uint64_t> pick(2, requests + 1);
    for (int i = 0; i < 2; ++i) {
        f.dropRequests.insert(pick(random));
        f.loseAnswers.insert(pick(random));
        f.errorReplies.push_back({std::nullopt, pick(random), 15});
    }
    return f;
}

void spoilAtRandom(std::mt19937& random, FaultyLine& line, std::size_t writes) {
    using S = FaultyLine::Spoil;
    constexpr S kinds[] = {S::Late,      S::Late22,    S::Late3,    S::Late4,
                           S::LateQuiet, S::Duplicate, S::Truncate, S::Lose};
    std::uniform_int_distribution<std::size_t> at(2, writes + 1);
    std::uniform_int_distribution<std::size_t> kind(0, std::size(kinds) - 1);
    for (int i = 0; i < 3; ++i) {
        line.spoil[at(random)] = kinds[kind(random)];
    }
}

sim::PlcConfig plcFor(bool header) {
    sim::PlcConfig c;
    c.takesStationHeader = header;
    return c;
}

// One download: 0x83, then an item of five blocks and three single-block PBT entries.
void download(std::mt19937& random, bool header, Counts& counts) {
    FaultyRig rig(plcFor(header), randomFaults(random, 10));
    spoilAtRandom(random, rig.line, 10);
    if (rig.protocol.protocolTest() != CProtocol::TestResult::Answered) {
        ++counts.cleanError;
        return;
    }
    std::vector<Bytes> sent;
    bool ok = rig.protocol.beginDownload();
    Bytes item;
    for (std::uint16_t block = 0; ok && block < 5; ++block) {
        Bytes data(120);
        for (auto& b : data) {
            b = static_cast<std::uint8_t>(random());
        }
        item.insert(item.end(), data.begin(), data.end());
        ok = rig.protocol.downloadBlock('C', 3, 5, block, data);
    }
    sent.push_back(item);
    for (std::uint8_t id = 0; ok && id < 3; ++id) {
        Bytes data(20, static_cast<std::uint8_t>(random()));
        ok = rig.protocol.downloadBlock('B', id, 0, 0, data);
        sent.push_back(data);
    }
    if (!ok) {
        ++counts.cleanError;
        return;
    }
    const auto& items = rig.plc.downloadItems();
    bool same = items.size() == sent.size();
    for (std::size_t i = 0; same && i < items.size(); ++i) {
        same = items[i].bytes() == sent[i];
    }
    ++(same ? counts.exact : counts.silent);
}

// One backup: twenty reads of eight words each. Without `late` the line goes wrong at random;
// with it exactly one answer, at a random position, comes that late.
void backup(std::mt19937& random, bool header, Counts& counts,
            std::optional<FaultyLine::Spoil> late = std::nullopt) {
    FaultyRig rig(plcFor(header), late ? sim::FaultConfig{} : randomFaults(random, 21));
    rig.plc.fillDeviceMemory(static_cast<std::uint32_t>(random()));
    if (late) {
        rig.line.spoil[std::uniform_int_distribution<std::size_t>(2, 21)(random)] = *late;
    } else {
        spoilAtRandom(random, rig.line, 21);
    }
    if (rig.protocol.protocolTest() != CProtocol::TestResult::Answered) {
        ++counts.cleanError;
        return;
    }
    const std::uint32_t base = rig.plc.deviceWordAddress(0, 0);
    bool same = true;
    for (std::uint32_t n = 0; n < 20; ++n) {
        const std::uint32_t address = base + n * 16;
        const std::array<CProtocol::ReadBlock, 1> block{{{address, 8}}};
        std::array<std::uint16_t, 8> words{};
        if (!rig.protocol.readWords(block, words)) {
            ++counts.cleanError;
            return;
        }
        for (std::uint32_t w = 0; w < 8; ++w) {
            same = same && words[w] == rig.plc.wordAt(address + 2 * w);
        }
    }
    ++(same ? counts.exact : counts.silent);
}

// The faulty line as the channel object of a connection, so that a whole session (connect,
// then a transfer) runs over it.
class LineChannel final : public DeviceChannel {
public:
    explicit LineChannel(FaultyLine& line) : line_(line) {}
    bool open(const OpenParams&) override { return true; }
    void setTimeout(std::chrono::milliseconds t) override { line_.setTimeout(t); }
    std::chrono::milliseconds timeout() const override { return line_.timeout(); }
    bool write(std::span<const std::uint8_t> b) override { return line_.write(b); }
    ChannelRead read() override { return line_.read(); }
    ChannelRead readWithin(std::chrono::milliseconds limit) override {
        return line_.readWithin(limit);
    }
    std::size_t readSome(std::span<std::uint8_t> out, std::chrono::milliseconds limit,
                         std::uint8_t& status) override {
        return line_.readSome(out, limit, status);
    }
    void close() override {}

private:
    FaultyLine& line_;
};

struct LineFactory final : ChannelFactory {
    explicit LineFactory(FaultyLine& l) : line(l) {}
    std::unique_ptr<DeviceChannel> create(std::uint8_t) override {
        return std::make_unique<LineChannel>(line);
    }
    std::uint32_t resolveHostName(std::string_view) override { return 0x7F000001; }
    FaultyLine& line;
};

// A connected session over the faulty line, as the programs wire theirs.
struct SessionRig {
    explicit SessionRig(sim::PlcConfig config)
        : plc(config), channel(plc, &clock), line(channel, clock), factory(line),
          com(factory, prompter), protocol(com) {
        protocol.setClock(&clock);
        settings.setDefaults();
        settings.nConType = kConSimulator;
        settings.nSIMULATORretry = 3;
        settings.nTxDelay = 0;
    }
    bool connect(CpuType type) {
        session.setProjectCpuType(type);
        return session.connect();
    }

    sim::PlcSimulator plc;
    test::FakeClock clock;
    sim::SimulatorChannel channel;
    FaultyLine line;
    LineFactory factory;
    test::ScriptedPrompter prompter;
    Messages messages{Language::English};
    CCOMInterface com;
    CProtocol protocol;
    CommSet settings;
    COnlineModule session{OnlineContext{settings, com, protocol, prompter, messages, clock}};
};

constexpr CpuType kA21 = 26;

// One device memory backup of D 0 to 400 (four reads) after a connect; one answer of the
// backup comes `late`.
void deviceBackup(std::mt19937& random, bool header, Counts& counts, FaultyLine::Spoil late) {
    SessionRig rig(plcFor(header));
    rig.plc.fillDeviceMemory(static_cast<std::uint32_t>(random()));
    if (!rig.connect(kA21)) {
        ++counts.cleanError;
        return;
    }
    rig.line.spoil[rig.line.writes + std::uniform_int_distribution<std::size_t>(1, 4)(random)] =
        late;
    test::TempDir dir;
    const int d = static_cast<int>(AreaIndex::D);
    DeviceMemoryTransfer t({rig.session, rig.prompter, rig.messages, rig.clock},
                           DeviceMemoryMode::Backup, kA21);
    t.selection().setAll(false);
    t.selection().setChecked(d, true);
    t.selection().setRange(d, {0, 400});
    t.setFile(dir.file("soak.PDM"));
    if (t.transfer() != DeviceMemoryTransfer::Result::Done) {
        ++counts.cleanError;
        return;
    }
    bool same = true;
    for (std::uint32_t w = 0; w < 400; ++w) {
        const std::uint32_t address = rig.plc.address(DeviceAreas::transferAddress(d, w));
        same = same && t.image().word(d, w) == rig.plc.wordAt(address);
    }
    ++(same ? counts.exact : counts.silent);
}

// One Linux image backup of 12 blocks after a connect; one answer of the backup comes `late`.
// Without the station header the PLC streams the blocks after the opening request.
void linuxBackup(std::mt19937& random, bool header, Counts& counts, FaultyLine::Spoil late) {
    sim::PlcConfig config = plcFor(header);
    config.imageSize = 12 * sim::SimLinuxImage::kBlockData - 50;
    config.imageSeed = static_cast<std::uint32_t>(random());
    SessionRig rig(config);
    if (!rig.connect(kA21)) {
        ++counts.cleanError;
        return;
    }
    // Without the header only the opening request is written: its answer is the one to spoil.
    const std::size_t at = header ? std::uniform_int_distribution<std::size_t>(1, 12)(random) : 1;
    rig.line.spoil[rig.line.writes + at] = late;
    test::TempDir dir;
    const std::string file = dir.file("soak.BIN");
    LinuxDeviceMemoryTransfer t({rig.session, rig.prompter, rig.messages, rig.clock},
                                DeviceMemoryMode::Backup, kA21);
    const auto report = t.backup(file);
    if (report.outcome != LinuxDeviceMemoryTransfer::Outcome::Success) {
        ++counts.cleanError;
        return;
    }
    std::ifstream in(file, std::ios::binary);
    const Bytes saved{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    // And the line is in step afterwards: a read gets its own words.
    PlcStatus status;
    const bool readOk = rig.session.statusRead(status);
    const bool same =
        saved == rig.plc.image() && (!readOk || status.identity() == rig.plc.config().identityWord);
    ++(same ? counts.exact : counts.silent);
}

TEST(LinkSoak, NoSilentCorruption) {
    std::mt19937 random(20261206);
    Counts downloads;
    Counts backups;
    for (int i = 0; i < 1000; ++i) {
        download(random, i % 2 == 0, downloads);
    }
    for (int i = 0; i < 200; ++i) {
        backup(random, i % 2 == 0, backups);
    }
    std::printf("downloads: %d exact, %d clean error, %d silent corruption\n", downloads.exact,
                downloads.cleanError, downloads.silent);
    std::printf("backups:   %d exact, %d clean error, %d silent corruption\n", backups.exact,
                backups.cleanError, backups.silent);
    EXPECT_EQ(downloads.silent, 0);
    EXPECT_EQ(backups.silent, 0);
}

// One late answer, later than the guard after a time-out included: each row has one delay
// and one operation (twenty reads, a device memory backup after a connect, a Linux image
// backup after a connect), with and without the station header.
TEST(LinkSoak, LateAnswersNeverShiftTheWords) {
    using S = FaultyLine::Spoil;
    struct Row {
        const char* delay;
        S spoil;
    };
    const Row rows[] = {{"1.5", S::Late}, {"2.2", S::Late22}, {"3.0", S::Late3}, {"4.0", S::Late4}};
    using Operate = void (*)(std::mt19937&, bool, Counts&, S);
    struct Operation {
        const char* name;
        Operate run;
        int runs;
    };
    const Operation operations[] = {
        {"read", [](std::mt19937& r, bool h, Counts& c, S s) { backup(r, h, c, s); }, 100},
        {"backup", deviceBackup, 50},
        {"linux backup", linuxBackup, 50},
    };
    std::mt19937 random(20261207);
    std::printf("operation    | late answer (time-outs) | header | exact | clean error | "
                "silent corruption\n");
    for (const Operation& op : operations) {
        for (const Row& row : rows) {
            for (const bool header : {false, true}) {
                Counts counts;
                for (int i = 0; i < op.runs; ++i) {
                    op.run(random, header, counts, row.spoil);
                }
                std::printf("%-12s | %23s | %6s | %5d | %11d | %d\n", op.name, row.delay,
                            header ? "yes" : "no", counts.exact, counts.cleanError, counts.silent);
                EXPECT_EQ(counts.silent, 0)
                    << op.name << " " << row.delay << (header ? " header" : " no header");
            }
        }
    }
}

} // namespace
} // namespace dlu
