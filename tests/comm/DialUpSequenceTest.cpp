#include "comm/DialUpSequence.h"
#include "comm/ChannelFactory.h"
#include "comm/CommSet.h"
#include "comm/Connection.h"
#include "common/StringTable.h"
#include "sim/PlcSimulator.h"
#include "sim/SimulatorChannel.h"
#include "support/FakeClock.h"
#include "support/ScriptedPrompter.h"

#include <gtest/gtest.h>

#include <deque>
#include <string>
#include <vector>

namespace dlu {
namespace {

using namespace std::chrono_literals;

// A modem that answers each poll from a script; an exhausted script keeps the line silent.
class ScriptedModem final : public DialUpChannel {
public:
    struct Poll {
        bool connected;
        std::string response;
    };
    bool open(const OpenParams& params) override {
        opened.push_back(params);
        return true;
    }
    void setTimeout(std::chrono::milliseconds) override {}
    bool write(std::span<const std::uint8_t>) override {
        ++writes;
        return true;
    }
    ChannelRead read() override { return {}; }
    void close() override {}

    bool dial(std::string_view init, std::string_view number) override {
        dialled.emplace_back(std::string(init) + "|" + std::string(number));
        return dialWorks;
    }
    bool pollCall(std::string& last) override {
        ++polls;
        if (script.empty()) {
            last.clear();
            return false;
        }
        const Poll p = script.front();
        script.pop_front();
        last = p.response;
        return p.connected;
    }
    bool hangUp() override {
        ++(hangUpCount != nullptr ? *hangUpCount : hangUps);
        return true;
    }

    bool dialWorks = true;
    std::deque<Poll> script;
    std::vector<std::string> dialled;
    std::vector<OpenParams> opened;
    int polls = 0;
    int writes = 0;
    int hangUps = 0;
    int* hangUpCount = nullptr; // counts instead, beyond the modem's lifetime
};

struct DialRig {
    DialRig() {
        settings.setDefaults();
        settings.strDIALexitNo = "9";
        settings.strDIALcallNo = "1234";
    }
    bool run() {
        DialUpSequence seq(modem, settings, prompter, messages, clock);
        seq.setStatusSink([this](const DialUpStatus& s) { statuses.push_back(s); });
        return seq.run();
    }
    ScriptedModem modem;
    CommSet settings;
    test::ScriptedPrompter prompter;
    Messages messages{Language::English};
    test::FakeClock clock;
    std::vector<DialUpStatus> statuses;
};

TEST(DialUpSequence, ConnectsOnTheModemsWord) {
    DialRig rig;
    rig.settings.strDIALinitCmd = "AT&F&C1&D2S0=0V1X4E0Q0"; // the modem takes 20 characters
    rig.modem.script = {{false, ""}, {false, ""}, {true, "CONNECT 9600"}};
    EXPECT_TRUE(rig.run());
    EXPECT_EQ(rig.modem.dialled, std::vector<std::string>{"AT&F&C1&D2S0=0V1X4E|9,1234"});
    ASSERT_GE(rig.statuses.size(), 2u);
    EXPECT_EQ(rig.statuses[0].phone, "9 , 1234");
    EXPECT_EQ(rig.statuses[0].status, "Initializing Modem...");
    EXPECT_EQ(rig.statuses[1].status, "Connecting...");
    EXPECT_EQ(rig.statuses.back().elapsed, 2);
    EXPECT_EQ(rig.prompter.texts(),
              std::vector<std::string>{"Dial-up MODEM connected.\nMODEM CODE : CONNECT 9600"});
    EXPECT_EQ(rig.modem.hangUps, 0);
    EXPECT_EQ(rig.clock.totalSlept(), 3000ms + 500ms);
}

TEST(DialUpSequence, ModemRefusalShowsItsCodeAndHangsUp) {
    DialRig rig;
    rig.settings.strDIALexitNo.clear();
    rig.modem.script = {{false, ""}, {false, "BUSY"}};
    EXPECT_FALSE(rig.run());
    EXPECT_EQ(rig.modem.dialled, std::vector<std::string>{"ATZ|1234"});
    EXPECT_EQ(rig.statuses[0].phone, "1234");
    EXPECT_EQ(
        rig.prompter.texts(),
        std::vector<std::string>{"Failed to connect with the dial-up MODEM.\nMODEM CODE : BUSY"});
    EXPECT_EQ(rig.modem.hangUps, 1);
}

TEST(DialUpSequence, SilentModemTimesOutAfterAHundredPolls) {
    DialRig rig;
    EXPECT_FALSE(rig.run());
    EXPECT_EQ(rig.modem.polls, 100);
    EXPECT_EQ(rig.statuses.back().elapsed, 100);
    EXPECT_EQ(rig.prompter.texts().back(),
              "Failed to connect with the dial-up MODEM.\nMODEM CODE : CALLING TIMEOUT");
    EXPECT_EQ(rig.modem.hangUps, 1);
}

TEST(DialUpSequence, ModemThatCannotDialFailsAtTheFirstTick) {
    DialRig rig;
    rig.modem.dialWorks = false;
    EXPECT_FALSE(rig.run());
    EXPECT_EQ(rig.modem.polls, 0);
    EXPECT_EQ(rig.prompter.texts(),
              std::vector<std::string>{"Failed to Initialize the dial-up MODEM."});
}

// Makes the dial-up modem the connection owns; its hang-ups are counted here.
class ModemFactory final : public ChannelFactory {
public:
    std::unique_ptr<DeviceChannel> create(std::uint8_t type) override {
        if (type != kConDialUp) {
            return nullptr;
        }
        auto modem = std::make_unique<ScriptedModem>();
        modem->script = script;
        modem->dialWorks = dialWorks;
        modem->hangUpCount = &hangUps;
        made = modem.get();
        return modem;
    }
    std::uint32_t resolveHostName(std::string_view) override { return 0; }

