#include "sim/PlcSimulator.h"

#include "sim/EmbeddedSimulator.h"

#include "comm/CProtocol.h"
#include "comm/ErrorReport.h"
#include "comm/ProtocolRig.h"
#include "comm/TestFrames.h"
#include "common/StringTable.h"
#include "devmem/PdmImage.h"
#include "sim/PlcIdentity.h"
#include "support/ScriptedPrompter.h"

#include <gtest/gtest.h>

#include <array>
#include <map>
#include <numeric>
#include <string>
#include <vector>

namespace dlu {
namespace {

using test::loaderFrame;
using test::ProtocolRig;
using test::StationHeader;
using Bytes = std::vector<std::uint8_t>;

bool readOneWord(CProtocol& p, std::uint32_t address, std::uint16_t& word) {
    const std::array<CProtocol::ReadBlock, 1> blocks{{{address, 1}}};
    return p.readWords(blocks, std::span(&word, 1));
}

TEST(PlcSimulator, IdentitiesByLabelAndByCpuType) {
    struct Case {
        const char* text;
        std::optional<std::uint16_t> byLabel;
        std::optional<std::uint16_t> byType;
    };
    const Case cases[] = {
        {"A-21", 0x7A31, 0x7A31},           {"a-05", 0x5810, 0x5810},
        {"26", std::nullopt, 0x7A31},       {"C-04", 0x5A31, 0x5A31},
        {"C-12", 0x5031, std::nullopt}, // not in the type table
        {"C-01", std::nullopt, 0x7530}, // no PLC reports it; C-09 is used with it
        {"C-02", std::nullopt, 0x5530}, // C-08 is used with it
        {"C-14-EIP", 0x5043, std::nullopt},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(sim::PlcIdentities::wordOf(c.text), c.byLabel) << c.text;
        EXPECT_EQ(sim::PlcIdentities::wordOfCpuType(CpuTypeTable::parse(c.text)), c.byType)
            << c.text;
    }
    // Every identity of a model the type table knows puts its words at that model's addresses.
    for (const auto& identity : sim::PlcIdentities::all()) {
        const CpuType type = CpuTypeTable::parse(identity.label);
        if (type != kNoCpuType) {
            EXPECT_EQ(sim::PlcIdentities::cpuTypeOf(identity.word), type) << identity.label;
        }
    }
}

TEST(PlcSimulator, DownloadItemsAreReassembledInArrivalOrder) {
    ProtocolRig rig;
    ASSERT_EQ(rig.protocol.protocolTest(), CProtocol::TestResult::Answered);
    const Bytes a(238, 0xA1), b(238, 0xB2), c(17, 0xC3);
    EXPECT_TRUE(rig.protocol.downloadBlock('C', 4, 3, 0, a));
    EXPECT_TRUE(rig.protocol.downloadBlock('P', 0, 1, 0, Bytes{1, 2, 3}));
    EXPECT_TRUE(rig.protocol.downloadBlock('C', 4, 3, 1, b));
    EXPECT_TRUE(rig.protocol.downloadBlock('B', 9, 0, 0, Bytes(64, 0x0B)));
    EXPECT_TRUE(rig.protocol.downloadBlock('C', 4, 3, 2, c));

    const auto& items = rig.plc.downloadItems();
    ASSERT_EQ(items.size(), 3U);
    EXPECT_EQ(items[0].kind, 'P');
    EXPECT_EQ(items[1].kind, 'B');
    EXPECT_EQ(items[1].id, 9);
    EXPECT_EQ(items[1].bytes(), Bytes(64, 0x0B));
    EXPECT_EQ(items[2].kind, 'C');
    EXPECT_EQ(items[2].id, 4);
    EXPECT_EQ(items[2].blockCount, 3);
    ASSERT_EQ(items[2].blocks.size(), 3U);
    Bytes all = a;
    all.insert(all.end(), b.begin(), b.end());
    all.insert(all.end(), c.begin(), c.end());
    EXPECT_EQ(items[2].bytes(), all);
}

TEST(PlcSimulator, DownloadBlocksOutOfOrderAreAnsweredWithErrors) {
    const Bytes block{1, 2};
    struct Step {
        std::uint8_t kind;
        std::uint16_t count;
        std::uint16_t index;
        std::uint8_t error; // 0: accepted
    };
    struct Case {
        const char* name;
        sim::RunState state;
        std::vector<Step> steps;
        std::size_t items;
    };
    const std::vector<Case> cases = {
        {"skipped block", sim::RunState::Stop, {{'C', 3, 0, 0}, {'C', 3, 2, 9}, {'C', 3, 1, 9}}, 0},
        {"block count changes", sim::RunState::Stop, {{'C', 3, 0, 0}, {'C', 2, 1, 9}}, 0},
        {"never started", sim::RunState::Stop, {{'T', 2, 1, 9}}, 0},
        {"zero blocks", sim::RunState::Stop, {{'C', 0, 0, 9}}, 0},
        {"restart replaces",
         sim::RunState::Stop,
         {{'C', 2, 0, 0}, {'C', 2, 0, 0}, {'C', 2, 1, 0}},
         1},
        {"program download while running", sim::RunState::Run, {{'C', 1, 0, 3}}, 0},
        // Taken while running; it becomes the Linux device image, not a download item.
        {"device memory restore while running", sim::RunState::Run, {{'X', 1, 0, 0}}, 0},
    };
    for (const auto& c : cases) {
        sim::PlcConfig config;
        config.state = c.state;
        ProtocolRig rig(config);
        ASSERT_EQ(rig.protocol.protocolTest(), CProtocol::TestResult::Answered);
        for (const Step& s : c.steps) {
            const bool ok = rig.protocol.downloadBlock(s.kind, 1, s.count, s.index, block);
            EXPECT_EQ(ok, s.error == 0) << c.name;
            if (s.error != 0) {
                EXPECT_EQ(rig.protocol.lastErrorCode(), s.error) << c.name;
            }
        }
        EXPECT_EQ(rig.plc.downloadItems().size(), c.items) << c.name;
    }
}

TEST(PlcSimulator, AnswersOnlyItsOwnStation) {
    struct Case {
        std::uint8_t plcStation;
        std::uint8_t programStation;
        bool answered;
    };
    const Case cases[] = {{3, 3, true}, {3, 0xFF, true}, {3, 4, false}, {0xFF, 4, true}};
    for (const auto& c : cases) {
        sim::PlcConfig config;
        config.station = c.plcStation;
        ProtocolRig rig(config);
        rig.protocol.setStationNumber(c.programStation);
        const auto result = rig.protocol.protocolTest();
        EXPECT_EQ(result == CProtocol::TestResult::Answered, c.answered)
            << int{c.plcStation} << "/" << int{c.programStation};
        if (c.answered) {
            std::uint16_t word = 0;
            EXPECT_TRUE(readOneWord(rig.protocol, rig.plc.address("F0080"), word));
        }
    }
}

TEST(PlcSimulator, DamagedUnknownAndOversizedRequests) {
    sim::PlcSimulator plc;
    Bytes out;
    auto damaged = loaderFrame('R', std::nullopt, {0, 0, 0, 0x10, 2});
    damaged.back() ^= 0x40;
    plc.receive(damaged, out);
    EXPECT_EQ(out, loaderFrame('E', std::nullopt, {2}));

    out.clear();
    plc.receive(loaderFrame('Q', std::nullopt, {}), out);
    EXPECT_EQ(out, loaderFrame('E', std::nullopt, {1}));

    // 124 words fit a 256-byte answer without the header; 125 do not.
    out.clear();
    plc.receive(loaderFrame('R', std::nullopt, {0, 0, 0, 0, 248}), out);
    EXPECT_EQ(out.size(), 5U + 248U + 2U);
    out.clear();
    plc.receive(loaderFrame('R', std::nullopt, {0, 0, 0, 0, 250}), out);
    EXPECT_EQ(out, loaderFrame('E', std::nullopt, {4}));
}

// A PLC with a password and a Linux image, to see the extension points work.
class LockedPlc : public sim::PlcSimulator {
public:
    using PlcSimulator::PlcSimulator;
    Bytes lastPassword;
    Bytes lastUpload;

protected:
    void onPassword(const Request& request, Reply& reply) override {
        lastPassword.assign(request.data.begin(), request.data.end());
        reply.put8(request.data[0] == 0 ? 1 : 0);
        reply.put8(0x77);
    }
    // The block asked for, of a large image, with the data bytes 8 and 9.
    void onUpload(const Request& request, Reply& reply) override {
        lastUpload.assign(request.data.begin(), request.data.end());
        reply.put16(0);
        reply.put16(0xFFFF);
        reply.put8(request.data[2]);
        reply.put8(request.data[3]);
        reply.put16(2);
        reply.put8(8);
        reply.put8(9);
    }
};

class RecordingTrace final : public FrameTrace {
public:
    void frame(FrameDirection direction, std::chrono::system_clock::time_point,
               std::span<const std::uint8_t> bytes) override {
        frames.push_back({direction, Bytes(bytes.begin(), bytes.end())});
    }
    std::vector<std::pair<FrameDirection, Bytes>> frames;
};

TEST(PlcSimulator, PasswordBlockGoesOutWithHeaderButMaskedInTheTrace) {
    test::ProtocolRigT<LockedPlc> rig(test::olderPlc());
    RecordingTrace trace;
    rig.protocol.setTrace(&trace);
    ASSERT_EQ(rig.protocol.protocolTest(), CProtocol::TestResult::Answered);
    ASSERT_FALSE(rig.protocol.stationHeaderFlag());

    std::array<std::uint8_t, 34> block{};
    block[0] = 0;
    for (std::size_t i = 2; i < 18; ++i) {
        block[i] = static_cast<std::uint8_t>(0x40 + i);
    }
    std::uint8_t answer = 0xEE;
    ASSERT_TRUE(rig.protocol.password(block, answer));
    EXPECT_EQ(answer, 1);
    const Bytes sent = rig.wire.writes.back();
    EXPECT_EQ(sent, loaderFrame('w', StationHeader{0xFF, 2}, Bytes(block.begin(), block.end())));
    EXPECT_EQ(sent[4], 37);
    EXPECT_EQ(rig.plc.lastPassword, Bytes(block.begin(), block.end()));

    // The trace has every frame, the password block and its check code masked.
    ASSERT_GE(trace.frames.size(), 4U);
    const auto& [direction, traced] = trace.frames[trace.frames.size() - 2];
    EXPECT_EQ(direction, FrameDirection::Sent);
    ASSERT_EQ(traced.size(), sent.size());
    EXPECT_TRUE(std::equal(sent.begin(), sent.begin() + 8, traced.begin()));
    EXPECT_TRUE(
        std::all_of(traced.begin() + 8, traced.end(), [](std::uint8_t b) { return b == 0x2A; }));
    EXPECT_EQ(trace.frames.back().first, FrameDirection::Received);
}

TEST(PlcSimulator, UploadSendRuleAndPasswordToken) {
    std::array<std::uint8_t, 16> token{};
    for (std::size_t i = 0; i < token.size(); ++i) {
        token[i] = static_cast<std::uint8_t>(0xA0 + i);
    }
    std::array<std::uint8_t, 16> zeroHead = token;
    zeroHead[0] = zeroHead[1] = zeroHead[2] = zeroHead[3] = 0;
    std::array<std::uint8_t, 16> fourthOnly{};
    fourthOnly[3] = 0x01;

    struct Case {
        const char* name;
        std::array<std::uint8_t, 16> token;
        Bytes data;
    };
    Bytes withToken{'X', 0, 0x12, 0x34};
    withToken.insert(withToken.end(), token.begin(), token.end());
    Bytes withFourth{'X', 0, 0x12, 0x34};
    withFourth.insert(withFourth.end(), fourthOnly.begin(), fourthOnly.end());
    const std::vector<Case> cases = {
        {"no token", {}, {'X', 0, 0x12, 0x34}},
        {"token", token, withToken},
        {"token starting with four zeros", zeroHead, {'X', 0, 0x12, 0x34}},
        {"token with only its fourth byte set", fourthOnly, withFourth},
    };
    for (const auto& c : cases) {
        test::ProtocolRigT<LockedPlc> rig;
        RecordingTrace trace;
        rig.protocol.setTrace(&trace);
        ASSERT_EQ(rig.protocol.protocolTest(), CProtocol::TestResult::Answered);
        rig.protocol.setPasswordToken(c.token);
        std::array<std::uint8_t, 256> out{};
        std::size_t received = 0;
        ASSERT_TRUE(rig.protocol.upload('X', 0x1234, false, out, received)) << c.name;
        EXPECT_EQ(rig.wire.writes.back(), loaderFrame('U', StationHeader{0xFF, 2}, c.data))
            << c.name;
        EXPECT_EQ(received, 10U);
        EXPECT_EQ(out[9], 9);
        // The token never reaches the trace in clear.
        const Bytes& traced = trace.frames[trace.frames.size() - 2].second;
        EXPECT_EQ(std::search(traced.begin(), traced.end(), token.begin() + 4, token.end()),
                  traced.end())
            << c.name;
        rig.protocol.clearPasswordToken();
        EXPECT_TRUE(std::all_of(rig.protocol.passwordToken().begin(),
                                rig.protocol.passwordToken().end(),
                                [](std::uint8_t b) { return b == 0; }));
    }
}

TEST(PlcSimulator, UploadWithoutHeaderOrSendOnlyWaits) {
    // Block 0 of a one-block image with `data` data bytes of 9.
    const auto block = [](std::uint8_t data) {
        Bytes b{0, 0, 0, 1, 0, 0, 0, data};
        b.resize(b.size() + data, 9);
        return b;
    };
    test::ScriptedChannel wire;
    CProtocol protocol(wire);
    wire.queue(loaderFrame('U', std::nullopt, block(1)));
    std::array<std::uint8_t, 10> out{};
    std::size_t received = 0;
    ASSERT_TRUE(protocol.upload('X', 0, false, out, received));
    EXPECT_TRUE(wire.writes.empty());
    EXPECT_EQ(received, 9U);
    EXPECT_EQ(out[8], 9);

    // With the send flag the first request goes out, without header and value.
    wire.queue(loaderFrame('U', std::nullopt, block(0)));
    ASSERT_TRUE(protocol.upload('X', 0x5555, true, out, received));
    ASSERT_EQ(wire.writes.size(), 1U);
    EXPECT_EQ(wire.writes[0], loaderFrame('U', std::nullopt, {'X', 0}));

    // An answer larger than the caller's buffer is refused, not cut.
    wire.queue(loaderFrame('U', std::nullopt, block(3)));
    EXPECT_FALSE(protocol.upload('X', 0, false, out, received));
    EXPECT_EQ(received, 0U);
}

// Fault switches, each seen from the program's side.
TEST(PlcSimulatorFaults, ErrorRepliesByCommandAndByRequestNumber) {
    sim::FaultConfig faults;
    faults.errorReplies.push_back({std::nullopt, 3, 15}); // request 3: 't' is 1
    faults.errorReplies.push_back({std::uint8_t{0x83}, 0, 12});
    ProtocolRig rig({}, faults);
    ASSERT_EQ(rig.protocol.protocolTest(), CProtocol::TestResult::Answered);
    std::uint16_t word = 0;
    const auto f0080 = rig.plc.address("F0080");
    EXPECT_TRUE(readOneWord(rig.protocol, f0080, word));
    EXPECT_FALSE(readOneWord(rig.protocol, f0080, word));
    EXPECT_EQ(rig.protocol.lastErrorCode(), 15);
    EXPECT_TRUE(readOneWord(rig.protocol, f0080, word));
    EXPECT_FALSE(rig.protocol.beginDownload());
    EXPECT_EQ(rig.protocol.lastErrorCode(), 12);
}

TEST(PlcSimulatorFaults, DroppedResponseTimesOutAfterTheChannelTimeOut) {
    sim::FaultConfig faults;
    faults.dropRequests = {2};
    for (const std::uint32_t attempts : {1U, 2U}) {
        ProtocolRig rig({}, faults);
        rig.channel.setTimeout(std::chrono::milliseconds(2000));
        rig.protocol.setAttemptCount(attempts);
        ASSERT_EQ(rig.protocol.protocolTest(), CProtocol::TestResult::Answered);
        std::uint16_t word = 0;
        const bool ok = readOneWord(rig.protocol, rig.plc.address("F0080"), word);
        EXPECT_EQ(ok, attempts == 2);
        // The time-out, then the guard (the time-out again) before anything else goes out.
        EXPECT_EQ(rig.clock.sleeps(),
                  (std::vector<Clock::Duration>{std::chrono::milliseconds(2000),
                                                std::chrono::milliseconds(2000)}));
        if (!ok) {
            EXPECT_EQ(rig.protocol.lastErrorCode(), kChannelTimeout);
        }
    }
}

TEST(PlcSimulatorFaults, RandomCorruptionFollowsTheSeed) {
    auto pattern = [](std::uint32_t seed) {
        sim::FaultConfig faults;
        faults.corruptRate = 0.5;
        faults.seed = seed;
        ProtocolRig rig({}, faults);
        rig.protocol.protocolTest();
        std::vector<bool> results;
        std::uint16_t word = 0;
        for (int i = 0; i < 40; ++i) {
            results.push_back(readOneWord(rig.protocol, rig.plc.address("F0080"), word));
            if (!results.back()) {
                EXPECT_EQ(rig.protocol.lastErrorCode(), kErrorCheckCode);
            }
        }
        return results;
    };
    const auto first = pattern(7);
    EXPECT_EQ(first, pattern(7));
    EXPECT_NE(first, pattern(8));
    const auto good = std::count(first.begin(), first.end(), true);
    EXPECT_GT(good, 5);
    EXPECT_LT(good, 35);
}

TEST(PlcSimulatorFaults, ClosedConnectionIsALostLink) {
    sim::FaultConfig faults;
    faults.closeAfterFrames = 2;
    ProtocolRig rig({}, faults);
    rig.protocol.setAttemptCount(2);
    ASSERT_EQ(rig.protocol.protocolTest(), CProtocol::TestResult::Answered);
    std::uint16_t word = 0;
    EXPECT_TRUE(readOneWord(rig.protocol, rig.plc.address("F0080"), word));
    EXPECT_FALSE(readOneWord(rig.protocol, rig.plc.address("F0080"), word));
    EXPECT_EQ(rig.protocol.lastErrorCode(), kChannelLinkLost);

    test::ScriptedPrompter prompter;
    const Messages english(Language::English);
    EXPECT_FALSE(ErrorReport(prompter, english).report(rig.protocol.lastErrorCode(), 4));
    EXPECT_EQ(prompter.texts(), std::vector<std::string>{"Simulator Error"});

    // A new connection answers again.
    rig.channel.reopen();
    EXPECT_TRUE(readOneWord(rig.protocol, rig.plc.address("F0080"), word));
}

TEST(PlcSimulatorFaults, BaudRatePacesEveryByte) {
    sim::FaultConfig faults;
    faults.baud = 9600;
    ProtocolRig rig({}, faults);
    EXPECT_EQ(rig.plc.byteDelay(), std::chrono::nanoseconds(1'041'666));
    ASSERT_EQ(rig.protocol.protocolTest(), CProtocol::TestResult::Answered);
    std::uint16_t word = 0;
    ASSERT_TRUE(readOneWord(rig.protocol, rig.plc.address("F0080"), word));
    rig.clock.clearSleeps();
    ASSERT_TRUE(readOneWord(rig.protocol, rig.plc.address("F0080"), word));
    // Request 15 bytes, answer 12: 27 bytes of 1.0417 ms each.
    const auto total = rig.clock.totalSlept();
    EXPECT_GE(total, std::chrono::milliseconds(27));
    EXPECT_LE(total, std::chrono::milliseconds(29));
}

// A USB-serial adapter in the line hands the bytes to the program batch by batch: when its
// timer has run since a batch's first byte, or when 62 bytes have gathered. At 10,000 baud a
// byte takes exactly 1 ms, so the fake clock shows the model's times to the millisecond: 100
// echoed bytes through a 16 ms timer come in batches of 17, through a 100 ms timer the first
// 62 come with the 62nd and the other 38 wait for the timer.
TEST(PlcSimulatorFaults, AdapterLatencyHandsOverBatchesOnTheClock) {
    struct Case {
        std::uint32_t latencyMs;
        std::vector<std::pair<std::size_t, long>> batches; // last byte, ms after the write
    };
    const std::vector<Case> cases{
        {16, {{16, 17}, {33, 34}, {50, 51}, {67, 68}, {84, 85}, {99, 102}}},
        {100, {{61, 62}, {99, 163}}},
        {0, {}}, // no adapter: byte by byte at the line's pace
    };
    for (const auto& c : cases) {
        sim::FaultConfig faults;
        faults.baud = 10000;
        faults.echo = true;
        faults.adapterLatencyMs = c.latencyMs;
        ProtocolRig rig({}, faults);
        Bytes sent(100);
        std::iota(sent.begin(), sent.end(), std::uint8_t{1});
        ASSERT_TRUE(rig.channel.write(sent));
        const auto t0 = rig.clock.now();
        std::size_t batch = 0;
        for (std::size_t i = 0; i < sent.size(); ++i) {
            const ChannelRead in = rig.channel.read();
            ASSERT_EQ(in.status, kChannelOk) << c.latencyMs << " ms, byte " << i;
            EXPECT_EQ(in.byte, sent[i]);
            const auto at =
                std::chrono::duration_cast<std::chrono::milliseconds>(rig.clock.now() - t0);
            if (c.batches.empty()) {
                EXPECT_EQ(at.count(), static_cast<long>(i + 1)) << "byte " << i;
                continue;
            }
            if (i > c.batches[batch].first) {
                ++batch;
            }
            EXPECT_EQ(at.count(), c.batches[batch].second) << c.latencyMs << " ms, byte " << i;
        }
    }
}

// The embedded connection's query takes plcsim's options by their names, with the same checks.
TEST(EmbeddedSimulator, QueryOptionsMakeThePlc) {
    struct Case {
        std::map<std::string, std::string> query;
        std::string error; // empty: made
        std::uint16_t word = 0x7A31;
        CpuType cpuType = 26;
        std::uint16_t firmware = 400;
        std::uint16_t modeWord = 0x82; // bit 7 remote key; bits 0-2 run, stop, pause
    };
    const std::vector<Case> cases{
        {{}, ""},
        {{{"identity", "A-05"}}, "", 0x5810, 5},
        {{{"identity", "0x5810"}, {"key", ""}}, "", 0x5810, 5},
        {{{"key", "local"}, {"mode", "run"}}, "", 0x7A31, 26, 400, 0x01},
        {{{"mode", "pause"}, {"firmware", "345"}}, "", 0x7A31, 26, 345, 0x84},
        {{{"key", "local"}, {"mode", "pause"}}, "", 0x7A31, 26, 400, 0x04},
        {{{"identity", "Z-99"}}, "unknown PLC for the embedded simulator: Z-99"},
        {{{"key", "up"}}, "key=local or key=remote"},
        {{{"mode", "halt"}}, "mode=run, mode=stop or mode=pause"},
        {{{"seed", "7x"}}, "bad number for seed: 7x"},
        {{{"image", "-1"}}, "bad number for image: -1 (0 to 13107000)"},
        {{{"image", "99999999999"}}, "bad number for image: 99999999999 (0 to 13107000)"},
        {{{"image", "13107001"}}, "bad number for image: 13107001 (0 to 13107000)"},
        {{{"nosuch", "1"}}, "unknown option for the embedded simulator: nosuch"},
        {{{"station", "256"}}, "bad number for station: 256 (0 to 255)"},
        {{{"password", "fifteen-letters"}}, "a password has at most 14 characters"},
        {{{"error-at", "0:9"}}, "--error-at wants N:CODE, got 0:9"},
        {{{"turnaround", "60001"}}, "bad number for turnaround: 60001"},
        {{{"adapter-latency", "256"}}, "bad number for adapter-latency: 256"},
    };
    for (const auto& c : cases) {
        std::string error;
        const auto plc = sim::makeEmbeddedSimulator(c.query, "A-21", error);
        EXPECT_EQ(error, c.error) << (c.query.empty() ? "" : c.query.begin()->first);
        if (!c.error.empty()) {
            EXPECT_EQ(plc, nullptr);
            continue;
        }
        ASSERT_NE(plc, nullptr);
        EXPECT_EQ(plc->wordAt(plc->address("F0080")), c.word);
        EXPECT_EQ(plc->config().cpuType, c.cpuType);
        EXPECT_EQ(plc->wordAt(plc->address("F1270")), c.firmware);
        EXPECT_EQ(plc->wordAt(plc->address("F0000")), c.modeWord);
    }

    // Memory, image and faults from the same names plcsim takes.
    std::string error;
    const auto plc = sim::makeEmbeddedSimulator({{"seed", "7"},
                                                 {"image", "450"},
                                                 {"drop", "2"},
                                                 {"older-plc", "1"},
                                                 {"station", "3"},
                                                 {"baud", "38400"},
                                                 {"turnaround", "2"},
                                                 {"adapter-latency", "16"}},
                                                "A-21", error);
    ASSERT_NE(plc, nullptr) << error;
    sim::PlcSimulator seeded;
    seeded.fillDeviceMemory(7);
    EXPECT_EQ(plc->deviceMemory().word(13, 5), seeded.deviceMemory().word(13, 5));
    EXPECT_EQ(plc->image(), sim::PlcSimulator::imagePattern(450, 7));
    EXPECT_EQ(plc->faults().dropRequests, (std::set<std::uint64_t>{2}));
    EXPECT_FALSE(plc->config().takesStationHeader);
    EXPECT_EQ(plc->config().station, 3);
    EXPECT_EQ(plc->line().baud(), 38400U);
    EXPECT_EQ(plc->line().turnaround(), std::chrono::milliseconds(2));
    EXPECT_EQ(plc->line().adapterLatency(), std::chrono::milliseconds(16));
}

// The emulated line's times, against wire times worked out by hand (10 bits a byte).
TEST(LineEmulation, SchedulesBothDirectionsFromAbsoluteTimes) {
    using std::chrono::microseconds;
    using std::chrono::nanoseconds;
    struct Case {
        std::uint32_t baud;
        std::uint64_t bytes;
        nanoseconds wire;
    };
    const std::vector<Case> cases{
        {9600, 1, nanoseconds(1'041'666)},      // 10 / 9600 s
        {9600, 27, nanoseconds(28'125'000)},    // 270 / 9600 s, exact: no per-byte rounding
        {38400, 3, nanoseconds(781'250)},       // 30 / 38400 s
        {115200, 512, nanoseconds(44'444'444)}, // 5120 / 115200 s
        {115200, 1'340'000, nanoseconds(116'319'444'444)}, // a 1 MB project's wire bytes
        {0, 512, nanoseconds(0)},
    };
    for (const auto& c : cases) {
        const sim::LineEmulation line(c.baud, microseconds(0));
        EXPECT_EQ(line.wireTime(c.bytes), c.wire) << c.baud << " baud, " << c.bytes;
        // A byte has arrived exactly at its time and not a nanosecond before.
        const sim::LineEmulation::TimePoint start{std::chrono::seconds(100)};
        for (std::uint64_t i = 0; c.baud != 0 && i < 2000; i += 7) {
            const auto at = line.arrival(start, i);
            EXPECT_EQ(line.arrivedBy(start, at), i + 1) << c.baud << " byte " << i;
            EXPECT_EQ(line.arrivedBy(start, at - nanoseconds(1)), i) << c.baud << " byte " << i;
        }
    }

    // Through an adapter: when byte `index` of a block of `count` reaches the program, in ns
    // after the block started, worked out by hand from the arrivals (byte i is in after
    // (i + 1) x 10 / baud s).
    struct Held {
        std::uint32_t baud;
        unsigned latencyMs;
        std::uint64_t count, index;
        nanoseconds at;
    };
    const std::vector<Held> held{
        {115200, 0, 14, 13, nanoseconds(1'215'277)},   // no adapter: its arrival
        {115200, 16, 14, 0, nanoseconds(16'086'805)},  // first byte in at 86,805 ns, + 16 ms
        {115200, 16, 14, 13, nanoseconds(16'086'805)}, // the whole short answer with it
        {115200, 1, 14, 11, nanoseconds(1'086'805)},   // 12 bytes come within 1 ms
        {115200, 1, 14, 12, nanoseconds(2'128'472)},   // the 13th opens the next batch
        {115200, 16, 200, 61, nanoseconds(5'381'944)}, // 62 bytes gathered before the timer
        {115200, 16, 200, 62, nanoseconds(10'763'888)},
        {115200, 16, 200, 185, nanoseconds(16'145'833)},
        {115200, 16, 200, 186, nanoseconds(32'232'638)}, // the last 14 wait for the timer
        {0, 16, 62, 61, nanoseconds(0)},                 // no baud: a full batch at once
        {0, 16, 70, 62, nanoseconds(16'000'000)},
    };
    for (const auto& h : held) {
        sim::LineEmulation line(h.baud, microseconds(0));
        line.setAdapterLatency(std::chrono::milliseconds(h.latencyMs));
        const sim::LineEmulation::TimePoint start{std::chrono::seconds(100)};
        const auto at = line.delivery(start, h.index, h.count);
        EXPECT_EQ(at - start, h.at)
            << h.baud << " baud, " << h.latencyMs << " ms, byte " << h.index << " of " << h.count;
        EXPECT_GE(line.deliveredBy(start, h.count, at), h.index + 1);
        EXPECT_LE(line.deliveredBy(start, h.count, at - nanoseconds(1)), h.index);
    }

    // 15 request bytes at 9600 baud, a 2 ms turnaround, 12 answer bytes.
    sim::LineEmulation line(9600, std::chrono::milliseconds(2));
    const sim::LineEmulation::TimePoint t0{std::chrono::seconds(5)};
    const auto in = line.request(t0, 15);
    EXPECT_EQ(in - t0, nanoseconds(15'625'000));
    const auto answerStart = line.answer(in, 12);
    EXPECT_EQ(answerStart - in, std::chrono::milliseconds(2));
    // A request handed over while the line toward the PLC is still busy waits for it.
    EXPECT_EQ(line.request(t0, 15) - t0, nanoseconds(31'250'000));
    // An answer ready before the previous one is through leaves after it.
    EXPECT_EQ(line.answer(t0, 1), answerStart + nanoseconds(12'500'000));
    line.reset();
    EXPECT_EQ(line.request(t0, 15) - t0, nanoseconds(15'625'000));
}

} // namespace
} // namespace dlu
