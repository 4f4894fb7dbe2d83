#include "comm/DialUpSequence.h"
#include "comm/ChannelFactory.h"
#include "comm/CommSet.h"
#include "common/StringTable.h"
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
    bool open(const OpenParams&) override { return true; }
    void setTimeout(std::chrono::milliseconds) override {}
    bool write(std::span<const std::uint8_t>) override { return true; }
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
        ++hangUps;
        return true;
    }

    bool dialWorks = true;
    std::deque<Poll> script;
    std::vector<std::string> dialled;
    int polls = 0;
    int hangUps = 0;
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
    rig.modem.script = {{false, ""}, {false, ""}, {true, "CONNECT 9600"}};
    EXPECT_TRUE(rig.run());
    EXPECT_EQ(rig.modem.dialled, std::vector<std::string>{"ATZ|9,1234"});
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

TEST(DialUpSequence, LongNumbersAreCutForTheModem) {
    DialRig rig;
    rig.settings.strDIALcallNo = "0123456789012345678901";
    rig.settings.strDIALinitCmd = "AT&F&C1&D2S0=0V1X4E0Q0";
    rig.modem.script = {{true, "CONNECT"}};
    EXPECT_TRUE(rig.run());
    ASSERT_EQ(rig.modem.dialled.size(), 1u);
    EXPECT_EQ(rig.modem.dialled[0], "AT&F&C1&D2S0=0V1X4E|9,01234567890123456");
}

} // namespace
} // namespace dlu
