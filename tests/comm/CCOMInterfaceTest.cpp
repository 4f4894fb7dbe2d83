#include "comm/CCOMInterface.h"
#include "comm/CommSet.h"
#include "support/ScriptedPrompter.h"

#include <gtest/gtest.h>

#include <deque>
#include <map>
#include <string>
#include <vector>

namespace dlu {
namespace {

using namespace std::chrono_literals;
using Bytes = std::vector<std::uint8_t>;

// What happened to the channel objects of one test, kept beyond their lifetime.
struct ChannelLog {
    std::vector<std::uint8_t> created;
    std::vector<OpenParams> opens;
    std::vector<std::chrono::milliseconds> timeouts;
    std::vector<Bytes> writes;
    std::vector<std::string> calls; // "close", "hangUp"
    std::deque<ChannelRead> reads;
    bool openResult = true;
};

// A channel object of any type; a modem when made for the dial-up type.
class FakeChannel final : public DialUpChannel {
public:
    FakeChannel(ChannelLog& log, bool modem) : log_(log), modem_(modem) {}
    bool open(const OpenParams& p) override {
        log_.opens.push_back(p);
        return log_.openResult;
    }
    void setTimeout(std::chrono::milliseconds t) override { log_.timeouts.push_back(t); }
    bool write(std::span<const std::uint8_t> b) override {
        log_.writes.emplace_back(b.begin(), b.end());
        return true;
    }
    ChannelRead read() override {
        if (log_.reads.empty()) {
            return {0, kChannelTimeout};
        }
        const ChannelRead r = log_.reads.front();
        log_.reads.pop_front();
        return r;
    }
    void close() override { log_.calls.push_back("close"); }
    DialUpChannel* asDialUp() override { return modem_ ? this : nullptr; }
    bool dial(std::string_view, std::string_view) override { return true; }
    bool pollCall(std::string&) override { return true; }
    bool hangUp() override {
        log_.calls.push_back("hangUp");
        return true;
    }

private:
    ChannelLog& log_;
    bool modem_;
};

class FakeFactory final : public ChannelFactory {
public:
    std::unique_ptr<DeviceChannel> create(std::uint8_t type) override {
        log.created.push_back(type);
        if (failCreate || type == kConLeasedLine || type > kConUsb) {
            return nullptr;
        }
        return std::make_unique<FakeChannel>(log, type == kConDialUp);
    }
    std::uint32_t resolveHostName(std::string_view name) override {
        lookups.emplace_back(name);
        const auto it = hosts.find(std::string(name));
        return it == hosts.end() ? 0 : it->second;
    }

    ChannelLog log;
    bool failCreate = false;
    std::map<std::string, std::uint32_t> hosts;
    std::vector<std::string> lookups;
};

class CCOMInterfaceTest : public ::testing::Test {
protected:
    CCOMInterfaceTest() { settings.setDefaults(); }

