#include "comm/COnlineModule.h"
#include "comm/CCOMInterface.h"
#include "comm/CommSet.h"
#include "common/StringTable.h"
#include "common/TextFormat.h"
#include "sim/PlcSimulator.h"
#include "support/SimSession.h"

#include <gtest/gtest.h>

#include <functional>

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace dlu {
namespace {

using sim::PlcConfig;
using sim::PlcSimulator;
using test::FakeClock;
using test::ScriptedPrompter;

std::uint16_t identity(char code, char sub) {
    return static_cast<std::uint16_t>((static_cast<std::uint8_t>(code) << 8) |
                                      static_cast<std::uint8_t>(sub));
}

// A session wired to an in-process simulator, as the programs wire it to a real channel.
struct Rig : test::SimSession<> {
    explicit Rig(PlcConfig config = {}, sim::FaultConfig faults = {})
        : SimSession(config, faults) {}
};

TEST(COnlineModule, IdentificationDecidesTheConnection) {
    const Messages en(Language::English);
    struct Case {
        std::uint16_t identity;
        CpuType project;
        bool connects;
        int message;                 // 0: none
        const char* types = nullptr; // the CPU type lines, where checked exactly
        // A pair the table does not name is a question, default No: the answer given.
        std::optional<PromptAnswer> asked = std::nullopt;
    };
    constexpr auto yes = PromptAnswer::Yes;
    constexpr auto no = PromptAnswer::No;
    const Case cases[] = {
        {identity('2', '0'), 0, true, 616, "\nProject CPU Type : A-01\n\nPLC CPU Type : A-02"},
        {identity('2', '0'), 4, false, 617},  // refused
        {identity('2', '0'), 2, true, 616},   // A-02 warns for A-03 projects too
        {identity('2', '0'), 1, true, 0},     // its own type
        {identity('f', '1'), 21, false, 616}, // refused with the warning text
        {identity('f', '1'), 20, true, 0},
        {identity('z', '1'), 26, true, 0},
        {identity('z', '1'), 27, false, 616, "\nProject CPU Type : A-22\n\nPLC CPU Type : A-21 "},
        {identity('z', '9'), 0, true, 0},    // known code, unlisted sub-code: no check
        {identity('P', 'A'), 0, true, 0},    // never compared
        {identity('X', 0x20), 5, true, 616}, // A-06 warns for A-05 projects
        {identity('X', 0x20), 9, false, 617},
        {identity('Q', '1'), 26, false, 615}, // unknown code
        // Pairs no row names: an A-21 project into an A-01, C-04 into into C-08.
        {identity('1', '0'), 26, false, 616, "\nProject CPU Type : A-21\n\nPLC CPU Type : A-01",
         no},
        {identity('1', '0'), 26, true, 616, nullptr, yes},
        {identity('z', '1'), 30, false, 616, nullptr, no},
        {identity('U', '0'), 6, true, 616, nullptr, yes},
        {identity('1', '0'), 0, true, 0},  // the PLC's own type: no question
        {identity('U', '0'), 14, true, 0}, // C-08 takes C-02 projects, C-09 C-01 ones
        {identity('u', '0'), 10, true, 0},
        {identity('P', '1'), 26, true, 0}, // a PLC that is never compared stays silent
        {identity('u', '0'), 14, false, 617}, // a pair the row names keeps its answer
    };
    for (const auto& c : cases) {
        PlcConfig config;
        config.identityWord = c.identity;
        // The simulator keeps its words where the project's type looks for them.
        config.cpuType = c.project;
        Rig rig(config);
        if (c.asked) {
            rig.prompter.answer(*c.asked);
        }
        rig.session.setProjectCpuType(c.project);
        EXPECT_EQ(rig.session.connect(), c.connects)
            << std::hex << c.identity << std::dec << " project " << c.project;
        EXPECT_EQ(rig.session.online(), c.connects);
        const auto shown = rig.shown();
        if (c.message == 0) {
            EXPECT_TRUE(shown.empty()) << (shown.empty() ? "" : shown[0]);
            continue;
        }
        ASSERT_EQ(shown.size(), 1u) << std::hex << c.identity;
        EXPECT_EQ(shown[0].rfind(std::string(en(c.message)), 0), 0u) << shown[0];
        if (c.message != 615) {
            EXPECT_NE(shown[0].find("\nProject CPU Type : "), std::string::npos);
            EXPECT_NE(shown[0].find("\n\nPLC CPU Type : "), std::string::npos);
        }
        const auto& box = rig.prompter.shown()[0];
        if (c.asked) {
            EXPECT_EQ(box.buttons, PromptButtons::YesNoDefaultNo) << shown[0];
            EXPECT_EQ(rig.session.cpuTypeDeclined(), !c.connects);
            const std::string question = "\n\n" + std::string(en(Msg::CpuPairUnchecked));
            ASSERT_GT(shown[0].size(), question.size());
            EXPECT_EQ(shown[0].substr(shown[0].size() - question.size()), question);
            if (c.types != nullptr) {
                EXPECT_EQ(shown[0], std::string(en(c.message)) + c.types + question);
            }
            EXPECT_EQ(rig.prompter.unusedAnswers(), 0u);
            continue;
        }
        EXPECT_EQ(box.buttons, PromptButtons::Ok) << shown[0];
        if (c.types != nullptr) { // the label of the PLC keeps its padding
            EXPECT_EQ(shown[0], std::string(en(c.message)) + c.types);
        }
        if (!c.connects) {
            EXPECT_EQ(rig.prompter.shown()[0].icon, PromptIcon::Stop);
        }
    }
}

TEST(COnlineModule, EchoingCableGives665AfterFourTests) {
    sim::FaultConfig faults;
    faults.echo = true;
    Rig rig({}, faults);
    rig.session.setProjectCpuType(26);
    EXPECT_FALSE(rig.session.connect());
    EXPECT_EQ(rig.shown(), std::vector<std::string>{std::string(rig.messages(665))});
    EXPECT_EQ(rig.clock.sleeps().size(), 3u) << "three pauses between four tests";
    for (auto d : rig.clock.sleeps()) {
        EXPECT_EQ(d, std::chrono::milliseconds(100));
    }
}

TEST(COnlineModule, FailedIdentityReadIsAnUnknownCpu) {
    sim::FaultConfig faults;
    faults.errorReplies.push_back({std::uint8_t{'R'}, 0, 5}); // every read, every attempt
    Rig rig({}, faults);
    rig.session.setProjectCpuType(26);
    EXPECT_FALSE(rig.session.connect());
    EXPECT_EQ(rig.session.plcCpuCode(), 0xFF);
    EXPECT_EQ(rig.shown(), std::vector<std::string>{std::string(rig.messages(615))});
}

TEST(COnlineModule, NoAnswerRunsTheErrorReport) {
    sim::FaultConfig faults;
    for (std::uint64_t n = 1; n <= 8; ++n) {
        faults.dropRequests.insert(n);
    }
    Rig rig({}, faults);
    rig.session.setProjectCpuType(26);
    std::vector<std::string> statuses;
    rig.session.setConnectStatusSink(
        [&statuses](std::string_view text) { statuses.emplace_back(text); });
    EXPECT_FALSE(rig.session.connect());
    EXPECT_EQ(statuses, (std::vector<std::string>{"Connecting to 127.0.0.1:10523 (attempt 1 of 4)",
                                                  "Connecting to 127.0.0.1:10523 (attempt 2 of 4)",
                                                  "Connecting to 127.0.0.1:10523 (attempt 3 of 4)",
                                                  "Connecting to 127.0.0.1:10523 (attempt 4 of 4)",
                                                  ""}));
    // The message, then what was tried as its cause.
    EXPECT_EQ(rig.shown(),
              std::vector<std::string>{
                  "Simulator Error\nno answer from 127.0.0.1:10523 to 4 protocol tests of 2 s"});
}

TEST(COnlineModule, LeasedLineFailsAtOnceAndSendsNothing) {
    Rig rig;
    rig.settings.nConType = kConLeasedLine;
    rig.session.setProjectCpuType(26);
    EXPECT_FALSE(rig.session.connect());
    EXPECT_EQ(rig.plc.requestCount(), 0u);
    EXPECT_EQ(rig.shown().back(), std::string(rig.messages(652)));
}

TEST(COnlineModule, ConnectMessagesByConnectionType) {
    struct Case {
        std::uint8_t type;
        int message;
    };
    for (const Case c :
         {Case{kConEthernet, 613}, Case{kConSimulator, 0}, Case{kConUsb, 0}, Case{kConSerial, 0}}) {
        Rig rig;
        rig.settings.nConType = c.type;
        rig.settings.nETHERNETip = 0x7F000001;
        rig.session.setProjectCpuType(26);
        ASSERT_TRUE(rig.session.connect()) << int{c.type};
        if (c.message == 0) {
            EXPECT_TRUE(rig.shown().empty()) << int{c.type};
        } else {
            EXPECT_EQ(rig.shown(), std::vector<std::string>{std::string(rig.messages(c.message))});
        }
    }
}

TEST(COnlineModule, StatusReadAndModeChanges) {
    PlcConfig config;
    config.key = sim::KeySwitch::Remote;
    config.state = sim::RunState::Run;
    Rig rig(config);
    rig.session.setProjectCpuType(26);
    ASSERT_TRUE(rig.session.connect());
    rig.plc.setWord(rig.plc.address("F1260"), 0x0007);
    rig.plc.setWord(rig.plc.address("F0030"), 0x1234);

    PlcStatus status;
    ASSERT_TRUE(rig.session.statusRead(status));
    EXPECT_EQ(status.identity(), 0x7A31);
    EXPECT_EQ(status.mode(), 0x81);
    EXPECT_TRUE(status.isRemote());
    EXPECT_FALSE(status.isStop());
    EXPECT_EQ(status.words[10], 1) << "F1260 bit 0 only in the result";
    EXPECT_EQ(rig.session.keptF1260(), 7) << "the whole word is kept";
    EXPECT_EQ(status.words[11], 0x1234);

    EXPECT_EQ(rig.session.changeCpuMode(CProtocol::kModeRemoteStop), 32);
    ASSERT_TRUE(rig.session.statusRead(status));
    EXPECT_EQ(status.mode(), 0x82);
    EXPECT_TRUE(rig.session.beginDownload());
    EXPECT_EQ(rig.plc.beginDownloadCount(), 1u);
    EXPECT_TRUE(rig.session.makeRedundantCpuActive());

    rig.plc.setKeySwitch(sim::KeySwitch::Local);
    EXPECT_EQ(rig.session.changeCpuMode(CProtocol::kModeRemoteRun), 0);
}

TEST(COnlineModule, TransfersByName) {
    Rig rig;
    rig.session.setProjectCpuType(26);
    ASSERT_TRUE(rig.session.connect());
    for (std::uint16_t w = 0; w < 5; ++w) {
        rig.plc.setWord(rig.plc.address("D00010") + 2u * w, static_cast<std::uint16_t>(100 + w));
    }
    rig.plc.setWord(rig.plc.address("M0000"), 0xBEEF);

    const std::vector<std::string> names{"D00010", "M0000"};
    const std::vector<std::uint8_t> counts{5, 1};
    EXPECT_FALSE(rig.session.takeReadWords());
    ASSERT_TRUE(rig.session.readWordsByNames(names, counts));
    std::array<std::uint16_t, 6> words{};
    ASSERT_TRUE(rig.session.takeReadWords(words));
    EXPECT_EQ(words, (std::array<std::uint16_t, 6>{100, 101, 102, 103, 104, 0xBEEF}));
    EXPECT_FALSE(rig.session.takeReadWords()) << "taking clears the buffer";

    // Refused before sending: an invalid name, or 50 names.
    const auto before = rig.plc.requestCount();
    const std::vector<std::string> bad{"D00010", "R16"};
    EXPECT_FALSE(rig.session.readWordsByNames(bad, counts));
    const std::vector<std::string> fifty(50, "D00000");
    const std::vector<std::uint8_t> ones(50, 1);
    EXPECT_FALSE(rig.session.readWordsByNames(fifty, ones));
    EXPECT_EQ(rig.plc.requestCount(), before);

    // Writes leave the mark that take reports; S goes out as bytes for this type.
    const std::array<std::uint16_t, 2> data{0x0102, 0x0304};
    EXPECT_EQ(rig.session.writeByName("D00020", {data, {}}), 0);
    EXPECT_EQ(rig.session.waitingWordCount(), -1);
    EXPECT_TRUE(rig.session.takeReadWords());
    EXPECT_EQ(rig.plc.wordAt(rig.plc.address("D00021")), 0x0304);
    const std::array<std::uint8_t, 3> sBytes{7, 8, 9};
    rig.session.writeByName("S05", {{}, sBytes});
    EXPECT_EQ(rig.plc.byteAt(rig.plc.address("S05")), 7);
    EXPECT_EQ(rig.plc.byteAt(rig.plc.address("S07")), 9);
}

// A new connection (the desktop program makes one after every settings change) goes on with
// the sequence where the last one stopped: it never starts over at 1.
TEST(COnlineModule, ConnectionsOfAProcessShareOneSequence) {
    std::uint8_t last = 0;
    std::uint8_t perConnect = 0; // requests with the header that a connect sends
    {
        Rig first;
        first.session.setProjectCpuType(26);
        ASSERT_TRUE(first.session.connect());
        PlcStatus status;
        ASSERT_TRUE(first.session.statusRead(status));
        const std::uint8_t before = first.protocol.sequenceNumber();
        ASSERT_TRUE(first.session.connect());
        last = first.protocol.sequenceNumber();
        perConnect = static_cast<std::uint8_t>(last - before);
    }
    ASSERT_GT(perConnect, 0);
    Rig second;
    second.session.setProjectCpuType(26);
    ASSERT_TRUE(second.session.connect());
    EXPECT_EQ(second.protocol.sequenceNumber(), static_cast<std::uint8_t>(last + perConnect));
}

// A request refused before it is sent (too large, no attempts) says so and leaves the session
// as it was: online stays online, offline stays offline.
TEST(COnlineModule, ALocalRefusalKeepsTheSessionAsItWas) {
    struct Case {
        const char* what;
        std::function<void(Rig&)> call;
        int message; // what the user is told
    };
    const std::vector<std::uint16_t> tooMany(300, 1);
    const std::vector<std::string> oneName{"D00010"};
    const std::vector<std::uint8_t> tooManyWords{130}; // a block holds 127 at most
    const std::vector<std::uint8_t> oneWord{1};
    const Case cases[] = {
        {"write of 300 words", [&](Rig& r) { r.session.writeByName("D00000", {tooMany, {}}); },
         static_cast<int>(Msg::RequestTooLarge)},
        {"read of 130 words in one block",
         [&](Rig& r) { r.session.readWordsByNames(oneName, tooManyWords); },
         static_cast<int>(Msg::RequestTooLarge)},
        {"read with no attempts",
         [&](Rig& r) {
             r.protocol.setAttemptCount(0);
             r.session.readWordsByNames(oneName, oneWord);
         },
         static_cast<int>(Msg::NoAttempts)},
    };
    for (const Case& c : cases) {
        for (const bool connected : {false, true}) {
            SCOPED_TRACE(std::string(c.what) + (connected ? ", online" : ", offline"));
            Rig rig;
            rig.session.setProjectCpuType(26);
            if (connected) {
                ASSERT_TRUE(rig.session.connect());
            }
            const auto before = rig.plc.requestCount();
            rig.prompter.clear();
            c.call(rig);
            EXPECT_EQ(rig.plc.requestCount(), before) << "nothing is sent";
            EXPECT_EQ(rig.shown(), std::vector<std::string>{std::string(rig.messages(c.message))});
            EXPECT_EQ(rig.session.online(), connected);
        }
    }
}

// CPU types without addresses: no request ever goes to address 0. The connect fails with
// its own message after the protocol test alone.
TEST(COnlineModule, TypesWithoutAddressesSendNothing) {
    for (const CpuType type : std::initializer_list<CpuType>{8, 23, 24, 25, 31, 32, 35, 39}) {
        SCOPED_TRACE(type);
        Rig rig;
        rig.session.setProjectCpuType(type);
        EXPECT_FALSE(rig.session.connect());
        EXPECT_EQ(rig.shown(), std::vector<std::string>{std::string(rig.messages(615))});
        const auto afterConnect = rig.plc.requestCount();
        EXPECT_EQ(afterConnect, 1u) << "only the protocol test";
        PlcStatus status;
        EXPECT_FALSE(rig.session.statusRead(status));
        rig.session.errorReport();
        EXPECT_EQ(rig.shown().back(), "The request was not sent: the device has no address for "
                                      "the project's CPU type.");
        const std::array<std::uint16_t, 1> data{1};
        EXPECT_EQ(rig.session.writeByName("D00000", {data, {}}), 0);
        EXPECT_EQ(rig.session.waitingWordCount(), 0);
        EXPECT_EQ(rig.plc.requestCount(), afterConnect);
    }
}

// A response whose check code is wrong, after the last attempt, is a frame error: 612, and
// the session is over.
TEST(COnlineModule, CheckCodeMismatchEndsTheSession) {
    Rig rig;
    rig.session.setProjectCpuType(26);
    ASSERT_TRUE(rig.session.connect());
    rig.plc.faults().corruptRate = 1.0;
    const std::vector<std::string> names{"D00010"};
    const std::vector<std::uint8_t> counts{1};
    EXPECT_FALSE(rig.session.readWordsByNames(names, counts));
    EXPECT_EQ(rig.shown(), std::vector<std::string>{std::string(rig.messages(612))});
    EXPECT_FALSE(rig.session.online());

    rig.plc.faults().corruptRate = 0.0;
    ASSERT_TRUE(rig.session.connect());
    rig.plc.faults().corruptRate = 1.0;
    EXPECT_FALSE(rig.session.downloadBlock('C', 0, 1, 0, std::array<std::uint8_t, 2>{1, 2}));
    EXPECT_FALSE(rig.session.errorReport(ErrorReport::Variant::Download));
    EXPECT_FALSE(rig.session.online());
}

TEST(COnlineModule, WithoutAProjectTheCpuTypeIsFoundFromThePlc) {
    struct Case {
        std::uint16_t identity;
        CpuType plcType;
        CpuType found;
    };
    const Case cases[] = {
        {identity('z', '1'), 26, 26}, {identity('1', '0'), 0, 0},   {identity('B', '0'), 4, 4},
        {identity('X', 0x20), 6, 6},  {identity('C', '4'), 19, 19}, {identity('x', '2'), 16, 16},
    };
    for (const auto& c : cases) {
        PlcConfig config;
        config.identityWord = c.identity;
        config.cpuType = c.plcType;
        Rig rig(config);
        rig.session.setProjectCpuType(kNoCpuType);
        EXPECT_TRUE(rig.session.connect()) << c.plcType;
        EXPECT_EQ(rig.session.projectCpuType(), c.found);
        EXPECT_TRUE(rig.shown().empty()) << c.plcType;
    }
    Rig silent;
    silent.plc.setWord(silent.plc.address("F0080"), 0);
    silent.session.setProjectCpuType(kNoCpuType);
    EXPECT_FALSE(silent.session.connect());
    EXPECT_EQ(silent.shown(), std::vector<std::string>{std::string(silent.messages(615))});
}

TEST(COnlineModule, PasswordSchemeByCodeAndFirmware) {
    using S = COnlineModule::PasswordScheme;
    struct Case {
        char code;
        std::uint32_t firmware;
        S scheme;
    };
    const Case cases[] = {{'1', 345, S::StoredCheck}, {'1', 346, S::Exchange},
                          {'4', 0, S::StoredCheck},   {'B', 255, S::StoredCheck},
                          {'B', 256, S::Exchange},    {'z', 0, S::Exchange},
                          {'5', 0, S::Exchange}};
    for (const auto& c : cases) {
        EXPECT_EQ(COnlineModule::passwordScheme(static_cast<std::uint8_t>(c.code), c.firmware),
                  c.scheme)
            << c.code << " " << c.firmware;
    }
}

} // namespace
} // namespace dlu
