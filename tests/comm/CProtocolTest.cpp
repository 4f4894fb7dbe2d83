#include "comm/CProtocol.h"

#include "comm/ErrorReport.h"
#include "comm/ProtocolRig.h"
#include "comm/TestFrames.h"
#include "common/StringTable.h"
#include "support/ScriptedPrompter.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <functional>
#include <string>
#include <vector>

namespace dlu {
namespace {

using test::concat;
using test::loaderFrame;
using test::ProtocolRig;
using test::ScriptedChannel;
using test::StationHeader;
using Bytes = std::vector<std::uint8_t>;

const Bytes kTestText{'T', 'E', 'S', 'T'};

TEST(CProtocol, ReadRequestWithHeaderForTwoBlocks) {
    ProtocolRig rig;
    rig.plc.setWord(16, 0x1234);
    rig.plc.setWord(18, 0x5678);
    rig.plc.setWord(32, 0x9ABC);
    ASSERT_EQ(rig.protocol.protocolTest(), CProtocol::TestResult::Answered);
    ASSERT_TRUE(rig.protocol.stationHeaderFlag());

    const std::array<CProtocol::ReadBlock, 2> blocks{{{16, 2}, {32, 1}}};
    std::array<std::uint16_t, 3> words{};
    ASSERT_TRUE(rig.protocol.readWords(blocks, words));

    const Bytes request = rig.wire.writes.back();
    EXPECT_EQ(request[3], 0x00);
    EXPECT_EQ(request[4], 13); // header 3 + two blocks of 5
    EXPECT_EQ(request, loaderFrame('R', StationHeader{0xFF, 2},
                                   {0x00, 0x00, 0x00, 0x10, 0x04, 0x00, 0x00, 0x00, 0x20, 0x02}));
    EXPECT_EQ((std::array<std::uint16_t, 3>{0x1234, 0x5678, 0x9ABC}), words);

    // The answer on the wire, byte for byte, after the (partly unread) answer to 't'.
    const Bytes answer =
        loaderFrame('R', StationHeader{0xFF, 2}, {0x12, 0x34, 0x56, 0x78, 0x9A, 0xBC});
    const Bytes tail(rig.wire.bytesRead.end() - static_cast<std::ptrdiff_t>(answer.size()),
                     rig.wire.bytesRead.end());
    EXPECT_EQ(tail, answer);
    EXPECT_EQ(rig.protocol.responseLength(), 6);
}

TEST(CProtocol, ProtocolTestOutcomes) {
    struct Case {
        const char* name;
        sim::PlcConfig plc;
        sim::FaultConfig faults;
        CProtocol::TestResult result;
        bool flag;
        std::uint8_t lastError;
    };
    sim::FaultConfig echo;
    echo.echo = true;
    sim::FaultConfig drop;
    drop.dropRequests = {1};
    sim::FaultConfig tooMuchNoise; // a corrupted answer still counts: the test reads no check code
    tooMuchNoise.corruptResponses = {1};

    const std::vector<Case> cases = {
        {"PLC with station header", {}, {}, CProtocol::TestResult::Answered, true, 0},
        {"older PLC answers E", test::olderPlc(), {}, CProtocol::TestResult::Answered, false, 0},
        {"cable echoes the request", {}, echo, CProtocol::TestResult::WrongLength, false, 0},
        {"no answer", {}, drop, CProtocol::TestResult::NoAnswer, false, kChannelTimeout},
        {"answer with a bad check code",
         {},
         tooMuchNoise,
         CProtocol::TestResult::Answered,
         true,
         0},
    };
    for (const auto& c : cases) {
        ProtocolRig rig(c.plc, c.faults);
        rig.protocol.setStationNumber(0x11);
        rig.protocol.setAttemptCount(3);
        EXPECT_EQ(rig.protocol.protocolTest(), c.result) << c.name;
        EXPECT_EQ(rig.protocol.stationHeaderFlag(), c.flag) << c.name;
        EXPECT_EQ(rig.protocol.lastErrorCode(), c.lastError) << c.name;
        // Sent once whatever the attempt count, always with the header.
        ASSERT_EQ(rig.wire.writes.size(), 1U) << c.name;
        EXPECT_EQ(rig.wire.writes[0], loaderFrame('t', StationHeader{0x11, 1}, kTestText))
            << c.name;
    }
}

TEST(CProtocol, AfterAnOlderPlcRequestsGoWithoutHeader) {
    ProtocolRig rig(test::olderPlc());
    rig.plc.setWord(0x100, 0xBEEF);
    ASSERT_EQ(rig.protocol.protocolTest(), CProtocol::TestResult::Answered);
    ASSERT_FALSE(rig.protocol.stationHeaderFlag());
    const std::array<CProtocol::ReadBlock, 1> blocks{{{0x100, 1}}};
    std::array<std::uint16_t, 1> word{};
    ASSERT_TRUE(rig.protocol.readWords(blocks, word));
    EXPECT_EQ(word[0], 0xBEEF);
    EXPECT_EQ(rig.wire.writes.back(), loaderFrame('R', std::nullopt, {0, 0, 1, 0, 2}));
    EXPECT_EQ(rig.protocol.sequenceNumber(), 1); // only 't' counted
}

TEST(CProtocol, BadCheckCodeIsRetriedWhileAttemptsRemain) {
    for (const std::uint32_t attempts : {1U, 2U}) {
        sim::FaultConfig faults;
        faults.corruptResponses = {2}; // the first answer to 'R'
        ProtocolRig rig({}, faults);
        rig.protocol.setAttemptCount(attempts);
        ASSERT_EQ(rig.protocol.protocolTest(), CProtocol::TestResult::Answered);
        const std::array<CProtocol::ReadBlock, 1> blocks{{{rig.plc.address("F0080"), 1}}};
        std::array<std::uint16_t, 1> word{};
        const bool ok = rig.protocol.readWords(blocks, word);
        EXPECT_EQ(ok, attempts == 2);
        ASSERT_EQ(rig.wire.writes.size(), 1 + attempts);
        if (ok) {
            EXPECT_EQ(word[0], 0x7A31);
            EXPECT_EQ(rig.wire.writes[1], rig.wire.writes[2]); // the same frame, same sequence
        } else {
            EXPECT_EQ(rig.protocol.lastErrorCode(), kErrorCheckCode);
        }
    }
}

TEST(CProtocol, ErrorFrameAfterTheLastAttemptLeavesThePlcCode) {
    sim::FaultConfig faults;
    faults.errorReplies.push_back({std::uint8_t{'R'}, 0, 0x0B});
    ProtocolRig rig({}, faults);
    rig.protocol.setAttemptCount(3);
    ASSERT_EQ(rig.protocol.protocolTest(), CProtocol::TestResult::Answered);
    const std::array<CProtocol::ReadBlock, 1> blocks{{{0x10, 1}}};
    std::array<std::uint16_t, 1> word{};
    EXPECT_FALSE(rig.protocol.readWords(blocks, word));
    EXPECT_EQ(rig.wire.writes.size(), 4U);
    EXPECT_EQ(rig.protocol.lastErrorCode(), 11);

    test::ScriptedPrompter prompter;
    const Messages english(Language::English);
    EXPECT_TRUE(ErrorReport(prompter, english).report(rig.protocol.lastErrorCode(), 4));
    EXPECT_EQ(prompter.texts(), (std::vector<std::string>{"Error code was received from CPU.",
                                                          "ERR(11) : Rx. timeout"}));
}

TEST(CProtocol, StationOrSequenceOfAnotherRequestFailsAtOnce) {
    struct Case {
        const char* name;
        StationHeader answered;
        std::uint8_t error;
    };
    const Case cases[] = {
        {"other station", {0x06, 2}, kErrorStationMismatch},
        {"other sequence", {0x05, 9}, kErrorSequenceMismatch},
    };
    for (const auto& c : cases) {
        for (const std::uint32_t attempts : {1U, 2U}) {
            ScriptedChannel wire;
            CProtocol protocol(wire);
            protocol.setStationNumber(0x05);
            protocol.setAttemptCount(attempts);
            wire.queue(loaderFrame('t', StationHeader{0x05, 1}, {0, 0}));
            ASSERT_EQ(protocol.protocolTest(), CProtocol::TestResult::Answered);
            wire.incoming.clear();

            const Bytes wrong = loaderFrame('R', c.answered, {0x12, 0x34});
            wire.queue(wrong);
            wire.queue(loaderFrame('R', StationHeader{0x05, 2}, {0x43, 0x21}));
            const std::array<CProtocol::ReadBlock, 1> blocks{{{0x10, 1}}};
            std::array<std::uint16_t, 1> word{};
            const bool ok = protocol.readWords(blocks, word);
            if (attempts == 1) {
                EXPECT_FALSE(ok) << c.name;
                EXPECT_EQ(protocol.lastErrorCode(), c.error) << c.name;
                // It stopped in the header: the rest of that frame is still unread.
                const std::size_t stopAt = c.error == kErrorStationMismatch ? 6 : 7;
                EXPECT_EQ(wire.incoming.size(), 2 * wrong.size() - stopAt) << c.name;
            } else {
                // The retry skips what is left of the wrong frame and takes the right one.
                EXPECT_TRUE(ok) << c.name;
                EXPECT_EQ(word[0], 0x4321) << c.name;
            }
        }
    }
}

// The words of a password answer never reach the trace in clear, wherever the frame's head
// falls in the receive: the places of the secret count from the head, and what came before it
// (noise, stale bytes that may be an earlier answer's secret) is masked too.
TEST(CProtocol, SecretAnswerWordsAreMaskedByTheirPlaceInTheFrame) {
    class Recording final : public FrameTrace {
    public:
        void frame(FrameDirection direction, std::chrono::system_clock::time_point,
                   std::span<const std::uint8_t> bytes) override {
            if (direction == FrameDirection::Received) {
                received.emplace_back(bytes.begin(), bytes.end());
            }
        }
        std::vector<Bytes> received;
    };
    const Bytes secret{0xA1, 0xA2, 0xA3, 0xA4};
    const Bytes answer = loaderFrame('R', std::nullopt, concat(secret, {0x11, 0x22}));
    const struct Case {
        const char* what;
        Bytes before;
    } cases[] = {
        {"nothing before the head", {}},
        {"noise", {0xFF, 0x00, 0x64}},
        {"repeated head bytes", {0x05, 0x05, 0x05}},
        {"stale secret bytes", {0xA3, 0xA4, 0xA1}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ScriptedChannel wire;
        Recording trace;
        CProtocol protocol(wire, &trace);
        wire.queue(concat(c.before, answer));
        const std::array<CProtocol::ReadBlock, 1> blocks{{{0x10, 3}}};
        std::array<std::uint16_t, 3> words{};
        ASSERT_TRUE(protocol.readWords(blocks, words, 2));
        EXPECT_EQ(words, (std::array<std::uint16_t, 3>{0xA1A2, 0xA3A4, 0x1122}));
        ASSERT_EQ(trace.received.size(), 1U);
        const Bytes& traced = trace.received.front();
        ASSERT_EQ(traced.size(), c.before.size() + answer.size());
        for (const std::uint8_t b : secret) {
            EXPECT_EQ(std::count(traced.begin(), traced.end(), b), 0) << int{b};
        }
        // The frame's head and the word that is no secret stay readable.
        const auto head = traced.begin() + static_cast<std::ptrdiff_t>(c.before.size());
        EXPECT_TRUE(std::equal(answer.begin(), answer.begin() + 5, head));
        EXPECT_EQ(head[9], 0x11);
        EXPECT_EQ(head[10], 0x22);
    }
}

// Answers fed byte for byte: noise before the head is skipped; 256 bytes without a frame, or
// an answer of the wrong size, fail and leave the caller's word as it was.
TEST(CProtocol, ScriptedAnswersToAWordRead) {
    struct Case {
        const char* what;
        Bytes answer;
        std::uint16_t word; // afterwards; 0x5555 when the read fails
        std::size_t bytesRead;
    };
    const Bytes noisy =
        concat({0xFF, 0x00, 0x64, 0x05, 0x05, 0x05}, loaderFrame('R', std::nullopt, {0x0A, 0x0B}));
    const Bytes shortAnswer = loaderFrame('R', std::nullopt, {0x0A}); // one byte for one word
    const Case cases[] = {
        {"noise and repeated head bytes", noisy, 0x0A0B, noisy.size()},
        {"one byte for one word", shortAnswer, 0x5555, shortAnswer.size()},
        {"400 bytes without a frame", Bytes(400, 0x00), 0x5555, 257},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ScriptedChannel wire;
        CProtocol protocol(wire);
        wire.queue(c.answer);
        const std::array<CProtocol::ReadBlock, 1> blocks{{{0x10, 1}}};
        std::array<std::uint16_t, 1> word{0x5555};
        EXPECT_EQ(protocol.readWords(blocks, word), c.word != 0x5555);
        EXPECT_EQ(word[0], c.word);
        EXPECT_EQ(wire.bytesRead, c.bytesRead);
        if (c.word == 0x5555) {
            EXPECT_EQ(protocol.lastErrorCode(), kErrorFrameDoesNotFit);
        }
    }
}

TEST(CProtocol, SequenceNumberWrapsFrom255To0) {
    ProtocolRig rig;
    ASSERT_EQ(rig.protocol.protocolTest(), CProtocol::TestResult::Answered);
    for (int i = 2; i <= 255; ++i) {
        ASSERT_TRUE(rig.protocol.beginDownload()) << i;
    }
    EXPECT_EQ(rig.wire.writes.back()[6], 255);
    ASSERT_TRUE(rig.protocol.beginDownload());
    EXPECT_EQ(rig.wire.writes.back(), loaderFrame(0x83, StationHeader{0xFF, 0}, {}));
    ASSERT_TRUE(rig.protocol.beginDownload());
    EXPECT_EQ(rig.wire.writes.back()[6], 1);
}

TEST(CProtocol, RequestsBeyondTheLimitsAreRefusedWithoutSending) {
    const Bytes data238(238, 0x11);
    const Bytes data239(239, 0x11);
    std::vector<CProtocol::ReadBlock> blocks49(49, {0x10, 1});
    std::vector<CProtocol::ReadBlock> blocks50(50, {0x10, 1});
    std::vector<std::uint16_t> words(200);
    const std::vector<std::uint16_t> words249(249, 0x0101);
    const std::vector<std::uint16_t> words250(250, 0x0101);
    const Bytes bytes498(498, 0x01);
    const Bytes bytes499(499, 0x01);

    struct Case {
        const char* name;
        std::function<bool(CProtocol&)> call;
        bool sent;
    };
    const std::vector<Case> cases = {
        {"D with 238 bytes", [&](CProtocol& p) { return p.downloadBlock('C', 1, 1, 0, data238); },
         true},
        {"D with 239 bytes", [&](CProtocol& p) { return p.downloadBlock('C', 1, 1, 0, data239); },
         false},
        {"D of an unknown kind", [&](CProtocol& p) { return p.downloadBlock('Q', 1, 1, 0, {}); },
         false},
        {"R with 49 blocks", [&](CProtocol& p) { return p.readWords(blocks49, words); }, true},
        {"R with 50 blocks", [&](CProtocol& p) { return p.readWords(blocks50, words); }, false},
        {"R with no block", [&](CProtocol& p) { return p.readWords({}, words); }, false},
        {"R block of 128 words",
         [&](CProtocol& p) {
             const std::array<CProtocol::ReadBlock, 1> b{{{0x10, 128}}};
             return p.readWords(b, words);
         },
         false},
        {"R into a short buffer",
         [&](CProtocol& p) {
             const std::array<CProtocol::ReadBlock, 1> b{{{0x10, 4}}};
             return p.readWords(b, std::span(words).first(3));
         },
         false},
        {"W with 249 words", [&](CProtocol& p) { return p.writeWords(0x10, words249); }, true},
        {"W with 250 words", [&](CProtocol& p) { return p.writeWords(0x10, words250); }, false},
        {"W with 498 bytes", [&](CProtocol& p) { return p.writeBytes(0x10, bytes498); }, true},
        {"W with 499 bytes", [&](CProtocol& p) { return p.writeBytes(0x10, bytes499); }, false},
        {"M with an unknown mode", [&](CProtocol& p) { return p.changeCpuMode(17) != 0; }, false},
    };
    for (const auto& c : cases) {
        ProtocolRig rig;
        ASSERT_EQ(rig.protocol.protocolTest(), CProtocol::TestResult::Answered);
        rig.plc.setRunState(sim::RunState::Stop);
        const bool ok = c.call(rig.protocol);
        EXPECT_EQ(rig.wire.writes.size(), c.sent ? 2U : 1U) << c.name;
        EXPECT_EQ(ok, c.sent) << c.name;
        if (c.sent) {
            EXPECT_LE(rig.wire.writes.back().size(), 512U) << c.name;
        } else {
            EXPECT_EQ(rig.protocol.lastErrorCode(), kErrorRequestRefused) << c.name;
        }
    }
}

TEST(CProtocol, AttemptCountZeroSendsNothing) {
    ProtocolRig rig;
    rig.protocol.setAttemptCount(0);
    EXPECT_FALSE(rig.protocol.beginDownload());
    EXPECT_TRUE(rig.wire.writes.empty());
    EXPECT_EQ(rig.wire.readCalls, 0U);
    EXPECT_EQ(rig.protocol.lastErrorCode(), kErrorNoAttempts);
}

TEST(CProtocol, DownloadBlockLayouts) {
    const Bytes payload{0xD0, 0xD1, 0xD2};
    struct Case {
        std::uint8_t kind;
        bool plcTakesHeader;
        Bytes data; // after the station header
        bool header;
    };
    const std::vector<Case> cases = {
        {'P', false, {'P', 0x00, 0x00, 0x02, 0x00, 0x01, 0x00, 0x03, 0xD0, 0xD1, 0xD2}, false},
        {'B', false, {'B', 0x07, 0x00, 0x03, 0xD0, 0xD1, 0xD2}, false},
        {'C', false, {'C', 0x07, 0x00, 0x02, 0x00, 0x01, 0x00, 0x03, 0xD0, 0xD1, 0xD2}, false},
        {'T', false, {'T', 0x07, 0x00, 0x02, 0x00, 0x01, 0x00, 0x03, 0xD0, 0xD1, 0xD2}, true},
        {'X', false, {'X', 0x07, 0x00, 0x02, 0x00, 0x01, 0x00, 0x03, 0xD0, 0xD1, 0xD2}, true},
        {'S', false, {'S', 0x07, 0x00, 0x02, 0x00, 0x01, 0x00, 0x03, 0xD0, 0xD1, 0xD2}, true},
        {'P', true, {'P', 0x00, 0x00, 0x02, 0x00, 0x01, 0x00, 0x03, 0xD0, 0xD1, 0xD2}, true},
        {'B', true, {'B', 0x07, 0x00, 0x03, 0xD0, 0xD1, 0xD2}, true},
    };
    for (const auto& c : cases) {
        ProtocolRig rig(c.plcTakesHeader ? sim::PlcConfig{} : test::olderPlc());
        ASSERT_EQ(rig.protocol.protocolTest(), CProtocol::TestResult::Answered);
        // Block 1 of 2: the PLC answers it (only block 0 may start an item, so it says 9).
        rig.protocol.downloadBlock(c.kind, 0x07, 2, 1, payload);
        const auto header =
            c.header ? std::optional(StationHeader{0xFF, 2}) : std::optional<StationHeader>();
        EXPECT_EQ(rig.wire.writes.back(), loaderFrame('D', header, c.data))
            << "kind " << c.kind << (c.plcTakesHeader ? " with flag" : " without flag");
    }
}

TEST(CProtocol, ModeChangeCodesAndTheKeySwitch) {
    struct Case {
        std::uint16_t mode;
        std::uint8_t wire;
        sim::KeySwitch key;
        std::uint16_t result;
        std::uint16_t modeWordAfter;
    };
    const Case cases[] = {
        {CProtocol::kModeRemoteRun, 0x00, sim::KeySwitch::Remote, 16, 0x81},
        {CProtocol::kModeRemoteStop, 0x01, sim::KeySwitch::Remote, 32, 0x82},
        {CProtocol::kModeActive, 0x04, sim::KeySwitch::Remote, 20, 0x82},
        {CProtocol::kModeRemoteRun, 0x00, sim::KeySwitch::Local, 0, 0x02},
    };
    for (const auto& c : cases) {
        sim::PlcConfig config;
        config.key = c.key;
        config.state = sim::RunState::Stop;
        ProtocolRig rig(config);
        ASSERT_EQ(rig.protocol.protocolTest(), CProtocol::TestResult::Answered);
        rig.plc.setWord(rig.plc.address("F1260"), 0x0005);
        EXPECT_EQ(rig.protocol.changeCpuMode(c.mode), c.result) << c.mode;
        EXPECT_EQ(rig.wire.writes.back(), loaderFrame('M', StationHeader{0xFF, 2}, {c.wire}));
        EXPECT_EQ(rig.plc.wordAt(rig.plc.address("F0000")), c.modeWordAfter) << c.mode;
        if (c.result == 0) {
            EXPECT_EQ(rig.protocol.lastErrorCode(), sim::PlcSimulator::kErrCpuMode);
        }
        const std::uint16_t standby = c.mode == CProtocol::kModeActive ? 0x0001 : 0x0005;
        EXPECT_EQ(rig.plc.wordAt(rig.plc.address("F1260")), standby) << c.mode;
    }
}

TEST(CProtocol, BeginDownloadHasNoData) {
    ProtocolRig rig(test::olderPlc());
    ASSERT_EQ(rig.protocol.protocolTest(), CProtocol::TestResult::Answered);
    EXPECT_TRUE(rig.protocol.beginDownload());
    EXPECT_EQ(rig.wire.writes.back(), loaderFrame(0x83, std::nullopt, {}));
    EXPECT_EQ(rig.plc.beginDownloadCount(), 1U);
}

TEST(CProtocol, WrittenWordsAndBytesLandAtTheirAddresses) {
    ProtocolRig rig;
    ASSERT_EQ(rig.protocol.protocolTest(), CProtocol::TestResult::Answered);
    const std::uint32_t d0 = rig.plc.address("D0000");
    const std::array<std::uint16_t, 2> words{0x1234, 0xABCD};
    ASSERT_TRUE(rig.protocol.writeWords(d0, words));
    EXPECT_EQ(
        rig.wire.writes.back(),
        loaderFrame('W', StationHeader{0xFF, 2}, {0x00, 0x0A, 0x00, 0x00, 0x12, 0x34, 0xAB, 0xCD}));
    const std::array<std::uint8_t, 3> raw{0x01, 0x02, 0x03};
    ASSERT_TRUE(rig.protocol.writeBytes(d0 + 7, raw));

    const std::array<CProtocol::ReadBlock, 1> blocks{{{d0, 5}}};
    std::array<std::uint16_t, 5> back{};
    ASSERT_TRUE(rig.protocol.readWords(blocks, back));
    EXPECT_EQ((std::array<std::uint16_t, 5>{0x1234, 0xABCD, 0x0000, 0x0001, 0x0203}), back);
}

} // namespace
} // namespace dlu