    std::deque<ScriptedModem::Poll> script{{false, ""}, {true, "CONNECT 9600"}};
    bool dialWorks = true;
    ScriptedModem* made = nullptr;
    int hangUps = 0;
};

DialUpLink dialUpLink() {
    DialUpLink link;
    link.line = {3, "/dev/ttyS9", 8, true};
    link.callNumber = "1234";
    link.exitNumber = "9";
    return link;
}

TEST(Connection, AppliesTheDescriptionDialsBeforeTheFirstFrameAndHangsUpWhenClosed) {
    ModemFactory factory;
    test::ScriptedPrompter prompter;
    const Messages messages(Language::English);
    test::FakeClock clock;

    ConnectionDescription spec;
    spec.link = dialUpLink();
    spec.timeoutSeconds = 7;
    spec.attempts = 4;
    spec.station = 12;

    std::vector<DialUpStatus> statuses;
    std::vector<bool> done;
    {
        Connection connection(spec, factory, prompter, messages, clock);
        EXPECT_EQ(connection.protocol().attemptCount(), 4u);
        EXPECT_EQ(connection.protocol().stationNumber(), 12);
        EXPECT_EQ(connection.com().timeout(), 7000ms);
        EXPECT_EQ(connection.settings().nConType, kConDialUp);
        EXPECT_EQ(connection.settings().nDIALport, 3) << "no port list: the index stays";
        connection.setDialUpStatusSink([&](const DialUpStatus& s) { statuses.push_back(s); });
        connection.setDialUpDoneSink([&](bool connected) { done.push_back(connected); });

        ASSERT_TRUE(connection.com().openConnection(connection.settings()));
        ASSERT_NE(factory.made, nullptr);
        const ScriptedModem& modem = *factory.made;
        ASSERT_EQ(modem.opened.size(), 1u);
        EXPECT_EQ(modem.opened[0], OpenParams(SerialOpenParams{3, 8, true, "/dev/ttyS9"}))
            << "the named device is opened, not the port at the index";
        EXPECT_TRUE(modem.dialled.empty()) << "nothing is dialled before a frame goes out";

        const std::uint8_t frame[] = {0x05, 0x64};
        EXPECT_TRUE(connection.com().write(frame));
        EXPECT_EQ(modem.dialled, std::vector<std::string>{"ATZ|9,1234"});
        ASSERT_FALSE(statuses.empty());
        EXPECT_EQ(statuses.front().phone, "9 , 1234");
        EXPECT_EQ(done, std::vector<bool>{true});
        EXPECT_EQ(factory.hangUps, 0);
    }
    EXPECT_EQ(factory.hangUps, 1) << "closing the connection hangs up the call";
}

// A call that did not come up leaves the modem in command mode: no loader frame may go to it,
// and the connection must not look connected, whether the modem refused, never answered, could
// not dial, or the user cancelled.
TEST(Connection, DialUpThatDidNotConnectSendsNoFrame) {
    struct Case {
        const char* name;
        bool dialWorks;
        std::deque<ScriptedModem::Poll> script;
        bool cancelled;
    };
    const Case cases[] = {
        {"busy", true, {{false, "BUSY"}}, false},
        {"no carrier", true, {{false, ""}, {false, "NO CARRIER"}}, false},
        {"cannot dial", false, {}, false},
        {"cancelled", true, {{false, ""}, {false, ""}, {true, "CONNECT 9600"}}, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ModemFactory factory;
        factory.script = c.script;
        factory.dialWorks = c.dialWorks;
        test::ScriptedPrompter prompter;
        const Messages messages(Language::English);
        test::FakeClock clock;
        ConnectionDescription spec;
        spec.link = dialUpLink();

        Connection connection(spec, factory, prompter, messages, clock);
        std::vector<bool> done;
        connection.setDialUpDoneSink([&](bool connected) { done.push_back(connected); });
        connection.setDialUpCancelCheck([&] { return c.cancelled; });
        ASSERT_TRUE(connection.com().openConnection(connection.settings()));
        const std::uint8_t frame[] = {0x05, 0x64};
        EXPECT_FALSE(connection.com().write(frame));
        EXPECT_FALSE(connection.com().write(frame)) << "a second frame does not dial again";
        ASSERT_NE(factory.made, nullptr);
        EXPECT_EQ(factory.made->writes, 0);
        EXPECT_EQ(factory.made->dialled.size(), 1u);
        EXPECT_EQ(done, std::vector<bool>{false});
    }
}

// A modem whose call leads to the in-process simulator. The serial port to the modem runs at
// 9600 bit/s; the PLC's bytes come at the simulator's own pace (the rate between the modems).
class PacedModem final : public DialUpChannel {
public:
    PacedModem(sim::PlcSimulator& plc, Clock& clock, std::string answer)
        : line_(plc, &clock), answer_(std::move(answer)) {}
    bool open(const OpenParams&) override {
        line_.reopen();
        return true;
    }
    void setTimeout(std::chrono::milliseconds t) override { line_.setTimeout(t); }
    std::chrono::milliseconds timeout() const override { return line_.timeout(); }
    bool write(std::span<const std::uint8_t> b) override { return line_.write(b); }
    ChannelRead read() override { return line_.read(); }
    ChannelRead readWithin(std::chrono::milliseconds limit) override {
        return line_.readWithin(limit);
    }
    std::chrono::microseconds byteTime() const override { return 1042us; } // the port: 9600
    void close() override { line_.close(); }
    bool dial(std::string_view, std::string_view) override { return true; }
    bool pollCall(std::string& last) override {
        last = answer_;
        return true;
    }
    bool hangUp() override { return true; }

private:
    sim::SimulatorChannel line_;
    std::string answer_;
};

struct PacedModemFactory final : ChannelFactory {
    PacedModemFactory(sim::PlcSimulator& p, Clock& c, std::string a)
        : plc(p), clock(c), answer(std::move(a)) {}
    std::unique_ptr<DeviceChannel> create(std::uint8_t) override {
        return std::make_unique<PacedModem>(plc, clock, answer);
    }
    std::uint32_t resolveHostName(std::string_view) override { return 0; }
    sim::PlcSimulator& plc;
    Clock& clock;
    std::string answer;
};

// A call that connects at 1200 bit/s on a port that runs at 9600: a read of 120 words is 250
// bytes, two seconds on that line, while each byte comes well within the time-out of one
// second. The whole answer's deadline must count the line's rate, which the modem's answer
// names, and not the port's.
TEST(Connection, AFrameHasTheTimeOfTheRateTheModemsAgreedOn) {
    struct Case {
        const char* answer;
        std::uint32_t lineBaud; // how fast the PLC's bytes really come
    };
    const Case cases[] = {
        {"CONNECT 1200", 1200},
        {"CONNECT 1200/ARQ", 1200},
        {"CONNECT 600/REL", 600},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.answer);
        sim::FaultConfig line;
        line.baud = c.lineBaud;
        sim::PlcSimulator plc({}, line);
        plc.fillDeviceMemory(3);
        test::FakeClock clock;
        PacedModemFactory factory(plc, clock, c.answer);
        test::ScriptedPrompter prompter;
        const Messages messages(Language::English);
        ConnectionDescription spec;
        spec.link = dialUpLink();
        spec.timeoutSeconds = 1;
        spec.attempts = 1;
        Connection connection(spec, factory, prompter, messages, clock);
        ASSERT_TRUE(connection.com().openConnection(connection.settings()));
        ASSERT_EQ(connection.protocol().protocolTest(), CProtocol::TestResult::Answered);
        const std::uint32_t address = plc.deviceWordAddress(0, 0);
        const std::array<CProtocol::ReadBlock, 1> block{{{address, 120}}};
        std::array<std::uint16_t, 120> words{};
        EXPECT_TRUE(connection.protocol().readWords(block, words))
            << "error " << int{connection.protocol().lastErrorCode()};
        EXPECT_EQ(words[119], plc.wordAt(address + 2 * 119));
    }
}

} // namespace
} // namespace dlu
