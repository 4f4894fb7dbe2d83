// The protocol on a bad line: answers that come late, twice, cut short, of the wrong size, or
// not at all, between the protocol and the in-process simulator. Whatever the line does, a
// transaction ends with the PLC's exact data or with an error, never with other bytes.
#include "comm/CProtocol.h"

#include "comm/FaultyLine.h"
#include "comm/ProtocolRig.h"
#include "comm/TestFrames.h"
#include "sim/SimLinuxImage.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <deque>
#include <functional>
#include <map>
#include <vector>

namespace dlu {
namespace {

using namespace std::chrono_literals;
using test::FaultyLine;
using test::FaultyRig;
using test::loaderFrame;
using test::ScriptedChannel;
using Bytes = std::vector<std::uint8_t>;

using Spoil = FaultyLine::Spoil;

struct LineCase {
    const char* name;
    std::vector<Spoil> spoils; // the answers to these writes in a row
    bool header;
};

const LineCase kLineCases[] = {
    {"late, no header", {Spoil::Late}, false},
    {"late, header", {Spoil::Late}, true},
    // Later than the guard: the retry has gone out when the answer comes.
    {"2.2 time-outs late, no header", {Spoil::Late22}, false},
    {"2.2 time-outs late, header", {Spoil::Late22}, true},
    {"3 time-outs late, no header", {Spoil::Late3}, false},
    {"3 time-outs late, header", {Spoil::Late3}, true},
    {"4 time-outs late, no header", {Spoil::Late4}, false},
    {"4 time-outs late, header", {Spoil::Late4}, true},
    {"2.2 then 1.5 time-outs late, no header", {Spoil::Late22, Spoil::Late}, false},
    {"late in the quiet wait, no header", {Spoil::LateQuiet}, false},
    {"late in the quiet wait, header", {Spoil::LateQuiet}, true},
    // The retry's answer is late too: it must not be taken for the next request's.
    {"late twice, no header", {Spoil::Late, Spoil::LateQuiet}, false},
    {"late twice, header", {Spoil::Late, Spoil::LateQuiet}, true},
    {"twice, no header", {Spoil::Duplicate}, false},
    {"twice, header", {Spoil::Duplicate}, true},
    {"cut short, no header", {Spoil::Truncate}, false},
    {"cut short, header", {Spoil::Truncate}, true},
    {"lost, no header", {Spoil::Lose}, false},
    {"lost, header", {Spoil::Lose}, true},
};

void spoilFrom(FaultyLine& line, std::size_t first, const LineCase& c) {
    for (std::size_t i = 0; i < c.spoils.size(); ++i) {
        line.spoil[first + i] = c.spoils[i];
    }
}

sim::PlcConfig plcFor(bool header) { return header ? sim::PlcConfig{} : test::olderPlc(); }

// Twenty reads of different words, one of them spoiled: every read either gives exactly the
// PLC's words or fails; with three attempts all of them succeed. Reads take a byte at a time
// or all that has come (then a second answer comes with the first).
TEST(LinkFaults, ReadsAreExactWhateverHappensToOneAnswer) {
    for (const LineCase& c : kLineCases) {
        for (const auto& [spoiled, bulk] : {std::pair{2U, false}, {5U, false}, {2U, true}}) {
            FaultyRig rig(plcFor(c.header));
            rig.line.bulk = bulk;
            SCOPED_TRACE(bulk ? "all that has come" : "byte by byte");
            rig.plc.fillDeviceMemory(7);
            ASSERT_EQ(rig.protocol.protocolTest(), CProtocol::TestResult::Answered) << c.name;
            ASSERT_EQ(rig.protocol.stationHeaderFlag(), c.header) << c.name;
            spoilFrom(rig.line, spoiled, c);
            const std::uint32_t base = rig.plc.deviceWordAddress(0, 0);
            for (std::uint32_t n = 0; n < 20; ++n) {
                const std::uint32_t address = base + n * 16;
                const std::array<CProtocol::ReadBlock, 1> block{{{address, 4}}};
                std::array<std::uint16_t, 4> words{};
                ASSERT_TRUE(rig.protocol.readWords(block, words)) << c.name << " read " << n;
                for (std::uint32_t w = 0; w < 4; ++w) {
                    EXPECT_EQ(words[w], rig.plc.wordAt(address + 2 * w))
                        << c.name << " read " << n << " word " << w;
                }
            }
        }
    }
}

// A download item of four blocks with the answer to one block spoiled: the PLC ends with the
// item exactly once, with its bytes in order; a lost acknowledgement is recovered by the retry.
TEST(LinkFaults, DownloadBlocksArriveOnceWhateverHappensToOneAck) {
    for (const LineCase& c : kLineCases) {
        for (const auto& [spoiled, bulk] :
             {std::pair{2U, false}, {3U, false}, {5U, false}, {3U, true}}) {
            FaultyRig rig(plcFor(c.header));
            rig.line.bulk = bulk;
            SCOPED_TRACE(bulk ? "all that has come" : "byte by byte");
            ASSERT_EQ(rig.protocol.protocolTest(), CProtocol::TestResult::Answered) << c.name;
            spoilFrom(rig.line, spoiled, c);
            Bytes all;
            for (std::uint16_t block = 0; block < 4; ++block) {
                Bytes data(100);
                for (std::size_t i = 0; i < data.size(); ++i) {
                    data[i] = static_cast<std::uint8_t>(block * 31 + i);
                }
                all.insert(all.end(), data.begin(), data.end());
                ASSERT_TRUE(rig.protocol.downloadBlock('C', 9, 4, block, data))
                    << c.name << " block " << block;
            }
            ASSERT_EQ(rig.plc.downloadItems().size(), 1U) << c.name;
            EXPECT_EQ(rig.plc.downloadItems()[0].bytes(), all) << c.name;
        }
    }
}

// A Linux image of ten blocks read with 'U' as the backup reads it, one answer spoiled: the
// blocks taken are the PLC's, in order (a block lost without the header cannot be asked for
// again, so the image may end short), and the read after it gets its own words: whatever the
// PLC still streams, or streams again for a repeated opening request, is gone by then.
TEST(LinkFaults, ImageBlocksAreExactAndTheLineIsInStepAfterThem) {
    for (const LineCase& c : kLineCases) {
        // Write 2 is the opening request; without the header write 3 is the read after the
        // stream, with it the request for block 1.
        for (const std::size_t spoiled : {2U, 3U, 5U}) {
            sim::PlcConfig config = plcFor(c.header);
            config.imageSize = 10 * sim::SimLinuxImage::kBlockData;
            FaultyRig rig(config);
            rig.plc.fillDeviceMemory(5);
            ASSERT_EQ(rig.protocol.protocolTest(), CProtocol::TestResult::Answered) << c.name;
            spoilFrom(rig.line, spoiled, c);
            std::array<std::uint8_t, 256> block{};
            std::size_t got = 0;
            Bytes image;
            std::uint16_t expected = 0;
            if (rig.protocol.upload('X', 0, true, block, got)) {
                const std::uint16_t total = static_cast<std::uint16_t>((block[2] << 8) | block[3]);
                image.assign(block.begin() + 8, block.begin() + static_cast<long>(got));
                expected = 1;
                for (int pass = 0; pass + 2 <= total; ++pass) {
                    if (!rig.protocol.upload('X', expected, false, block, got)) {
                        continue;
                    }
                    if (((block[4] << 8) | block[5]) == expected) {
                        image.insert(image.end(), block.begin() + 8,
                                     block.begin() + static_cast<long>(got));
                        ++expected;
                    }
                }
            }
            const Bytes& plc = rig.plc.image();
            ASSERT_LE(image.size(), plc.size()) << c.name;
            EXPECT_TRUE(std::equal(image.begin(), image.end(), plc.begin()))
                << c.name << " write " << spoiled;
            if (c.header || spoiled != 2) {
                EXPECT_EQ(image.size(), plc.size()) << c.name << " write " << spoiled;
            }
            const std::uint32_t address = rig.plc.deviceWordAddress(0, 0);
            const std::array<CProtocol::ReadBlock, 1> read{{{address, 4}}};
            std::array<std::uint16_t, 4> words{};
            ASSERT_TRUE(rig.protocol.readWords(read, words)) << c.name << " write " << spoiled;
            EXPECT_EQ(words[3], rig.plc.wordAt(address + 6)) << c.name << " write " << spoiled;
        }
    }
}

// An acknowledgement or an answer that does not fit its request is a frame error, tried again
// and then failed.
TEST(LinkFaults, AnswersOfTheWrongSizeFail) {
    struct Case {
        const char* name;
        std::uint8_t command;
        std::size_t dataLength; // of zero bytes, unless `answer` is given
        std::function<bool(CProtocol&)> call;
        Bytes answer = {};
        Bytes opening = {}; // a good answer to an opening 'U' before the call
        std::size_t writes = 2;
    };
    const Bytes block(20, 0x11);
    const std::array<CProtocol::ReadBlock, 1> read{{{0x10, 2}}};
    std::array<std::uint16_t, 2> words{};
    std::array<std::uint8_t, 256> image{};
    std::size_t got = 0;
    const auto upload = [&](std::uint16_t number, bool send) {
        return [&, number, send](CProtocol& p) { return p.upload('X', number, send, image, got); };
    };
    // Unused, block count, block number, data length; then `data` data bytes.
    const auto imageBlock = [](std::uint16_t total, std::uint16_t number, std::uint16_t length,
                               std::size_t data) {
        Bytes b{0,
                0,
                static_cast<std::uint8_t>(total >> 8),
                static_cast<std::uint8_t>(total),
                static_cast<std::uint8_t>(number >> 8),
                static_cast<std::uint8_t>(number),
                static_cast<std::uint8_t>(length >> 8),
                static_cast<std::uint8_t>(length)};
        b.resize(b.size() + data, 0x5A);
        return b;
    };
    const Case cases[] = {
        {"'D' ack with 2 bytes", 'D', 2,
         [&](CProtocol& p) { return p.downloadBlock('C', 1, 1, 0, block); }},
        {"'D' ack with 246 bytes", 'D', 246,
         [&](CProtocol& p) { return p.downloadBlock('P', 0, 1, 0, block); }},
        {"'W' ack with 1 byte", 'W', 1,
         [&](CProtocol& p) { return p.writeWords(0x10, std::array<std::uint16_t, 1>{7}); }},
        {"'M' answer with 2 bytes", 'M', 2,
         [](CProtocol& p) { return p.changeCpuMode(CProtocol::kModeRemoteRun) != 0; }},
        {"0x83 answer with 1 byte", 0x83, 1, [](CProtocol& p) { return p.beginDownload(); }},
        {"'R' of 2 words with 6 bytes", 'R', 6,
         [&](CProtocol& p) { return p.readWords(read, words); }},
        {"'R' of 2 words with 2 bytes", 'R', 2,
         [&](CProtocol& p) { return p.readWords(read, words); }},
        {"'U' shorter than a block header", 'U', 7, upload(0, true)},
        {"'U' data length beyond the answer", 'U', 0, upload(0, true), imageBlock(2, 0, 11, 10)},
        {"'U' data length short of the answer", 'U', 0, upload(0, true), imageBlock(2, 0, 9, 10)},
        {"'U' opening answered with block 1", 'U', 0, upload(0, true), imageBlock(3, 1, 10, 10)},
        {"'U' block number not below the count", 'U', 0, upload(3, false), imageBlock(3, 3, 10, 10),
         imageBlock(3, 0, 10, 10), 1},
        {"'U' stream going back", 'U', 0, upload(2, false), imageBlock(3, 1, 10, 10),
         imageBlock(3, 0, 10, 10), 1},
        {"'U' block count changed", 'U', 0, upload(1, false), imageBlock(4, 1, 10, 10),
         imageBlock(3, 0, 10, 10), 1},
    };
    for (const Case& c : cases) {
        ScriptedChannel wire;
        CProtocol protocol(wire);
        protocol.setAttemptCount(2);
        if (!c.opening.empty()) {
            wire.queue(loaderFrame(c.command, std::nullopt, c.opening));
            ASSERT_TRUE(upload(0, true)(protocol)) << c.name;
        }
        const Bytes answer = c.answer.empty() ? Bytes(c.dataLength, 0x00) : c.answer;
        for (int i = 0; i < 2; ++i) {
            wire.queue(loaderFrame(c.command, std::nullopt, answer));
        }
        EXPECT_FALSE(c.call(protocol)) << c.name;
        EXPECT_EQ(protocol.lastErrorCode(), kErrorFrameDoesNotFit) << c.name;
        EXPECT_EQ(wire.writes.size(), c.writes) << c.name;
    }
}

// What was already waiting before a request belongs to an earlier one and is thrown away.
TEST(LinkFaults, BytesWaitingBeforeARequestAreNotItsAnswer) {
    ScriptedChannel wire;
    CProtocol protocol(wire);
    const Bytes stale = loaderFrame('R', std::nullopt, {0xDE, 0xAD});
    wire.waiting.assign(stale.begin(), stale.end());
    wire.queue(loaderFrame('R', std::nullopt, {0x12, 0x34}));
    const std::array<CProtocol::ReadBlock, 1> block{{{0x10, 1}}};
    std::array<std::uint16_t, 1> word{};
    ASSERT_TRUE(protocol.readWords(block, word));
    EXPECT_EQ(word[0], 0x1234);
}

// A line that brings one byte every 500 ms never completes a frame; with a time-out of 1 s per
// byte it could hold a request for minutes. The whole answer has a deadline instead.
TEST(LinkFaults, ATricklingLineEndsWithinTheTimeOutOfEachAttempt) {
    class Trickle final : public Channel {
    public:
        explicit Trickle(Clock& clock) : clock_(clock) {}
        void setTimeout(std::chrono::milliseconds t) override { timeout_ = t; }
        std::chrono::milliseconds timeout() const override { return timeout_; }
        bool write(std::span<const std::uint8_t>) override { return true; }
        ChannelRead read() override { return readWithin(timeout_); }
        ChannelRead readWithin(std::chrono::milliseconds limit) override {
            const auto wait = std::min(limit, timeout_);
            if (wait < kGap) {
                clock_.sleep(wait);
                return {0, kChannelTimeout};
            }
            clock_.sleep(kGap);
            return {0x05, kChannelOk}; // a head byte, again and again
        }
        void close() override {}

    private:
        std::chrono::milliseconds kGap{500};
        Clock& clock_;
        std::chrono::milliseconds timeout_{1000};
    };
    for (const std::uint32_t attempts : {1U, 3U}) {
        test::FakeClock clock;
        Trickle line(clock);
        CProtocol protocol(line, nullptr);
        protocol.setClock(&clock);
        protocol.setAttemptCount(attempts);
        const auto start = clock.now();
        EXPECT_FALSE(protocol.beginDownload());
        EXPECT_EQ(protocol.lastErrorCode(), kChannelTimeout);
        EXPECT_LE(clock.now() - start, static_cast<int>(attempts) * 2000ms) << attempts;
    }
}

// A write on a link that is gone is the connection's error, not a port that cannot be opened.
TEST(LinkFaults, AWriteOnALostLinkReportsTheLink) {
    struct Case {
        std::uint8_t readStatus;
        std::uint8_t expected;
    };
    for (const Case c :
         {Case{kChannelLinkLost, kChannelLinkLost}, Case{kChannelNotOpen, kChannelWriteFailed},
          Case{kChannelPortMissing, kChannelWriteFailed}}) {
        class Gone final : public Channel {
        public:
            explicit Gone(std::uint8_t status) : status_(status) {}
            void setTimeout(std::chrono::milliseconds) override {}
            bool write(std::span<const std::uint8_t>) override { return false; }
            ChannelRead read() override { return {0, status_}; }
            void close() override {}

        private:
            std::uint8_t status_;
        } line(c.readStatus);
        CProtocol protocol(line);
        EXPECT_FALSE(protocol.beginDownload());
        EXPECT_EQ(protocol.lastErrorCode(), c.expected) << int{c.readStatus};
        EXPECT_EQ(protocol.protocolTest(), CProtocol::TestResult::NoAnswer);
        EXPECT_EQ(protocol.lastErrorCode(), c.expected) << int{c.readStatus};
    }
}

} // namespace
} // namespace dlu