    FakeFactory factory;
    test::ScriptedPrompter prompter;
    CCOMInterface com{factory, prompter};
    CommSet settings;
    const Bytes frame{0x05, 0x64, 0x74, 0x00, 0x00};
};

TEST_F(CCOMInterfaceTest, WithoutAChannelNothingIsSentAndReadsReportNotOpen) {
    EXPECT_FALSE(com.write(frame));
    EXPECT_EQ(com.read().status, kChannelNotOpen);
    EXPECT_FALSE(com.open(UsbOpenParams{}));
    EXPECT_FALSE(com.hangUp());
    com.close();
    EXPECT_TRUE(factory.log.writes.empty());
}

TEST_F(CCOMInterfaceTest, OneChannelAtATimeWhateverItsType) {
    for (const std::uint8_t first :
         {kConSerial, kConDialUp, kConEthernet, kConSimulator, kConUsb}) {
        for (const std::uint8_t second :
             {kConSerial, kConDialUp, kConEthernet, kConSimulator, kConUsb}) {
            FakeFactory f;
            CCOMInterface c(f, prompter);
            ASSERT_TRUE(c.create(first));
            EXPECT_FALSE(c.create(second)) << int{first} << " then " << int{second};
            EXPECT_EQ(c.channelType(), first);
            EXPECT_EQ(f.log.created, std::vector<std::uint8_t>{first}) << "nothing else made";
            // Every operation goes to the channel that exists.
            EXPECT_TRUE(c.open(UsbOpenParams{}));
            f.log.reads.push_back({0x42, kChannelOk});
            EXPECT_EQ(c.read().byte, 0x42);
        }
    }
    EXPECT_TRUE(prompter.texts().empty()) << "a second create fails without a message";
}

TEST_F(CCOMInterfaceTest, CreateRefusesUnknownTypesAndMakesNothingForTheLeasedLine) {
    settings.nConType = kConLeasedLine; // fails at once, silently, and sends nothing
    bool attemptsSet = false;
    EXPECT_FALSE(com.openConnection(settings, [&](std::uint32_t) { attemptsSet = true; }));
    EXPECT_FALSE(attemptsSet);
    EXPECT_EQ(com.timeout(), 3000ms);
    EXPECT_FALSE(com.write(frame));
    EXPECT_TRUE(prompter.texts().empty());
    EXPECT_FALSE(com.create(6));
    EXPECT_FALSE(com.create(kConNone));
    EXPECT_TRUE(com.create(kConLeasedLine));
    EXPECT_FALSE(com.hasChannel());
    EXPECT_TRUE(factory.log.created.empty());
    EXPECT_TRUE(com.create(kConSerial)) << "the leased line holds no channel";
    factory.failCreate = true;
    com.close();
    EXPECT_FALSE(com.create(kConEthernet));
    EXPECT_FALSE(com.hasChannel());
}

TEST_F(CCOMInterfaceTest, TimeoutIsRememberedAndGivenToEveryChannel) {
    EXPECT_EQ(com.timeout(), 3000ms);
    com.setTimeout(1500ms); // no channel yet: only remembered
    ASSERT_TRUE(com.create(kConUsb));
    com.setTimeout(70000ms); // beyond 16 bits
    EXPECT_EQ(factory.log.timeouts, (std::vector<std::chrono::milliseconds>{1500ms, 70000ms}));
    EXPECT_EQ(com.timeout(), 70000ms);
}

TEST_F(CCOMInterfaceTest, ConnectTakesAttemptCountTimeoutAndParametersOfTheType) {
    settings.nRS232port = 2, settings.nRS232bps = 8, settings.nRS232RtsCts = 1;
    settings.nRS232retry = 3, settings.nRS232to = 4;
    settings.nDIALport = 1, settings.nDIALbps = 5, settings.nDIALretry = 5, settings.nDIALto = 6;
    settings.nETHERNETip = 0x0A000002, settings.wETHERNETSocket = 10266;
    settings.nETHERNETretry = 7, settings.nETHERNETto = 8;
    settings.nSIMULATORip = 0, settings.strSIMULATORdomain = "sim.local";
    settings.nSIMULATORretry = 9, settings.nSIMULATORto = 10;
    settings.nUSBretry = 1, settings.nUSBto = 12; // time-out from nUSBto, not nUSBretry
    factory.hosts["sim.local"] = 0x7F000001;

    struct Case {
        std::uint8_t type;
        OpenParams params;
        std::uint32_t attempts;
        std::chrono::milliseconds timeout;
    };
    const Case cases[] = {
        {kConSerial, SerialOpenParams{2, 8, true}, 3, 4000ms},
        {kConDialUp, SerialOpenParams{1, 5, false}, 5, 6000ms},
        {kConEthernet, TcpOpenParams{10266, 0x0A000002}, 7, 8000ms},
        {kConSimulator, TcpOpenParams{10523, 0x7F000001}, 9, 10000ms},
        {kConUsb, UsbOpenParams{}, 1, 12000ms},
    };
    for (const Case& c : cases) { // each connect closes the channel of the one before
        factory.log.opens.clear();
        factory.log.calls.clear();
        const bool first = factory.log.created.empty();
        settings.nConType = c.type;
        std::vector<std::uint32_t> attempts;
        ASSERT_TRUE(com.openConnection(settings, [&](std::uint32_t n) { attempts.push_back(n); }))
            << int{c.type};
        EXPECT_EQ(factory.log.created.back(), c.type);
        EXPECT_EQ(factory.log.calls,
                  first ? std::vector<std::string>{} : std::vector<std::string>{"close"});
        ASSERT_EQ(factory.log.opens.size(), 1u);
        EXPECT_EQ(factory.log.opens[0], c.params) << int{c.type};
        EXPECT_EQ(attempts, std::vector<std::uint32_t>{c.attempts}) << int{c.type};
        ASSERT_FALSE(factory.log.timeouts.empty());
        EXPECT_EQ(factory.log.timeouts.back(), c.timeout) << int{c.type};
        EXPECT_EQ(com.channelType(), c.type);
    }
    EXPECT_EQ(factory.log.created.size(), std::size(cases));
    EXPECT_TRUE(prompter.texts().empty());
}

TEST_F(CCOMInterfaceTest, ConnectMessages) {
    struct Case {
        std::uint8_t type;
        bool factoryFails;
        bool openFails;
        std::vector<std::string> messages;
        std::string device; // the port set up by its path
    };
    const Case cases[] = {
        {kConNone, false, false, {"COM Object Attach Error"}, ""},
        {kConEthernet, true, false, {"COM Object Attach Error"}, ""},
        {kConSerial, false, true, {"COM Object Init Error"}, ""},
        {kConEthernet, false, true, {}, ""}, // only the serial type has a message of its own
        {kConUsb, false, true, {}, ""},
        // The port set up is gone: said so, and no other port is opened in its place.
        {kConSerial,
         false,
         true,
         {"COM Object Init Error\nThe serial port /dev/ttyUSB-gone-7 is not there; no other port "
          "was taken. Connect it, or choose a port in the communication setup."},
         "/dev/ttyUSB-gone-7"},
        {kConSerial, false, true, {"COM Object Init Error"}, "/dev/null"}, // there, but failed
    };
    for (const Case& c : cases) {
        FakeFactory f;
        f.failCreate = c.factoryFails;
        f.log.openResult = !c.openFails;
        test::ScriptedPrompter p;
        CCOMInterface c2(f, p);
        c2.setPortDevice(c.device);
        settings.nConType = c.type;
        settings.nETHERNETip = 0x0A000001;
        EXPECT_FALSE(c2.openConnection(settings)) << int{c.type};
        EXPECT_EQ(p.texts(), c.messages) << int{c.type};
        if (!c.device.empty()) {
            ASSERT_EQ(f.log.opens.size(), 1u);
            EXPECT_EQ(std::get<SerialOpenParams>(f.log.opens[0]).device, c.device);
        }
    }
}

TEST_F(CCOMInterfaceTest, AddressComesFromTheHostNameOnlyWithoutAStoredAddress) {
    factory.hosts["plc"] = 0xC0A80005;
    struct Case {
        std::uint32_t ip;
        const char* domain;
        std::uint32_t address;
        bool lookedUp;
    };
    const Case cases[] = {
        {0xC0A80001, "plc", 0xC0A80001, false}, // a stored address wins
        {0, "plc", 0xC0A80005, true},
        {0, "nowhere", 0, true}, // unresolved: the channel gets 0 and refuses it
    };
    for (const Case& c : cases) {
        factory.lookups.clear();
        settings.nETHERNETip = c.ip;
        settings.strETHERNETdomain = c.domain;
        const auto params = com.openParams(settings, kConEthernet);
        ASSERT_TRUE(params.has_value());
        EXPECT_EQ(std::get<TcpOpenParams>(*params).address, c.address) << c.domain;
        EXPECT_EQ(!factory.lookups.empty(), c.lookedUp) << c.domain;
    }
}

TEST_F(CCOMInterfaceTest, DialUpDialsBeforeTheFirstWriteOnly) {
    int hookRuns = 0;
    bool hookAnswer = false;
    com.setDialUpHook([&] {
        ++hookRuns;
        return hookAnswer;
    });
    settings.nConType = kConDialUp;
    ASSERT_TRUE(com.openConnection(settings));
    ASSERT_NE(com.dialUpChannel(), nullptr);

    EXPECT_FALSE(com.write(frame)) << "no call, nothing written to the modem";
    EXPECT_TRUE(factory.log.writes.empty());
    EXPECT_FALSE(com.dialUpConnected());
    hookAnswer = true;
    EXPECT_FALSE(com.write(frame)) << "a failed call is not dialled again for the next frame";
    EXPECT_EQ(hookRuns, 1);

    com.hangUp(); // a new attempt
    EXPECT_TRUE(com.write(frame));
    EXPECT_TRUE(com.write(frame));
    EXPECT_EQ(hookRuns, 2) << "the connected line is not dialled again";
    EXPECT_EQ(factory.log.writes.size(), 2u);
    EXPECT_TRUE(com.dialUpConnected());

    EXPECT_TRUE(com.hangUp());
    EXPECT_FALSE(com.dialUpConnected());
    EXPECT_TRUE(com.write(frame));
    EXPECT_EQ(hookRuns, 3) << "after hanging up the next write dials again";

    factory.log.calls.clear();
    com.close();
    EXPECT_EQ(factory.log.calls, (std::vector<std::string>{"hangUp", "close"}));
    EXPECT_FALSE(com.hasChannel());
}

TEST_F(CCOMInterfaceTest, DialUpWithoutAHookSendsNothing) {
    settings.nConType = kConDialUp;
    ASSERT_TRUE(com.openConnection(settings));
    EXPECT_FALSE(com.write(frame));
    EXPECT_TRUE(factory.log.writes.empty());
    com.close();
    EXPECT_EQ(factory.log.calls, std::vector<std::string>{"close"}) << "no call to hang up";
}

TEST_F(CCOMInterfaceTest, OtherChannelsWriteWithoutDiallingAndCannotHangUp) {
    int hookRuns = 0;
    com.setDialUpHook([&] { return ++hookRuns > 0; });
    settings.nConType = kConEthernet;
    settings.nETHERNETip = 0x0A000001;
    ASSERT_TRUE(com.openConnection(settings));
    EXPECT_TRUE(com.write(frame));
    EXPECT_EQ(hookRuns, 0);
    EXPECT_EQ(com.dialUpChannel(), nullptr);
    EXPECT_FALSE(com.hangUp());
    factory.log.reads.push_back({0, kChannelLinkLost});
    EXPECT_EQ(com.read().status, kChannelLinkLost) << "the channel's status passes through";
}

} // namespace
} // namespace dlu
